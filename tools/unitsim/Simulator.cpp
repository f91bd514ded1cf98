#include "Simulator.h"

#include "LineRate.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace unitsim {

namespace {

// No unit runs at 50 baud, so a line nobody has set yet is never answered. A
// fresh pseudo-terminal reports 38400, which is a unit rate.
constexpr int kIdleRate = 50;
constexpr qsizetype kFloodSize = qsizetype{1024} * 1024;
// How often an unread reply is checked against a port that was closed.
constexpr double kClosedCheckSeconds = 0.02;
// How often the control file is looked at.
constexpr double kControlCheckSeconds = 0.1;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

QByteArray floodBytes()
{
    QByteArray bytes(kFloodSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char('A' + i % 26);
    return bytes;
}

} // namespace

double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Simulator::Simulator(const SimulatorOptions &options) : m_options(options), m_unit(options.unit)
{
    if (options.alsoAddress >= 0) {
        UnitConfig second = options.unit;
        second.address = options.alsoAddress;
        if (!options.alsoModel.isEmpty())
            second.model = options.alsoModel;
        m_second.emplace(second);
    }
}

Simulator::~Simulator()
{
    closeLine();
}

bool Simulator::open(QString *error)
{
    if (!m_options.recordPath.isEmpty() && !m_recorder.open(m_options.recordPath)) {
        *error = systemError("cannot open the record file");
        return false;
    }
    if (!m_options.controlPath.isEmpty() && !m_control.open(m_options.controlPath)) {
        *error = systemError("cannot open the control file");
        return false;
    }
    if (!openLine(error))
        return false;

    // SIGUSR1 and SIGUSR2 pull the adapter out and plug it back in.
    sigset_t watched;
    sigemptyset(&watched);
    for (int signal : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        sigaddset(&watched, signal);
    sigprocmask(SIG_BLOCK, &watched, nullptr);
    m_signalFd = signalfd(-1, &watched, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signalFd < 0) {
        *error = systemError("cannot watch for signals");
        return false;
    }
    return true;
}

bool Simulator::openLine(QString *error)
{
    if (!m_options.devicePath.isEmpty()) {
        m_fd = ::open(m_options.devicePath.toLocal8Bit().constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            *error = systemError("cannot open the device");
            return false;
        }
        // On a real port the unit's rate is the line's rate; the other end
        // hears noise unless it uses the same.
        if (!setRawLine(m_fd, m_options.baud)) {
            *error = systemError("cannot set the device's rate");
            return false;
        }
        m_linePath = m_options.devicePath;
    } else {
        m_fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_fd < 0 || grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 ||
            fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK) != 0 ||
            fcntl(m_fd, F_SETFD, FD_CLOEXEC) != 0) {
            *error = systemError("cannot create a pseudo-terminal");
            return false;
        }
        const char *slave = ptsname(m_fd);
        if (!slave) {
            *error = systemError("cannot name the pseudo-terminal");
            return false;
        }
        m_linePath = QString::fromLocal8Bit(slave);
        m_slaveFd = ::open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_slaveFd < 0 || !setRawLine(m_slaveFd, kIdleRate)) {
            *error = systemError("cannot set up the pseudo-terminal");
            return false;
        }
    }

    if (!m_options.linkPath.isEmpty()) {
        const QByteArray link = m_options.linkPath.toLocal8Bit();
        struct stat st
        {
        };
        if (lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(link.constData());
        if (symlink(m_linePath.toLocal8Bit().constData(), link.constData()) != 0) {
            *error = systemError("cannot make the link");
            return false;
        }
        m_linkMade = true;
    }
    return true;
}

// Like an adapter pulled out: the program's open port fails (the far side
// of its pseudo-terminal is gone), the device and the --link disappear, and
// whatever was on its way is lost. The unit keeps its settings.
void Simulator::unplug()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    m_fd = m_slaveFd = -1;
    if (m_linkMade)
        ::unlink(m_options.linkPath.toLocal8Bit().constData());
    m_linkMade = false;
    m_output.clear();
    m_partial.clear();
}

// Plugged back in: a new line (a new pseudo-terminal, named on stdout as at
// the start) and the --link pointing at it again.
void Simulator::replug()
{
    if (m_fd >= 0)
        return;
    QString error;
    if (!openLine(&error)) {
        std::fprintf(stderr, "ktraveld-unitsim: %s\n", qPrintable(error));
        unplug();
        return;
    }
    std::printf("%s\n", qPrintable(m_linePath));
    std::fflush(stdout);
}

