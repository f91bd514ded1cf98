#include "link/SerialLink.h"

#include "link/BaudRate.h"
#include "link/PortProbe.h"
#include "protocol/SettingsText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
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
    connect(&net_, &NetworkLine::lost, this, &SerialLink::lineLost);
    linkClock_.start();
}

SerialLink::~SerialLink()
{
    closePort();
}

QString SerialLink::deviceForPort(int comPort) const
{
    return PortMap(portMap_).deviceFor(comPort);
}

bool SerialLink::PortOpen() const
{
    return line().isOpen();
}

QString SerialLink::deviceInUse() const
{
    return onNetwork_ ? net_.address().text() : port_.portName();
}

bool SerialLink::openNetworkLine(const DeviceAddress &address, int baudRate, QString *reason)
{
    if (net_.opening()) {
        if (reason)
            *reason =
                QStringLiteral("the connection to %1 is still being made").arg(address.text());
        return false;
    }
    onNetwork_ = true;
    askedRate_ = baudRate;
    QString problem;
    if (!net_.connectTo(address, baudRate, &problem)) {
        lastOpenFailure_ = OpenFailure{address.text(), problem};
        if (reason)
            *reason = problem;
        return false;
    }
    ++openings_;
    emit portOpened();
    // The network's share of every wait, for whoever watches the line.
    note(address.kind == DeviceAddress::Kind::Rfc2217
             ? QStringLiteral("%1: %2 baud confirmed by the server, round trip %3 ms")
                   .arg(address.text())
                   .arg(net_.confirmedRate())
                   .arg(net_.roundTripMs(), 0, 'f', 1)
             : QStringLiteral("%1: the server's rate, round trip %2 ms")
                   .arg(address.text())
                   .arg(net_.roundTripMs(), 0, 'f', 1));
    return true;
}

