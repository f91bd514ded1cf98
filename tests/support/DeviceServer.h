#pragma once
// A serial device server on the network in front of a test's line: Debian's
// ser2net, started in a temporary folder on a free port of 127.0.0.1 and
// stopped with this object. RFC 2217 servers start the line at 9600 baud and
// take the rate the client sets; raw servers keep the rate they are given.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace ktv::test {

class DeviceServer
{
  public:
    enum class Kind { Rfc2217, Raw };
    DeviceServer(Kind kind, const QString &device, int rawBaud = 9600);
    ~DeviceServer();
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Starts ser2net and waits (at most 5 s) until it listens.
    bool start();
    // SIGKILL: the server is gone at once, its connections with it.
    void kill();
    int port() const { return port_; }
    // "rfc2217://127.0.0.1:N" or "socket://127.0.0.1:N".
    QString url() const;
    QString log() const;

  private:
    Kind kind_;
    QString device_;
    int rawBaud_;
    int port_ = 0;
    QTemporaryDir dir_;
    QProcess process_;
};

} // namespace ktv::test
