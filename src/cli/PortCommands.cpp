// The ports command: the serial ports the system lists, the COM numbers the
// store's Port Map gives them, and the store's own COM port.

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "link/DeviceAddress.h"
#include "link/NetworkLine.h"
#include "link/PortMap.h"
#include "link/PortProbe.h"
#include "store/ConfigStore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QSerialPortInfo>

namespace ktv::cli {

int Tool::ports()
{
    const QString storePath = session_->storePath;
    const StoredConfiguration stored = readConfiguration(storePath);
    if (!stored.comPort)
        printError(stored.problem, code::StoreProblem);
    // /dev/serial/by-id names each USB adapter by its maker and serial number.
    QMap<QString, QString> byId;
    const QFileInfoList links =
        QDir(QStringLiteral("/dev/serial/by-id"))
            .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links)
        byId[QFileInfo(link.symLinkTarget()).canonicalFilePath()] = link.absoluteFilePath();

    const PortMap names(stored.portMap);
    auto comsOf = [&](const QString &device) {
        QStringList numbers;
        const QString canonical = QFileInfo(device).canonicalFilePath();
        for (int com = 1; com <= 256; ++com) {
            const QString mapped = names.deviceFor(com);
            if (mapped == device ||
                (!canonical.isEmpty() && QFileInfo(mapped).canonicalFilePath() == canonical))
                numbers << QString::number(com) +
                               (stored.comPort == com ? QStringLiteral("*") : QString());
        }
        return numbers;
    };

    QList<QStringList> rows{{QStringLiteral("DEVICE"), QStringLiteral("COM"),
                             QStringLiteral("DESCRIPTION"), QStringLiteral("MANUFACTURER"),
                             QStringLiteral("SERIAL"), QStringLiteral("BY-ID")}};
    QJsonArray portsJson;
    QStringList present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        present << QFileInfo(device).canonicalFilePath();
        const QStringList coms = comsOf(device);
        const QString link = byId.value(QFileInfo(device).canonicalFilePath());
        rows << QStringList{device,
                            coms.join(QLatin1Char(',')),
                            info.description(),
                            info.manufacturer(),
                            info.serialNumber(),
                            link};
        QJsonArray comArray;
        for (const QString &c : coms)
            comArray.append(QString(c).remove(QLatin1Char('*')).toInt());
        portsJson.append(QJsonObject{{QStringLiteral("device"), device},
                                     {QStringLiteral("description"), info.description()},
                                     {QStringLiteral("manufacturer"), info.manufacturer()},
                                     {QStringLiteral("serialNumber"), info.serialNumber()},
                                     {QStringLiteral("byId"), link},
                                     {QStringLiteral("com"), comArray}});
    }
    QJsonArray mapJson;
    QString extra;
    for (auto it = stored.portMap.constBegin(); it != stored.portMap.constEnd(); ++it) {
        const bool isPresent = present.contains(QFileInfo(*it).canonicalFilePath());
        mapJson.append(QJsonObject{{QStringLiteral("com"), it.key()},
                                   {QStringLiteral("device"), *it},
                                   {QStringLiteral("present"), isPresent}});
        const QString kind =
            looksLikeNetworkAddress(*it) ? QStringLiteral("a device server on the network")
            : QFileInfo::exists(*it)     ? QStringLiteral("not a serial port the system lists")
                                         : QStringLiteral("missing");
        if (!isPresent)
            extra += QStringLiteral("Port Map: COM %1 is %2 (%3)\n").arg(it.key()).arg(*it, kind);
    }
    json_ = {{QStringLiteral("store"), storePath},
             {QStringLiteral("comPort"),
              stored.comPort ? QJsonValue(*stored.comPort) : QJsonValue(QJsonValue::Null)},
             {QStringLiteral("ports"), portsJson},
             {QStringLiteral("portMap"), mapJson}};
    text_ = table(rows) + extra +
            QStringLiteral("Store %1: COM port %2%3\n")
                .arg(storePath,
                     stored.comPort ? QString::number(*stored.comPort) : QStringLiteral("none"),
                     stored.comPort ? QStringLiteral(" (marked *)") : QString());
    return ExitDone;
}

