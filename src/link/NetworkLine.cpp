#include "link/NetworkLine.h"

#include <QEventLoop>
#include <QTimer>

#include <cstring>

namespace ktv {

NetworkLine::NetworkLine(QObject *parent) : QIODevice(parent)
{
    // What the unit sends waits in the socket's buffer, at most the port's
    // input buffer of it here: a unit that floods the line is held back by
    // the network's own flow control, never stored without bound.
    socket_.setReadBufferSize(InputBufferSize);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkLine::onSocketData);
    connect(&socket_, &QTcpSocket::disconnected, this, &NetworkLine::onSocketGone);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkLine::onSocketGone);
}

NetworkLine::~NetworkLine()
{
    socket_.disconnect(this);
    socket_.abort();
}

QString NetworkLine::where() const
{
    return QStringLiteral("%1:%2").arg(address_.host).arg(address_.port);
}

bool NetworkLine::waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&socket_, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
        connect(&socket_, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit);
        connect(&socket_, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(left));
        loop.exec();
    }
    return true;
}

bool NetworkLine::connectTo(const DeviceAddress &address, int baudRate, QString *reason)
{
    auto fail = [&](const QString &text) {
        socket_.abort();
        opening_ = false;
        if (reason)
            *reason = text;
        return false;
    };
    if (isOpen())
        close();
    address_ = address;
    buffer_.clear();
    telnet_ = TelnetComPort();
    confirmedRate_ = -1;
    settingsConfirmed_ = 0;
    accepted_ = false;
    opening_ = true;
    QElapsedTimer clock;
    clock.start();
    socket_.connectToHost(address.host, address.port);
    const auto settled = [this] {
        return socket_.state() == QAbstractSocket::ConnectedState ||
               socket_.state() == QAbstractSocket::UnconnectedState;
    };
    if (!waitFor([&] { return settled() || socket_.state() != QAbstractSocket::HostLookupState; },
                 HostLookupMs))
        return fail(QStringLiteral("the host %1 did not resolve within %2 s")
                        .arg(address.host)
                        .arg(HostLookupMs / 1000));
    if (!waitFor(settled, ConnectMs))
        return fail(QStringLiteral("%1 did not accept the connection within %2 s")
                        .arg(where())
                        .arg(ConnectMs / 1000));
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        switch (socket_.error()) {
        case QAbstractSocket::HostNotFoundError:
            return fail(QStringLiteral("the host %1 is not known").arg(address.host));
        case QAbstractSocket::ConnectionRefusedError:
            return fail(QStringLiteral("nobody listens at %1").arg(where()));
        default:
            return fail(QStringLiteral("%1: %2").arg(where(), socket_.errorString()));
        }
    }
    roundTripMs_ = clock.nsecsElapsed() / 1e6;
    connectMs_ = roundTripMs_;
    accepted_ = true;
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    if (address.kind == DeviceAddress::Kind::Rfc2217) {
        clock.restart();
        socket_.write(telnet_.opening() + TelnetComPort::setLine(static_cast<quint32>(baudRate)));
        socket_.flush();
        const auto answered = [&] {
            return confirmedRate_ >= 0 || telnet_.comPort() == TelnetComPort::Option::Refused ||
                   socket_.state() != QAbstractSocket::ConnectedState;
        };
        if (!waitFor(answered, ConfirmMs))
            return fail(QStringLiteral("%1 accepted the connection but never confirmed %2 baud "
                                       "within %3 s (is it an RFC 2217 server?)")
                            .arg(where())
                            .arg(baudRate)
                            .arg(ConfirmMs / 1000));
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return fail(QStringLiteral("%1 closed the connection").arg(where()));
        if (telnet_.comPort() == TelnetComPort::Option::Refused)
            return fail(QStringLiteral("%1 does not speak RFC 2217 (it refused the COM port "
                                       "option)")
                            .arg(where()));
        roundTripMs_ = clock.nsecsElapsed() / 1e6;
        if (confirmedRate_ != baudRate)
            return fail(QStringLiteral("%1 refused %2 baud (its port stays at %3)")
                            .arg(where())
                            .arg(baudRate)
                            .arg(confirmedRate_));
    }
    opening_ = false;
    closing_ = false;
    // What came before the line was open is no answer to anything asked on it.
    buffer_.clear();
    QIODevice::open(QIODevice::ReadWrite);
    return true;
}

void NetworkLine::close()
{
    closing_ = true;
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
        if (socket_.bytesToWrite() > 0)
            socket_.waitForBytesWritten(100);
        socket_.disconnectFromHost();
    }
    socket_.abort();
    buffer_.clear();
    if (isOpen())
        QIODevice::close();
    closing_ = false;
}

qint64 NetworkLine::bytesAvailable() const
{
    return buffer_.size() + QIODevice::bytesAvailable();
}

qint64 NetworkLine::bytesToWrite() const
{
    return socket_.bytesToWrite();
}

qint64 NetworkLine::readData(char *data, qint64 maxSize)
{
    const qint64 count = std::min<qint64>(maxSize, buffer_.size());
    if (count > 0) {
        std::memcpy(data, buffer_.constData(), static_cast<size_t>(count));
        buffer_.remove(0, count);
    }
    // Room again: what the socket held back comes in now.
    if (buffer_.size() < InputBufferSize && socket_.bytesAvailable() > 0)
        QTimer::singleShot(0, this, &NetworkLine::onSocketData);
    return count;
}

qint64 NetworkLine::writeData(const char *data, qint64 size)
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return -1;
    const QByteArray bytes(data, static_cast<qsizetype>(size));
    const QByteArray wire =
        address_.kind == DeviceAddress::Kind::Rfc2217 ? telnet_.escape(bytes) : bytes;
    if (socket_.write(wire) != wire.size())
        return -1;
    socket_.flush();
    return size;
}

void NetworkLine::onSocketData()
{
    const qint64 room = InputBufferSize - buffer_.size();
    if (room <= 0)
        return;
    const QByteArray bytes = socket_.read(room);
    if (bytes.isEmpty())
        return;
    const qsizetype before = buffer_.size();
    if (address_.kind == DeviceAddress::Kind::Rfc2217) {
        const TelnetComPort::Heard heard = telnet_.feed(bytes);
        if (!heard.answer.isEmpty() && socket_.state() == QAbstractSocket::ConnectedState)
            socket_.write(heard.answer);
        if (heard.rateConfirmed)
            confirmedRate_ = static_cast<int>(*heard.rateConfirmed);
        settingsConfirmed_ += heard.settingsConfirmed;
        buffer_ += heard.data;
    } else {
        buffer_ += bytes;
    }
    if (buffer_.size() > before && isOpen())
        emit readyRead();
}

void NetworkLine::onSocketGone()
{
    if (opening_ || closing_ || !isOpen())
        return;
    const QString reason = socket_.error() == QAbstractSocket::RemoteHostClosedError ||
                                   socket_.state() == QAbstractSocket::UnconnectedState
                               ? QStringLiteral("%1 closed the connection").arg(where())
                               : QStringLiteral("%1: %2").arg(where(), socket_.errorString());
    socket_.abort();
    buffer_.clear();
    QIODevice::close();
    emit lost(reason);
}

} // namespace ktv
