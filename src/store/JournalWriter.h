#pragma once
// Writes the change journal's rows on a thread of its own, in the order they
// are given: a journal another program holds is waited for there, never on
// the window's thread nor on a station line's. A row that cannot be written
// is said through failed(), on the thread the writer was made on; a check's
// result is followed by what became of it.
//
// Ending waits 2 s at most for the rows given. What is not written by then
// (the journal held by another program) is kept in a file beside the
// journal (journal.sqlite.unwritten, one JSON object a line) and written,
// ahead of the new rows, by the next writer of that journal. A held journal
// is waited for in slices of 0.2 s, so the row under way is kept there too,
// unwritten.

#include "protocol/CheckReport.h"
#include "protocol/Threads.h"
#include "store/Journal.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ktv {

class JournalWriter : public QObject
{
    Q_OBJECT
  public:
    static constexpr int EndingMilliseconds = 2000;
    // Where the rows not written at the end wait for the next start.
    static QString unwrittenPath(const QString &journalPath)
    {
        return journalPath + QStringLiteral(".unwritten");
    }

    explicit JournalWriter(const QString &path, QObject *parent = nullptr);
    // Writes the rows already given, within EndingMilliseconds; keeps the
    // rest in unwrittenPath().
    ~JournalWriter() override;
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    QString path() const { return path_; }
    // Returns at once; the row is written behind the ones before it.
    void append(const JournalEntry &entry);
    // A check's result (CheckResults::record), written behind the rows
    // given before it; then runs on the writer's own thread with whether it
    // was kept and, if not, why. Returns at once.
    void record(const CheckReport &report,
                std::function<void(bool recorded, const QString &problem)> then);

  signals:
    void failed(const QString &problem);

  private:
    struct Shared;
    QString path_;
    std::shared_ptr<Shared> shared_;
    StartedThread thread_;
};

} // namespace ktv
