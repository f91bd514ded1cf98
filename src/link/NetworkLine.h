#pragma once
// A line to a serial device server on the plant's network: the unit's bytes
// through a TCP connection, raw ("socket://") or in telnet with the COM port
// option ("rfc2217://"), where the server sets its port to the rate asked and
// confirms it before the line counts as open. To the link it is a device like
// a serial port: bytes in, bytes out, readyRead, and lost when the server
// goes.
//
// Opening waits in a nested event loop, bounded: a host that does not resolve
// fails after 3 s, a server that does not accept the connection after 5 s, a
// server that accepts and never confirms the rate after 5 s more.

#include "link/DeviceAddress.h"
#include "link/TelnetComPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QTcpSocket>

#include <functional>

namespace ktv {

class NetworkLine : public QIODevice
{
    Q_OBJECT
  public:
    static constexpr int HostLookupMs = 3000;
    static constexpr int ConnectMs = 5000;
    static constexpr int ConfirmMs = 5000;
    // The unit's bytes held here at most, as a serial port's input buffer.
    static constexpr int InputBufferSize = 1024;

    explicit NetworkLine(QObject *parent = nullptr);
    ~NetworkLine() override;

    // Connects and, over RFC 2217, sets the remote port to the rate with 8
    // data bits, no parity and one stop bit. On failure *reason says why.
    bool connectTo(const DeviceAddress &address, int baudRate, QString *reason);
    // Sends what is still queued (at most 100 ms more) and disconnects.
    void close() override;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;

    const DeviceAddress &address() const { return address_; }
    // The rate the server confirmed; -1 on a raw line, whose rate is the server's.
    int confirmedRate() const { return confirmedRate_; }
    // The network's round trip when the line opened: the server's answer to
    // the rate (RFC 2217) or the connection's handshake (raw), in ms.
    double roundTripMs() const { return roundTripMs_; }
    // How far the last opening got: the server took the connection (and in
    // how many ms), and it spoke the COM port option.
    bool accepted() const { return accepted_; }
    // An opening waits for the server now (an action started meanwhile, a
    // stop, must not start another one, nor wait for this one).
    bool opening() const { return opening_; }
    double connectMs() const { return connectMs_; }
    bool speaksComPort() const { return telnet_.comPort() == TelnetComPort::Option::Accepted; }

  signals:
    // The server closed the connection or the network failed; the line is closed.
    void lost(const QString &reason);

  protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

  private:
    void onSocketData();
    void onSocketGone();
    // Runs the event loop until done() holds or the time is up; false on time.
    bool waitFor(const std::function<bool()> &done, int ms);
    QString where() const;

    QTcpSocket socket_;
    TelnetComPort telnet_;
    DeviceAddress address_;
    QByteArray buffer_; // the unit's bytes not yet read
    int confirmedRate_ = -1;
    int settingsConfirmed_ = 0;
    double roundTripMs_ = 0;
    double connectMs_ = 0;
    bool accepted_ = false;
    bool opening_ = false;
    bool closing_ = false;
};

} // namespace ktv
