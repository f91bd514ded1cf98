#pragma once
// The change journal: one row for every line that changed a unit, in a small
// SQLite file (journal.sqlite in the application's data folder). A row holds
// when, which unit (model, revision, axis), what was written (field, profile,
// value and the line itself), what the read-back showed before and after,
// and the verdict. The schema version is the file's user_version.
//
// The same file keeps the results of the checks (CheckResults): schema 2
// added their tables to the changes of schema 1, and a journal of schema 1
// is upgraded in place, its rows kept. Schema 3 added each check's serial
// number.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace ktv {

class StoreConnection;

enum class JournalVerdict { Confirmed, NotHeld, NotReadBack };
QString journalVerdictText(JournalVerdict verdict); // "confirmed", "not held", "not read back"

// How a row shows a unit whose model nothing asked at its axis (stored as
// an empty model and revision).
inline QString notAskedText()
{
    return QStringLiteral("not asked");
}

struct JournalEntry
{
    QDateTime time;    // UTC
    QString unitModel; // null when not asked
    QString revision;
    QString axis;
    QString field;   // sheet key ("max-speed", "resolution") or "axis"
    QString profile; // empty for settings and the axis
    QString value;   // as written
    QByteArray line; // the bytes on the wire
    std::optional<QString> before;
    std::optional<QString> after;
    JournalVerdict verdict = JournalVerdict::NotReadBack;
};

class Journal
{
  public:
    static constexpr int SchemaVersion = 3;
    // Another program (a second tool, the window, sqlite3) may hold the
    // journal for a moment: a write waits that long for it before it gives up.
    static constexpr int BusyMilliseconds = 6000;
    static QString tableName() { return QStringLiteral("changes"); }
    // journal.sqlite in the application's data folder (needs the
    // application name set first).
    static QString defaultPath();
    // The line as the journal shows it: printable, CR as "\r".
    static QString lineText(const QByteArray &line);

    // "The change journal PATH cannot be written: WHY", and its reading twin.
    static QString cannotWriteText(const QString &path, const QString &why);
    static QString cannotReadText(const QString &path, const QString &why);

    // The journal's database, made or upgraded to SchemaVersion (each step
    // in one transaction); none, and *why, when it cannot be written.
    static std::unique_ptr<StoreConnection> openForWriting(const QString &path, QString *why,
                                                           int busyMilliseconds = BusyMilliseconds);
    // The journal's database as it is, read-only, and its schema version (0
    // when no row was written yet); none, and *why, when it cannot be opened
    // or a newer program made it.
    static std::unique_ptr<StoreConnection> openForReading(const QString &path, int *version,
                                                           QString *why);

    explicit Journal(const QString &path, int busyMilliseconds = BusyMilliseconds);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    QString path() const { return path_; }
    // Adds one row; on failure *problem says why, and nothing else happens.
    bool append(const JournalEntry &entry, QString *problem);

  private:
    bool open(QString *problem);

    QString path_;
    int busyMilliseconds_;
    std::unique_ptr<StoreConnection> connection_;
};

} // namespace ktv