bool SerialLink::openPort(QString *reason)
{
    lastOpenFailure_.reset();
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
    const Outcome<DeviceAddress> address = parseDeviceAddress(device);
    if (!address) {
        lastOpenFailure_ = OpenFailure{device, address.problem()};
        if (reason)
            *reason = address.problem();
        return false;
    }
    if (address->isNetwork()) {
        if (settings->dataBits != 8 || settings->parity != 'N' ||
            settings->stopBits != StopBits::One) {
            if (reason)
                *reason =
                    QStringLiteral("a network line runs 8 data bits, no parity, one stop bit");
            return false;
        }
        return openNetworkLine(*address, settings->baudRate, reason);
    }
    onNetwork_ = false;
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
    if (const std::optional<QString> obstacle = lockFileObstacle(device)) {
        lastOpenFailure_ = OpenFailure{device, *obstacle};
        if (reason)
            *reason = *obstacle;
        return false;
    }
    if (!port_.open(QIODevice::ReadWrite)) {
        lastOpenFailure_ = OpenFailure{device, port_.errorString()};
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
    ++openings_;
    emit portOpened();
    return true;
}

qint64 SerialLink::pendingOutput() const
{
    if (onNetwork_)
        return net_.bytesToWrite();
    qint64 pending = port_.bytesToWrite();
#ifdef Q_OS_UNIX
    int queued = 0;
    if (port_.handle() >= 0 && ::ioctl(port_.handle(), TIOCOUTQ, &queued) == 0 && queued > 0)
        pending += queued;
#endif
    return pending;
}

void SerialLink::closePort()
{
    if (onNetwork_) {
        // Whatever was written (a stop) is handed to the network at once;
        // closing sends what is still queued and ends the connection.
        net_.close();
    } else if (port_.isOpen()) {
        // Closing puts the line back to the settings it had before we opened
        // it. A line written just before (a stop) must have left the port by
        // then, or its last bytes would go out at the old rate. Waiting is
        // bounded by the bytes' own time on the wire plus 20 ms: a device
        // that never drains holds the program no longer than that.
        if (lastWrite_.isValid()) {
            const qint64 baud = std::max<qint32>(port_.baudRate(), 50);
            const qint64 boundNs =
                pendingOutput() * 10 * 1'000'000'000LL / baud + lastWriteDurationNs_ + 20'000'000;
            QElapsedTimer clock;
            clock.start();
            while (clock.nsecsElapsed() < boundNs) {
                if (port_.bytesToWrite() > 0)
                    port_.flush();
                if (pendingOutput() == 0)
                    break;
                QThread::usleep(1000);
            }
            // The last character still crosses the wire after it left the queue.
            const qint64 leftNs =
                std::min(lastWriteDurationNs_ + 20'000'000 - lastWrite_.nsecsElapsed(),
                         boundNs - clock.nsecsElapsed());
            if (leftNs > 0)
                QThread::usleep(static_cast<unsigned long>(leftNs / 1000));
        }
        port_.close();
    }
    lastWrite_.invalidate();
    owedUntilNs_ = 0;
    port_.clearError();
}

bool SerialLink::write(const QByteArray &bytes)
{
    if (ending_ || !PortOpen())
        return false;
    if (onNetwork_) {
        if (net_.write(bytes) != bytes.size())
            return false;
        noteWritten(bytes);
        return true;
    }
    // The bytes go to the port's buffer and from there to the driver without
    // waiting: a full output buffer keeps them until the line takes them.
    writing_ = true;
    const bool taken = port_.write(bytes) == bytes.size();
    if (taken)
        port_.flush();
    writing_ = false;
    if (!port_.isOpen())
        return false;
    const QSerialPort::SerialPortError error = port_.error();
    // Each write is judged on its own: an error left over from this one would
    // otherwise make every later write look failed.
    port_.clearError();
    if (!taken || (error != QSerialPort::NoError && error != QSerialPort::TimeoutError &&
                   error != QSerialPort::ResourceError))
        return false;
    noteWritten(bytes);
    return true;
}

void SerialLink::noteWritten(const QByteArray &bytes)
{
    emit lineWritten(bytes);
    lastWrite_.start();
    const int baud = onNetwork_ ? baudRateInForce() : port_.baudRate();
    lastWriteDurationNs_ = bytes.size() * 10 * 1'000'000'000LL / std::max(baud, 50);
}

int SerialLink::InBufferCount() const
{
    return PortOpen() ? static_cast<int>(line().bytesAvailable()) : 0;
}

QString SerialLink::Input()
{
    if (!PortOpen())
        return {};
    const QByteArray bytes = line().readAll();
    if (!bytes.isEmpty())
        emit replyRead(bytes);
    return QString::fromLatin1(bytes);
}

int SerialLink::baudRateInForce() const
{
    if (onNetwork_)
        return net_.confirmedRate() > 0 ? net_.confirmedRate() : askedRate_;
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
    lastOpenFailure_.reset();
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
    // The first character must come within 0.1 s.
    const std::optional<QString> reply = readWithin(100'000'000);
    replyMissing_ = !reply.has_value();
    if (replyMissing_ && !ending_)
        state_.ConnectErrorText = noDataText();
    return reply.value_or(QString());
}

SerialLink::Reply SerialLink::readCompleteReply(double firstCharSeconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 firstLimitNs =
        static_cast<qint64>(std::min(firstCharSeconds, CompleteReplyBoundSeconds) * 1e9);
    const qint64 boundNs = static_cast<qint64>(CompleteReplyBoundSeconds * 1e9);
    while (!ending_ && PortOpen() && InBufferCount() == 0 && clock.nsecsElapsed() < firstLimitNs)
        waitForInput(firstLimitNs - clock.nsecsElapsed());
    while (!ending_ && PortOpen() && InBufferCount() > 0 && !inputEndsWithCr() &&
           clock.nsecsElapsed() < boundNs)
        waitForInput(boundNs - clock.nsecsElapsed());
    Reply reply;
    reply.text = Input();
    reply.complete = reply.text.endsWith(QLatin1Char('\r'));
    replyMissing_ = reply.text.isEmpty();
    if (!replyMissing_ && !reply.complete)
        noteReplyOwed(); // the rest may still come
    if (replyMissing_ && !ending_)
        state_.ConnectErrorText = noDataText();
    return reply;
}

void SerialLink::noteReplyOwed()
{
    const qint64 sinceWrite = lastWrite_.isValid() ? lastWrite_.nsecsElapsed() : 0;
    const qint64 until = linkClock_.nsecsElapsed() - sinceWrite +
                         static_cast<qint64>(CompleteReplyBoundSeconds * 1e9);
    owedUntilNs_ = std::max(owedUntilNs_, until);
}

bool SerialLink::dropLateReplies()
{
    const bool stray = owedUntilNs_ == 0 && ReplyWaiting();
    while (!ending_ && PortOpen() && linkClock_.nsecsElapsed() < owedUntilNs_) {
        waitForInput(owedUntilNs_ - linkClock_.nsecsElapsed());
        if (ReplyWaiting())
            Input();
    }
    owedUntilNs_ = 0;
    if (ReplyWaiting())
        Input();
    return stray;
}

bool SerialLink::discardLateReply(double seconds)
{
    if (!readWithin(static_cast<qint64>(seconds * 1e9)))
        return false;
    replyMissing_ = true; // what came is not an answer to anything asked now
    return true;
}

bool SerialLink::waitForInputWithin(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = static_cast<qint64>(seconds * 1e9);
    while (!ending_ && PortOpen() && InBufferCount() == 0 && clock.nsecsElapsed() < limitNs)
        waitForInput(limitNs - clock.nsecsElapsed());
    return InBufferCount() > 0;
}

void SerialLink::waitForInput(qint64 ns)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&line(), &QIODevice::readyRead, &loop, &QEventLoop::quit);
    connect(this, &SerialLink::lineLost, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(ns / 1'000'000) + 1);
    loop.exec();
}

bool SerialLink::inputEndsWithCr()
{
    const qint64 count = InBufferCount();
    return count > 0 && line().peek(count).endsWith('\r');
}

std::optional<QString> SerialLink::readWithin(qint64 limitNs)
{
    QElapsedTimer clock;
    clock.start();
    while (InBufferCount() == 0) {
        if (ending_)
            return std::nullopt;
        const qint64 elapsed = clock.nsecsElapsed();
        if (elapsed > limitNs)
            return std::nullopt;
        waitForInput(limitNs - elapsed);
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

bool SerialLink::deviceStillThere() const
{
    if (!QFileInfo::exists(port_.portName()))
        return false;
#ifdef Q_OS_UNIX
    // A vanished far side (an unplugged adapter, a closed pseudo-terminal)
    // shows as a hang-up; a full buffer does not.
    pollfd probe{port_.handle(), POLLOUT, 0};
    if (::poll(&probe, 1, 0) < 0 || (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return false;
#endif
    return true;
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
    // A full output buffer (EAGAIN) arrives as a resource error while we
    // write; the line is lost only when the device itself is gone.
    if (writing_ && error == QSerialPort::ResourceError && deviceStillThere())
        return;
    const QString reason = port_.errorString();
    port_.close();
    emit lineLost(reason);
}

} // namespace ktv