// True when the loop should end (SIGTERM or SIGINT).
bool Simulator::takeSignal()
{
    signalfd_siginfo info{};
    while (::read(m_signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
        if (info.ssi_signo == SIGUSR1)
            unplug();
        else if (info.ssi_signo == SIGUSR2)
            replug();
        else
            return true;
    }
    return false;
}

int Simulator::run()
{
    char buffer[4096];
    while (!m_vanish && !m_lineLost) {
        // A stalled unit never takes a byte off the line: the program's
        // output fills up behind it.
        const int lineFd = m_options.mode == ReplyMode::Stall || m_fd < 0 ? -1 : m_fd;
        pollfd fds[2] = {{lineFd, POLLIN, 0}, {m_signalFd, POLLIN, 0}};
        double wait = -1; // seconds until something is due; -1: nothing is
        if (!m_output.empty()) {
            wait = headReadyAt() - monotonicSeconds();
            if (wait <= 0) {
                fds[0].events |= POLLOUT;
                wait = -1;
            }
        }
        if (watchForClose()) {
            dropIfPortClosed();
            wait = wait < 0 ? kClosedCheckSeconds : std::min(wait, kClosedCheckSeconds);
        }
        if (m_control.isOpen()) {
            obeyControl();
            wait = wait < 0 ? kControlCheckSeconds : std::min(wait, kControlCheckSeconds);
        }
        if (m_options.noiseMs > 0 && m_fd >= 0) {
            const double noiseIn = sendNoiseWhenDue();
            wait = wait < 0 ? noiseIn : std::min(wait, noiseIn);
        }
        timespec timeout{};
        if (wait >= 0) {
            timeout.tv_sec = time_t(wait);
            timeout.tv_nsec = long((wait - double(timeout.tv_sec)) * 1e9);
        }
        timespec *timeoutPtr = wait >= 0 ? &timeout : nullptr;
        if (ppoll(fds, 2, timeoutPtr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("ktraveld-unitsim: poll");
            return 1;
        }
        if ((fds[1].revents & POLLIN) && takeSignal())
            break;
        if (m_fd < 0)
            continue; // unplugged: only a signal can change that

        if (fds[0].revents & POLLIN) {
            // The rate in force now is the rate these bytes were written at.
            const int rate = m_options.devicePath.isEmpty() ? lineRate(m_fd) : m_options.baud;
            for (;;) {
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n > 0) {
                    receive(QByteArray(buffer, n), rate, monotonicSeconds());
                    if (m_vanish)
                        break;
                    continue;
                }
                if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    m_lineLost = true;
                break;
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            m_lineLost = true;
        }
        if (!m_vanish && !m_lineLost)
            writePending();
    }
    closeLine();
    return 0;
}

void Simulator::receive(const QByteArray &bytes, int rate, double now)
{
    for (char c : bytes) {
        if (!m_partial.isEmpty() && rate != m_partialRate)
            endLine(now);
        if (m_vanish)
            return;
        m_partial += c;
        m_partialRate = rate;
        if (c == '\r')
            endLine(now);
        if (m_vanish)
            return;
    }
}

// A line ends at its CR, or where the rate changed under it.
void Simulator::endLine(double now)
{
    const QByteArray line = m_partial;
    const int rate = m_partialRate;
    m_partial.clear();
    ++m_lineCount;

    // A cable pulled at the unit while the adapter stays: the line is there,
    // and nobody hears or answers it from the line after the --mute-after count.
    if (m_options.muteAfter > 0 && m_lineCount > m_options.muteAfter)
        m_present = false;
    // The line that reaches the --vanish-after count is recorded but not answered.
    const bool lastLine = m_options.vanishAfter > 0 && m_lineCount >= m_options.vanishAfter;
    bool answered = false;
    // A unit deaf after a write misses whole lines, its own address or not,
    // and every set line it misses starts its deafness again.
    const bool deaf = now < m_deafUntil;
    const bool write = line.endsWith('\r') && Unit::isWrite(line.chopped(1));
    if (write && m_options.deafMs > 0)
        m_deafUntil = now + m_options.deafMs / 1000.0;
    const bool muted = now < m_muteUntil;
    if (m_present && !muted && !lastLine && !deaf && rate == m_options.baud &&
        line.endsWith('\r')) {
        auto reply = m_unit.handleLine(line.chopped(1), now);
        // A second unit on the same line hears every line too; both answers
        // go out, the first unit's first.
        if (m_second) {
            if (auto other = m_second->handleLine(line.chopped(1), now))
                reply = reply ? *reply + *other : *other;
        }
        const bool modeApplies = m_options.unit.only.isEmpty() ||
                                 m_options.unit.only.contains(Unit::commandOf(line.chopped(1)));
        ReplyMode mode = modeApplies ? m_options.mode : ReplyMode::Normal;
        if (mode == ReplyMode::Slow && m_options.slowCount > 0 &&
            m_slowDone++ >= m_options.slowCount)
            mode = ReplyMode::Normal;
        if (reply && write && m_options.ackMs > 0) {
            // An acknowledgement keeps its own time, whatever the mode.
            m_output.push_back({*reply, 0, now + m_options.ackMs / 1000.0, 0});
            answered = true;
        } else if (reply && mode != ReplyMode::Silent) {
            scheduleReply(*reply, now, mode);
            answered = true;
            // The reply is on its way before the record shows the line, so a
            // reader who sees the record can expect the reply's first bytes.
            writePending();
        }
    }
    m_recorder.record(now, rate, answered, line);
    if (lastLine)
        m_vanish = true;
}

void Simulator::scheduleReply(const QByteArray &reply, double now, ReplyMode mode)
{
    switch (mode) {
    case ReplyMode::Normal:
    case ReplyMode::Fixed:
    case ReplyMode::Stall:
        m_output.push_back({reply, 0, now, 0});
        break;
    case ReplyMode::Silent:
        break;
    case ReplyMode::Slow:
        m_output.push_back({reply, 0, now + m_options.slowMs / 1000.0, 0});
        break;
    case ReplyMode::Split: {
        const qsizetype half = std::max<qsizetype>(1, reply.size() / 2);
        m_output.push_back({reply.left(half), 0, now, 0});
        if (half < reply.size())
            m_output.push_back({reply.mid(half), 0, now, m_options.splitGapMs / 1000.0});
        break;
    }
    case ReplyMode::Garbage:
        m_output.push_back({garbageReply(), 0, now, 0});
        break;
    case ReplyMode::Flood:
        m_output.push_back({floodBytes(), 0, now, 0});
        m_output.push_back({reply, 0, now, 0});
        break;
    }
}

double Simulator::headReadyAt() const
{
    const Chunk &head = m_output.front();
    return std::max(head.notBefore, m_lastChunkDone + head.gapAfterPrevious);
}

// Writes what is due without blocking; returns false when the line is gone.
bool Simulator::writePending()
{
    while (!m_output.empty() && headReadyAt() <= monotonicSeconds()) {
        Chunk &head = m_output.front();
        const ssize_t n = ::write(m_fd, head.bytes.constData() + head.offset,
                                  size_t(head.bytes.size() - head.offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return true;
            m_lineLost = true;
            return false;
        }
        head.offset += n;
        if (head.offset == head.bytes.size()) {
            m_output.pop_front();
            m_lastChunkDone = monotonicSeconds();
        }
    }
    return true;
}

// Replies still on their way, or sent and not read yet, need watching: on a
// real port they are lost when the program closes it, and on the pseudo-terminal
// they would otherwise wait for the next open. Our own slave descriptor keeps
// the line, so closing is seen as the rate falling back to the idle rate, which
// the port restores when it closes.
bool Simulator::watchForClose() const
{
    return m_slaveFd >= 0 && (!m_output.empty() || queuedInput(m_slaveFd) > 0);
}

void Simulator::dropIfPortClosed()
{
    if (lineRate(m_fd) != kIdleRate)
        return;
    discardInput(m_slaveFd);
    m_output.clear();
}

// A line that picks up noise: one stray byte (0xFF, no CR) every noiseMs,
// whatever else is on its way. Returns the seconds until the next one.
double Simulator::sendNoiseWhenDue()
{
    const double now = monotonicSeconds();
    if (m_nextNoise <= 0)
        m_nextNoise = now + m_options.noiseMs / 1000.0;
    if (now >= m_nextNoise) {
        const char stray = char(0xFF);
        if (::write(m_fd, &stray, 1) < 0 && errno != EAGAIN && errno != EINTR)
            m_lineLost = true;
        m_nextNoise = now + m_options.noiseMs / 1000.0;
    }
    return std::max(0.0, m_nextNoise - now);
}

void Simulator::obeyControl()
{
    for (const QByteArray &line : m_control.newLines()) {
        const std::optional<ControlOrder> order = parseControlLine(line);
        if (!order) {
            std::fprintf(stderr, "ktraveld-unitsim: not a control order: %s\n", line.constData());
            continue;
        }
        if (order->kind == ControlOrder::Kind::Remove) {
            // A unit taken off the line stops talking mid-reply.
            m_present = false;
            m_output.clear();
            m_second.reset();
        } else if (order->kind == ControlOrder::Kind::Mute) {
            // The same unit, its contact lost for a while: what was on its
            // way is lost too.
            m_muteUntil = monotonicSeconds() + order->muteMs / 1000.0;
            m_output.clear();
        } else {
            UnitConfig config = m_options.unit;
            config.model = order->model;
            config.address = order->address;
            config.keepNothing = order->keepNothing;
            m_unit = Unit(config);
            m_second.reset();
            m_present = true;
        }
        // Said once it holds, so whoever gave the order can wait for it.
        std::printf("control: %s\n", line.simplified().constData());
        std::fflush(stdout);
    }
}

void Simulator::closeLine()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_signalFd >= 0)
        ::close(m_signalFd);
    m_fd = m_slaveFd = m_signalFd = -1;
    if (m_linkMade)
        ::unlink(m_options.linkPath.toLocal8Bit().constData());
    m_linkMade = false;
}

// Sixteen bytes of noise that hold at least one byte above 127, a CR, an LF,
// a NUL and an "@", so every way of mistaking noise for a reply is exercised.
QByteArray Simulator::garbageReply()
{
    auto *random = QRandomGenerator::global();
    QByteArray bytes;
    bytes += char(0x80 + random->bounded(0x80));
    bytes += '\r';
    bytes += '\n';
    bytes += '\0';
    bytes += '@';
    while (bytes.size() < 16)
        bytes += char(random->bounded(256));
    std::shuffle(bytes.begin(), bytes.end(), *random);
    return bytes;
}

} // namespace unitsim
