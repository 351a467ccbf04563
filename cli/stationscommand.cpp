// stations: the attached stations, their ids and who holds each.
#include "commandparser.h"
#include "headlesscommands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace nimbra {

namespace {

QJsonValue HolderJson(const std::optional<StationHolder>& holder)
{
    if (!holder)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("name"), QString::fromStdString(holder->name)},
                       {QStringLiteral("pid"), holder->pid}};
}

QString HolderText(const std::optional<StationHolder>& holder)
{
    if (!holder)
        return QStringLiteral("free");
    return QStringLiteral("held by %1 (pid %2)")
        .arg(QString::fromStdString(holder->name))
        .arg(holder->pid);
}

} // namespace

int RunStations(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(QStringLiteral("stations"), QStringLiteral("[--json]"),
                       QStringLiteral("Lists the attached stations: the id that --station takes "
                                      "(the USB serial number, else the port),\nthe device path, "
                                      "and which program holds the station, if any."));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("Write a JSON array of {id, path, heldBy: {name, pid} or null}."));
    line.addOption(json);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("stations takes no operands"), env);
    const StationHolds holds(line.simulate() ? env.emulatedHolds : env.machineHolds, {});
    HidTransport& transport = env.transport(ChoiceOf(line, env));
    QJsonArray array;
    for (const HidInterfaceInfo& info : transport.enumerate()) {
        if (info.vendorId != StationVendorId || info.productId != StationProductId)
            continue;
        const std::string id = StationId(info);
        const std::optional<StationHolder> holder = holds.holder(id);
        if (line.parser().isSet(json))
            array.append(QJsonObject{{QStringLiteral("id"), QString::fromStdString(id)},
                                     {QStringLiteral("path"), QString::fromStdString(info.path)},
                                     {QStringLiteral("heldBy"), HolderJson(holder)}});
        else
            PrintLine(env.out, QStringLiteral("%1  %2  %3")
                                   .arg(QString::fromStdString(id), -24)
                                   .arg(QString::fromStdString(info.path), -20)
                                   .arg(HolderText(holder)));
    }
    if (line.parser().isSet(json))
        PrintLine(env.out, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
    return 0;
}

} // namespace nimbra
