#include "store/JournalWriter.h"

#include "protocol/CheckReportJson.h"
#include "protocol/Threads.h"
#include "store/CheckResults.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace ktv {

namespace {

// How long one try waits for a journal another program holds.
constexpr int SliceMilliseconds = 200;

struct Row
{
    std::optional<JournalEntry> change;
    std::optional<CheckReport> check;
    std::function<void(bool, const QString &)> then; // a check's, when given
};

QJsonValue optionalJson(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

std::optional<QString> optionalText(const QJsonValue &value)
{
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

QByteArray rowLine(const Row &row)
{
    QJsonObject object;
    if (row.check) {
        object.insert(QStringLiteral("check"), checkReportJson(*row.check));
    } else if (row.change) {
        const JournalEntry &e = *row.change;
        object.insert(
            QStringLiteral("change"),
            QJsonObject{{QStringLiteral("time"), e.time.toUTC().toString(Qt::ISODateWithMs)},
                        {QStringLiteral("model"), e.unitModel.isNull()
                                                      ? QJsonValue(QJsonValue::Null)
                                                      : QJsonValue(e.unitModel)},
                        {QStringLiteral("revision"), e.revision},
                        {QStringLiteral("axis"), e.axis},
                        {QStringLiteral("field"), e.field},
                        {QStringLiteral("profile"), e.profile},
                        {QStringLiteral("value"), e.value},
                        {QStringLiteral("line"), QString::fromLatin1(e.line.toBase64())},
                        {QStringLiteral("before"), optionalJson(e.before)},
                        {QStringLiteral("after"), optionalJson(e.after)},
                        {QStringLiteral("verdict"), journalVerdictText(e.verdict)}});
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Row> rowOf(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    Row row;
    if (object.contains(QStringLiteral("check"))) {
        row.check = checkReportFromJson(object.value(QStringLiteral("check")).toObject());
        if (!row.check)
            return std::nullopt;
        return row;
    }
    if (!object.contains(QStringLiteral("change")))
        return std::nullopt;
    const QJsonObject c = object.value(QStringLiteral("change")).toObject();
    JournalEntry e;
    e.time = QDateTime::fromString(c.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (c.value(QStringLiteral("model")).isString())
        e.unitModel = c.value(QStringLiteral("model")).toString();
    e.revision = c.value(QStringLiteral("revision")).toString();
    e.axis = c.value(QStringLiteral("axis")).toString();
    e.field = c.value(QStringLiteral("field")).toString();
    e.profile = c.value(QStringLiteral("profile")).toString();
    e.value = c.value(QStringLiteral("value")).toString();
    e.line = QByteArray::fromBase64(c.value(QStringLiteral("line")).toString().toLatin1());
    e.before = optionalText(c.value(QStringLiteral("before")));
    e.after = optionalText(c.value(QStringLiteral("after")));
    const QString verdict = c.value(QStringLiteral("verdict")).toString();
    for (JournalVerdict v :
         {JournalVerdict::Confirmed, JournalVerdict::NotHeld, JournalVerdict::NotReadBack})
        if (journalVerdictText(v) == verdict)
            e.verdict = v;
    row.change = e;
    return row;
}

} // namespace

struct JournalWriter::Shared
{
    std::mutex mutex;
    std::condition_variable wake; // a row given, or the end
    std::condition_variable idle; // every row given written
    std::deque<Row> rows;
    std::optional<Row> writing; // taken, its write under way
    bool ending = false;
    bool abandoned = false;        // the end came first: what is left was kept aside
    JournalWriter *home = nullptr; // null once the writer ends
    QString path;

    bool stopped = false; // the thread is done with the journal

    void run();
    void work();
    // The rows an earlier program could not write, ahead of the new ones.
    void takeUnwritten();
    void tell(std::function<void()> what);
};

void JournalWriter::Shared::tell(std::function<void()> what)
{
    // Called with the mutex held: home is still there, and the call queued.
    if (home)
        QMetaObject::invokeMethod(home, std::move(what), Qt::QueuedConnection);
}

void JournalWriter::Shared::takeUnwritten()
{
    const QString kept = unwrittenPath(path);
    if (!QFile::exists(kept))
        return;
    // Taken by renaming it first: another writer of the same journal
    // starting now finds it gone.
    const QString taken =
        kept + QLatin1Char('.') + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QFile::rename(kept, taken))
        return;
    QFile file(taken);
    std::deque<Row> earlier;
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd())
            if (const auto row = rowOf(file.readLine().trimmed()))
                earlier.push_back(*row);
        file.close();
    }
    {
        std::lock_guard lock(mutex);
        rows.insert(rows.begin(), earlier.begin(), earlier.end());
    }
    file.remove();
}

void JournalWriter::Shared::run()
{
    work();
    std::lock_guard lock(mutex);
    stopped = true;
    idle.notify_all();
}

void JournalWriter::Shared::work()
{
    takeUnwritten();
    Journal journal(path, SliceMilliseconds);
    for (;;) {
        Row row;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return ending || !rows.empty(); });
            if (rows.empty() || abandoned)
                return;
            row = rows.front();
            rows.pop_front();
            writing = row;
        }
        // A journal held is waited for in short slices, up to the journal's
        // own bound, so that the end finds the row not yet written.
        QString problem;
        bool written = false;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            problem.clear();
            written = row.check ? CheckResults(path, SliceMilliseconds).record(*row.check, &problem)
                                : journal.append(*row.change, &problem);
            if (written || !problem.contains(QLatin1String("database is locked")) ||
                clock.elapsed() >= Journal::BusyMilliseconds)
                break;
            std::lock_guard lock(mutex);
            if (abandoned)
                return; // kept beside the journal
        }
        std::lock_guard lock(mutex);
        // Unwritten at the end: it stays, to be kept beside the journal.
        if (written || !abandoned)
            writing.reset();
        if (abandoned)
            return;
        if (row.then)
            tell([then = row.then, written, problem] { then(written, problem); });
        else if (!written)
            tell([writer = home, problem] { emit writer->failed(problem); });
        if (rows.empty())
            idle.notify_all();
    }
}

