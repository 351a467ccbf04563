// The hold on a station: one holder at a time, named to whoever is refused, and gone with a
// holder that dies.
#include "stationhold.h"

#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nimbra;

namespace {

TEST(StationHold, OneHolderAtATimeNamedToTheRefused)
{
    QTemporaryDir folder;
    const StationHolds window(folder.path().toStdString(), "nimbra");
    const StationHolds serve(folder.path().toStdString(), "nimbractl serve");
    {
        HoldAttempt held = window.take("usb-1-1.2");
        ASSERT_TRUE(held.hold) << held.problem;
        const HoldAttempt refused = serve.take("usb-1-1.2");
        EXPECT_FALSE(refused.hold);
        ASSERT_TRUE(refused.heldBy);
        EXPECT_EQ(refused.heldBy->pid, ::getpid());
        EXPECT_EQ(refused.heldBy->name, "nimbra");
        EXPECT_EQ(serve.holder("usb-1-1.2")->name, "nimbra");
        EXPECT_TRUE(serve.take("SN-OTHER").hold) << "another station is another hold";
        EXPECT_EQ(window.fileOf("a/../b c").filename(), "nimbra-station-a_.._b_c.lock")
            << "an id never leaves the folder";
    }
    EXPECT_FALSE(serve.holder("usb-1-1.2")) << "let go with the holder";
    EXPECT_FALSE(std::filesystem::exists(window.fileOf("usb-1-1.2"))) << "and nothing left";
    EXPECT_TRUE(serve.take("usb-1-1.2").hold);
}

TEST(StationHold, AHolderKilledLetsGoOfTheStation)
{
    QTemporaryDir folder;
    const StationHolds holds(folder.path().toStdString(), "nimbractl live");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const HoldAttempt held = holds.take("SN-1");
        const char said = held.hold ? 'y' : 'n';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &said, 1);
        ::pause();
        ::_exit(0);
    }
    char said = 0;
    ASSERT_EQ(::read(ready[0], &said, 1), 1);
    ASSERT_EQ(said, 'y');
    const HoldAttempt refused = holds.take("SN-1");
    ASSERT_TRUE(refused.heldBy);
    EXPECT_EQ(refused.heldBy->pid, child);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(holds.holder("SN-1"));
    EXPECT_TRUE(holds.take("SN-1").hold) << "the kernel dropped the dead holder's lock";
}

} // namespace