int Tool::doctor()
{
    QString device = parser_.positionalArguments().value(1, common_.device);
    if (device.isEmpty()) {
        const StoredConfiguration stored = readConfiguration(session_->storePath);
        device =
            PortMap(stored.portMap).deviceFor(common_.com.value_or(stored.comPort.value_or(0)));
    }
    if (parser_.positionalArguments().size() > 2)
        return usageError(QStringLiteral("doctor takes one DEVICE"), command_);
    const Outcome<DeviceAddress> address = parseDeviceAddress(device);
    if (!address)
        return usageError(address.problem(), command_);
    const int baud = common_.baud.value_or(9600);
    QList<QStringList> rows{{QStringLiteral("device"), address->text()}};
    json_ = {{QStringLiteral("device"), address->text()}};
    const auto done = [&](bool ok) {
        json_[QStringLiteral("ok")] = ok;
        text_ = table(rows);
        return ok ? ExitDone : ExitNoUnit;
    };

    if (!address->isNetwork()) {
        SerialLink port(session_->state);
        port.setPortMap({{1, device}});
        port.setCommPort(1);
        port.setSettings(QStringLiteral("%1,N,8,1").arg(baud));
        QString reason;
        const bool opens = port.openPort(&reason);
        port.closePort();
        rows << QStringList{QStringLiteral("opens"),
                            opens ? QStringLiteral("yes, at %1 baud").arg(baud)
                                  : QStringLiteral("no: %1").arg(reason)};
        json_[QStringLiteral("opens")] = opens;
        if (!opens && port.lastOpenFailure())
            printError(diagnoseOpenFailure(device, port.lastOpenFailure()->systemError),
                       code::PortDiagnosis);
        return done(opens);
    }

    const bool rfc2217 = address->kind == DeviceAddress::Kind::Rfc2217;
    rows << QStringList{QStringLiteral("host"), address->host};
    json_[QStringLiteral("host")] = address->host;
    json_[QStringLiteral("port")] = address->port;
    NetworkLine line;
    QString reason;
    const bool opened = line.connectTo(*address, baud, &reason);
    json_[QStringLiteral("answers")] = line.accepted();
    if (!line.accepted()) {
        rows << QStringList{QStringLiteral("answers"), QStringLiteral("no: %1").arg(reason)};
        return done(false);
    }
    rows << QStringList{QStringLiteral("answers"),
                        QStringLiteral("yes, connected in %1 ms").arg(line.connectMs(), 0, 'f', 1)};
    if (rfc2217) {
        json_[QStringLiteral("rfc2217")] = line.speaksComPort();
        rows << QStringList{QStringLiteral("rfc2217"), line.speaksComPort()
                                                           ? QStringLiteral("yes")
                                                           : QStringLiteral("no: %1").arg(reason)};
        if (!opened) {
            if (line.speaksComPort())
                rows << QStringList{QStringLiteral("rate"), QStringLiteral("no: %1").arg(reason)};
            return done(false);
        }
        json_[QStringLiteral("baud")] = line.confirmedRate();
        rows << QStringList{
            QStringLiteral("rate"),
            QStringLiteral("%1 baud, confirmed by the server").arg(line.confirmedRate())};
    } else {
        rows << QStringList{QStringLiteral("rate"),
                            QStringLiteral("the server's (a raw line sets no rate)")};
    }
    json_[QStringLiteral("roundTripMs")] = line.roundTripMs();
    rows << QStringList{QStringLiteral("round trip"),
                        QStringLiteral("%1 ms").arg(line.roundTripMs(), 0, 'f', 1)};
    line.close();
    return done(opened);
}

} // namespace ktv::cli