JournalWriter::JournalWriter(const QString &path, QObject *parent)
    : QObject(parent), path_(path), shared_(std::make_shared<Shared>())
{
    shared_->home = this;
    shared_->path = path;
    // Should the writer outlive the program's end, the rows given are written
    // and the thread ends there.
    thread_ = threads::start(
        QStringLiteral("journal"), [shared = shared_] { shared->run(); },
        [shared = shared_] {
            std::lock_guard lock(shared->mutex);
            shared->ending = true;
            shared->wake.notify_all();
        });
}

JournalWriter::~JournalWriter()
{
    using std::chrono::milliseconds;
    std::unique_lock lock(shared_->mutex);
    shared_->home = nullptr;
    shared_->ending = true;
    shared_->wake.notify_all();
    if (shared_->idle.wait_for(lock, milliseconds(EndingMilliseconds - SliceMilliseconds * 2),
                               [this] { return shared_->rows.empty() && !shared_->writing; })) {
        lock.unlock();
        thread_.wait();
        return;
    }
    // The journal is held: the try under way ends, and what is left waits
    // beside the journal for the next start.
    shared_->abandoned = true;
    const bool stopped = shared_->idle.wait_for(lock, milliseconds(SliceMilliseconds * 2),
                                                [this] { return shared_->stopped; });
    QByteArray lines;
    if (shared_->writing)
        lines += rowLine(*shared_->writing);
    for (const Row &row : shared_->rows)
        lines += rowLine(row);
    shared_->rows.clear();
    lock.unlock();
    // A try that hangs ends by itself, unheard, and is waited for as the
    // program ends.
    if (stopped)
        thread_.wait();
    QFile file(unwrittenPath(path_));
    if (file.open(QIODevice::Append))
        file.write(lines);
}

void JournalWriter::append(const JournalEntry &entry)
{
    std::lock_guard lock(shared_->mutex);
    shared_->rows.push_back(Row{entry, std::nullopt, {}});
    shared_->wake.notify_one();
}

void JournalWriter::record(const CheckReport &report,
                           std::function<void(bool recorded, const QString &problem)> then)
{
    std::lock_guard lock(shared_->mutex);
    shared_->rows.push_back(Row{std::nullopt, report, std::move(then)});
    shared_->wake.notify_one();
}

} // namespace ktv
