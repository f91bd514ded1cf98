// The ports command: the serial ports the system lists, the COM numbers the
// store's Port Map gives them, and the store's own COM port.

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
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

    SerialLink probe(session_->state);
    probe.setPortMap(stored.portMap);
    auto comsOf = [&](const QString &device) {
        QStringList numbers;
        const QString canonical = QFileInfo(device).canonicalFilePath();
        for (int com = 1; com <= 256; ++com) {
            const QString mapped = probe.deviceForPort(com);
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
        if (!isPresent)
            extra += QStringLiteral("Port Map: COM %1 is %2 (%3)\n")
                         .arg(it.key())
                         .arg(*it, QFileInfo::exists(*it) ? QStringLiteral("not a serial port "
                                                                           "the system lists")
                                                          : QStringLiteral("missing"));
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

} // namespace ktv::cli
