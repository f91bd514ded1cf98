#include "UnitSimProcess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>

namespace ktv::test {

QList<QByteArray> bytesOf(const QList<ReceivedLine> &lines)
{
    QList<QByteArray> bytes;
    for (const ReceivedLine &line : lines)
        bytes.append(line.bytes);
    return bytes;
}

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kEndTimeoutMs = 3000;
constexpr int kPollSliceMs = 10;

} // namespace

UnitSimProcess::UnitSimProcess(const UnitSimOptions &options) : m_options(options)
{
    // The unit's diagnostics belong in the test log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

UnitSimProcess::~UnitSimProcess()
{
    terminate();
}

QString UnitSimProcess::recordPath() const
{
    return m_dir.filePath(QStringLiteral("received.jsonl"));
}

QString UnitSimProcess::controlPath() const
{
    return m_dir.filePath(QStringLiteral("control.txt"));
}

bool UnitSimProcess::control(const QByteArray &order)
{
    QFile file(controlPath());
    if (!file.open(QIODevice::Append) || file.write(order + '\n') != order.size() + 1)
        return false;
    file.close();
    const QByteArray said = "control: " + order + '\n';
    const QDeadlineTimer deadline(2000);
    for (;;) {
        m_said += m_process.readAllStandardOutput();
        if (const qsizetype at = m_said.indexOf(said); at >= 0) {
            m_said.remove(0, at + said.size());
            return true;
        }
        if (deadline.hasExpired() || !isRunning())
            return false;
        QEventLoop loop;
        QTimer::singleShot(kPollSliceMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool UnitSimProcess::start()
{
    if (!m_dir.isValid() || isRunning())
        return false;
    QStringList args = {QStringLiteral("--model"),    m_options.model,
                        QStringLiteral("--revision"), m_options.revision,
                        QStringLiteral("--address"),  QString::number(m_options.address),
                        QStringLiteral("--baud"),     QString::number(m_options.baud),
                        QStringLiteral("--mode"),     m_options.mode,
                        QStringLiteral("--record"),   recordPath(),
                        QStringLiteral("--control"),  controlPath()};
    args += m_options.extraArgs;
    m_process.start(QStringLiteral(KTV_UNITSIM_PATH), args, QIODevice::ReadOnly);
    if (!m_process.waitForStarted(kStartTimeoutMs))
        return false;

    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            kill();
            return false;
        }
    }
    m_devicePath = QString::fromLocal8Bit(m_process.readLine().trimmed());
    return !m_devicePath.isEmpty();
}

QList<ReceivedLine> UnitSimProcess::received() const
{
    QList<ReceivedLine> lines;
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    const QByteArray content = file.readAll();
    for (const QByteArray &text : content.split('\n')) {
        // The last piece is empty, or a record still being written.
        const QJsonObject object = QJsonDocument::fromJson(text).object();
        if (object.isEmpty())
            continue;
        ReceivedLine line;
        line.t = object.value(QLatin1String("t")).toDouble();
        line.baud = object.value(QLatin1String("baud")).toInt();
        line.answered = object.value(QLatin1String("answered")).toBool();
        line.bytes = QByteArray::fromHex(object.value(QLatin1String("hex")).toString().toLatin1());
        lines.append(line);
    }
    return lines;
}

QList<QByteArray> UnitSimProcess::receivedBytes() const
{
    return bytesOf(received());
}

QList<QByteArray> UnitSimProcess::receivedAt(int baud) const
{
    QList<QByteArray> bytes;
    for (const ReceivedLine &line : received()) {
        if (line.baud == baud)
            bytes.append(line.bytes);
    }
    return bytes;
}

bool UnitSimProcess::waitForLineCount(int n, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (received().size() >= n)
            return true;
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(kPollSliceMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void UnitSimProcess::clearRecord()
{
    // The unit appends, so after truncation its next record starts the file.
    QFile file(recordPath());
    if (file.exists())
        file.resize(0);
}

bool UnitSimProcess::unplug()
{
    if (!isRunning() || ::kill(pid_t(m_process.processId()), SIGUSR1) != 0)
        return false;
    const QDeadlineTimer deadline(kEndTimeoutMs);
    while (QFileInfo::exists(m_devicePath)) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(kPollSliceMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool UnitSimProcess::replug()
{
    if (!isRunning() || ::kill(pid_t(m_process.processId()), SIGUSR2) != 0)
        return false;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    m_devicePath = QString::fromLocal8Bit(m_process.readLine().trimmed());
    return QFileInfo::exists(m_devicePath);
}

void UnitSimProcess::terminate()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kEndTimeoutMs))
        kill();
}

void UnitSimProcess::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(kEndTimeoutMs);
}

} // namespace ktv::test
