#include "DeviceServer.h"

#include "Helpers.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>

namespace ktv::test {

DeviceServer::DeviceServer(Kind kind, const QString &device, int rawBaud)
    : kind_(kind), device_(device), rawBaud_(rawBaud)
{
}

DeviceServer::~DeviceServer()
{
    kill();
}

QString DeviceServer::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(kind_ == Kind::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("socket"))
        .arg(port_);
}

QString DeviceServer::log() const
{
    QFile file(dir_.filePath(QStringLiteral("ser2net.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool DeviceServer::start()
{
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    port_ = freePort();
    if (program.isEmpty() || port_ == 0 || !dir_.isValid())
        return false;
    const QString accepter =
        kind_ == Kind::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
    const int baud = kind_ == Kind::Rfc2217 ? 9600 : rawBaud_;
    // No lock files (the test runs unprivileged) and no modem lines on a
    // pseudo-terminal; a new client takes the line from an old one; what the
    // unit says goes out at once, not gathered for a few characters' time.
    const QString config = QStringLiteral("connection: &line\n"
                                          "  accepter: %1,127.0.0.1,%2\n"
                                          "  connector: serialdev(nouucplock=true),%3,%4n81,local\n"
                                          "  options:\n"
                                          "    kickolduser: true\n"
                                          "    chardelay: false\n")
                               .arg(accepter)
                               .arg(port_)
                               .arg(device_)
                               .arg(baud);
    QFile file(dir_.filePath(QStringLiteral("ser2net.yaml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) != config.size())
        return false;
    file.close();
    process_.setStandardOutputFile(dir_.filePath(QStringLiteral("ser2net.log")));
    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("ser2net.log")), QIODevice::Append);
    process_.start(program, {QStringLiteral("-n"), QStringLiteral("-c"), file.fileName(),
                             QStringLiteral("-P"), dir_.filePath(QStringLiteral("ser2net.pid"))});
    if (!process_.waitForStarted(5000))
        return false;
    // Listening: a connection is taken. The probe sends nothing.
    return waitUntil(
               [this] {
                   if (process_.state() != QProcess::Running)
                       return true;
                   QTcpSocket probe;
                   probe.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port_));
                   const bool up = probe.waitForConnected(200);
                   probe.abort();
                   return up;
               },
               5000) &&
           process_.state() == QProcess::Running;
}

void DeviceServer::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(3000);
}

} // namespace ktv::test
