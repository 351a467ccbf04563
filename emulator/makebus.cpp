#include "makebus.h"

#include "loggenerator.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace nimbra {

using namespace std::chrono;

void fillDemoCard(EmulatedCard& card, sys_days today)
{
    struct DemoFile
    {
        int daysAgo;
        minutes interval;
        int rows;
        bool indoor;
        int missingEvery;
    };
    // The oldest file ran for weeks at one-minute logging without a new day's file being
    // started (well above 1 MiB); four days ago the station was switched off right after it
    // had opened the day's file, which stayed empty.
    const DemoFile demo[] = {
        {33, minutes(1), 25 * 1440, false, 211}, {4, minutes(5), 0, false, 0},
        {3, minutes(5), 288, false, 0},          {2, minutes(1), 1440, false, 97},
        {1, minutes(5), 288, true, 53},          {0, minutes(30), 8, false, 5},
    };
    std::uint32_t seed = 11;
    for (const DemoFile& file : demo) {
        LogRecipe recipe;
        recipe.start = today - days(file.daysAgo);
        recipe.interval = file.interval;
        recipe.rows = file.rows;
        recipe.indoor = file.indoor;
        recipe.missingEvery = file.missingEvery;
        recipe.seed = seed++;
        const std::string name = logFileName(today - days(file.daysAgo), file.indoor);
        card.put(name, file.rows > 0 ? generateLog(recipe) : std::string());
    }
}

std::string DefaultEmulatedStationId()
{
    return "emulated-" + std::to_string(getpid());
}

std::unique_ptr<EmulatedBus> makeEmulatedBus(const std::string& stationId,
                                             const std::filesystem::path& stateFile)
{
    auto bus = std::make_unique<EmulatedBus>();
    const std::shared_ptr<EmulatedStation> station =
        bus->addStation(EmulatedStationPath, 1, stationId);
    station->setPacing(true);
    station->edit([&stateFile](StationModel& model) {
        fillDemoCard(model.card(), floor<days>(model.clock().now()));
        if (!stateFile.empty())
            KeepSettingsInFile(model, stateFile);
    });
    return bus;
}

} // namespace nimbra
