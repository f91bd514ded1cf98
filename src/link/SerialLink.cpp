#include "link/SerialLink.h"

#include "link/BaudRate.h"
#include "protocol/SettingsText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#ifdef Q_OS_UNIX
#include <termios.h>
#endif

namespace ktv {

namespace {
// A number as the unit's old tools print it: a blank in the sign position.
QString withSignBlank(int number)
{
    return (number >= 0 ? QStringLiteral(" ") : QString()) + QString::number(number);
}

QSerialPort::Parity toPortParity(char parity)
{
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toPortStopBits(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    case StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}
} // namespace

QString StripCarriageReturns(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (c != QLatin1Char('\r'))
            result.append(c);
    return result;
}

SerialLink::SerialLink(SharedState &state, QObject *parent) : QObject(parent), state_(state)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

SerialLink::~SerialLink()
{
    closePort();
}

QString SerialLink::deviceForPort(int comPort) const
{
    if (comPort < 1)
        return {};
    const auto mapped = portMap_.constFind(comPort);
    if (mapped != portMap_.constEnd())
        return *mapped;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
}

bool SerialLink::PortOpen() const
{
    return port_.isOpen();
}

bool SerialLink::openPort(QString *reason)
{
    if (ending_) {
        if (reason)
            *reason = QStringLiteral("the program is ending");
        return false;
    }
    const auto settings = parseSettingsText(settings_);
    const QString device = deviceForPort(commPort_);
    if (!settings || device.isEmpty()) {
        if (reason)
            *reason = device.isEmpty() ? QStringLiteral("no device for this port number")
                                       : QStringLiteral("settings not understood");
        return false;
    }
    // A pseudo-terminal never appears among the available ports, so the
    // device is opened by its path exactly as the port map names it.
    port_.setPortName(device);
    port_.setBaudRate(settings->baudRate);
    port_.setParity(toPortParity(settings->parity));
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings->dataBits));
    port_.setStopBits(toPortStopBits(settings->stopBits));
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // The input buffer holds 1024 characters, as on the operator's old tools:
    // a unit that floods the line cannot make one reply grow without bound.
    port_.setReadBufferSize(InputBufferSize);
    if (!port_.open(QIODevice::ReadWrite)) {
        if (reason)
            *reason = port_.errorString();
        port_.clearError();
        return false;
    }
    // The platform's serial layer may leave a rate it does not know (28800)
    // at another value; set it on the line itself before any byte goes out.
    if (!applyExactBaudRate(port_.handle(), settings->baudRate)) {
        if (reason)
            *reason = QStringLiteral("the line does not take %1 baud").arg(settings->baudRate);
        port_.close();
        return false;
    }
    return true;
}

void SerialLink::closePort()
{
    if (port_.isOpen()) {
        // Closing puts the line back to the settings it had before we opened
        // it. A line written just before (a stop) must have left the port by
        // then, or its last bytes would go out at the old rate: let the
        // driver drain, then allow the bytes' own time on the wire.
        if (lastWrite_.isValid()) {
#ifdef Q_OS_UNIX
            ::tcdrain(port_.handle());
#endif
            const qint64 leftNs = lastWriteDurationNs_ + 20'000'000 - lastWrite_.nsecsElapsed();
            if (leftNs > 0)
                QThread::usleep(static_cast<unsigned long>(leftNs / 1000));
        }
        port_.close();
    }
    lastWrite_.invalidate();
    port_.clearError();
}

bool SerialLink::write(const QByteArray &bytes)
{
    if (ending_ || !port_.isOpen())
        return false;
    if (port_.write(bytes) != bytes.size())
        return false;
    emit lineWritten(bytes);
    // Hand the bytes to the line now, not at the next turn of the event loop:
    // a stop line goes out before the port is closed right after it.
    port_.flush();
    lastWrite_.start();
    lastWriteDurationNs_ =
        bytes.size() * 10 * 1'000'000'000LL / std::max<qint32>(port_.baudRate(), 50);
    if (port_.bytesToWrite() > 0)
        port_.waitForBytesWritten(200);
    return port_.isOpen() && port_.error() == QSerialPort::NoError;
}

int SerialLink::InBufferCount() const
{
    return port_.isOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

QString SerialLink::Input()
{
    if (!port_.isOpen())
        return {};
    const QByteArray bytes = port_.readAll();
    if (!bytes.isEmpty())
        emit replyRead(bytes);
    return QString::fromLatin1(bytes);
}

int SerialLink::baudRateInForce() const
{
    return readBaudRate(port_.handle());
}

QString SerialLink::alreadyOpenText(int comPort)
{
    return QStringLiteral("Com Port ") + withSignBlank(comPort) +
           QStringLiteral(" is already open");
}

QString SerialLink::openFailedText(int comPort)
{
    return QStringLiteral("Error Opening Com Port") + withSignBlank(comPort) +
           QStringLiteral(" - The com port is already open by another device (mouse, modem, "
                          "etc.) or it does not exist.");
}

QString SerialLink::noDataText()
{
    return QStringLiteral("ERROR: There is no data in the serial port!");
}

bool SerialLink::OpenComPort(int comPort, double baudRate)
{
    if (PortOpen()) {
        state_.MessageText = alreadyOpenText(commPort_);
        state_.ConnectErrorText = state_.MessageText;
        return false;
    }
    setSettings(settingsTextForBaud(baudRate));
    setCommPort(comPort);
    if (!openPort()) {
        state_.ConnectErrorText = openFailedText(comPort);
        return false;
    }
    return true;
}

QString SerialLink::ReadReply()
{
    QElapsedTimer clock;
    clock.start();
    constexpr qint64 limitNs = 100'000'000; // the first character must come within 0.1 s
    while (InBufferCount() == 0) {
        if (ending_)
            return {};
        const qint64 elapsed = clock.nsecsElapsed();
        if (elapsed > limitNs) {
            state_.ConnectErrorText = noDataText();
            return {};
        }
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&port_, &QIODevice::readyRead, &loop, &QEventLoop::quit);
        connect(this, &SerialLink::lineLost, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>((limitNs - elapsed) / 1'000'000) + 1);
        loop.exec();
    }
    int previous = 0;
    int current = InBufferCount();
    while (previous != current && !ending_) {
        previous = InBufferCount();
        WaitSeconds(0.02);
        current = InBufferCount();
    }
    return Input();
}

void SerialLink::WaitSeconds(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 wantedNs = static_cast<qint64>(seconds * 1e9);
    while (!ending_) {
        const qint64 left = wantedNs - clock.nsecsElapsed();
        if (left <= 0)
            return;
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>((left + 999'999) / 1'000'000), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

void SerialLink::setEnding()
{
    ending_ = true;
    closePort();
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    // Only a port that dies while open is a lost line; failures to open are
    // reported by the opener. A line whose far side vanished reports a read
    // error on every turn of the event loop until it is closed.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !port_.isOpen())
        return;
    const QString reason = port_.errorString();
    port_.close();
    emit lineLost(reason);
}

} // namespace ktv
