#pragma once
// The plant's results server: every station's checks in one PostgreSQL
// database, reached through Qt's QPSQL driver.
//
// The setting is a libpq connection string ("host=db.plant port=5432
// dbname=results user=bench", or "service=plant"); options such as sslmode
// pass through. A password never appears in it: libpq reads ~/.pgpass (or
// the file PGPASSFILE or passfile= names) and service files itself.
//
// One row per check in "checks", keyed by the UUID made on the bench, and
// one row per value in "check_values". A check is sent exactly once: the
// check row and its values go in one transaction, and a UUID already there
// changes nothing, so a send cut off half way and repeated leaves one check
// with its values. The schema is made on first use and brought up to date
// by numbered steps (ResultsSchema.h); a database of a newer schema is
// refused and never written.
//
// Every wait is bounded: the connection within 5 s, the host name's lookup
// included (a longer or zero connect_timeout is capped); each statement
// within 15 s on the server; TCP keepalives and a user timeout end an
// exchange whose link dropped within 15 s.
//
// A ResultsServer keeps one connection, used from the thread that made it:
// the window uses it only through ResultsWorker's thread.

#include "protocol/CheckReport.h"
#include "store/CheckResults.h" // ResultsFilter: the same questions, asked of either

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QSqlQuery;

namespace ktv {

struct ConnectionSetting
{
    std::vector<std::pair<QString, QString>> options; // keyword, value, as written
    QString problem; // why the text cannot be read; empty when it can

    QString value(const QString &keyword) const;
    // Why the service it names (or PGSERVICE) brings a password from a
    // service file; empty when it does not.
    QString secretProblem() const;
    // Where the results go, for messages: "db.plant", "db.plant:5433",
    // "service plant", "the local server".
    QString serverName() const;
};

// Reads "keyword=value keyword='quoted value' ..." with libpq's own parser.
// A text that does not read, an unknown keyword, or a password (password=,
// sslpassword=, or one in the service file the setting names) gives one
// sentence in problem.
ConnectionSetting parseConnectionSetting(const QString &text);

struct StationYield
{
    QString station;
    QDate day; // the bench's own calendar day when the check started
    int passed = 0;
    int total = 0;
};

// Units (a serial number; a check without one is a unit of its own) by the
// station, day and unit model of their first check (ResultsYield.h).
struct YieldFigures
{
    QString station;   // empty when summed over stations
    QDate day;         // invalid when summed over days
    QString unitModel; // empty when summed over models
    int units = 0;
    int firstPassed = 0; // units whose first check passed
    int finalPassed = 0; // units whose last check passed
    int checks = 0;
    int retests() const { return checks - units; }
};

// The checks in which one field's value was not a match; or, unfinished,
// the checks that could not finish for one cause (ResultsYield.h).
struct FieldFailures
{
    QString station;
    QDate day; // the bench's calendar day of the check
    QString unitModel;
    QString name; // "Profile 1, Max Speed", "Ramp Down"; a cause: "line lost"
    int failures = 0;
    bool unfinished = false; // name is a cause, not a field
};

// The checks started in one hour of the bench's day (the view checks_per_hour).
struct HourCount
{
    QDate day;
    int hour = 0; // 0..23
    int passed = 0;
    int other = 0; // not passed
};

struct RankedField
{
    QString name;
    int failures = 0;
    double cumulativePercent = 0; // of all the failures, this field's and those before it
    bool unfinished = false;
};

enum class ProbeOutcome {
    Reached,        // connected; version says what schema it holds
    LoginRefused,   // the server answered and turned the login down
    Unreachable,    // no answer, no such host, or it could not be read
    SettingProblem, // the setting does not read
};

struct ServerProbe
{
    ProbeOutcome outcome = ProbeOutcome::Unreachable;
    int version = -1; // the schema's, when reached; 0: no tables yet
    QString text;     // one sentence for the operator
};

enum class SendOutcome {
    Stored,       // the check and its values were committed now
    AlreadyThere, // the server had this UUID: nothing changed
    Failed,       // nothing committed; the problem says why
};

class ResultsServer
{
  public:
    explicit ResultsServer(const QString &setting);
    ~ResultsServer();
    ResultsServer(const ResultsServer &) = delete;
    ResultsServer &operator=(const ResultsServer &) = delete;

    QString serverName() const { return setting_.serverName(); }
    // Why the setting does not read; empty when it does.
    QString settingProblem() const { return setting_.problem; }

    // Connects (again, after a lost connection) and brings the schema up to
    // date. Every operation below opens by itself; this is for a caller that
    // wants to know early.
    bool open(QString *problem);
    // Connects and reads the schema's version, writing nothing (Setup >
    // Results Database's Test).
    ServerProbe probe();
    // What the bench does otherwise than the setting says (a connect_timeout
    // above the bench's bound); empty when nothing.
    QString settingNote() const;
    // Hears what a long schema step is doing (summarizing the checks a
    // server held before): on the thread that uses this server.
    void setProgress(std::function<void(const QString &)> progress)
    {
        progress_ = std::move(progress);
    }
    // Whether the connection stands (after a failed send: the server
    // refused that one result, rather than being away).
    bool connected() const;

    SendOutcome send(const CheckReport &report, QString *problem);

    // Newest first; filter.limit and offset take one page. received, when
    // given, gets the time each listed check reached the server.
    std::optional<std::vector<CheckReport>> list(const ResultsFilter &filter, QString *problem,
                                                 QHash<QUuid, QDateTime> *received = nullptr);
    // Per station and day, newest day first, stations by name.
    std::optional<std::vector<StationYield>> yield(const ResultsFilter &filter, QString *problem);
    // The views yield_per_station_day and failing_fields, the rows the
    // filter's station, unit model and since (its day) let through.
    std::optional<std::vector<YieldFigures>> yieldFigures(const ResultsFilter &filter,
                                                          QString *problem);
    std::optional<std::vector<FieldFailures>> fieldFailures(const ResultsFilter &filter,
                                                            QString *problem);
    // The checks per hour of each day, from the view checks_per_hour, summed
    // over the stations and models the filter lets through; oldest first.
    // Failed only: the passed ones are not counted.
    std::optional<std::vector<HourCount>> checksPerHour(const ResultsFilter &filter,
                                                        QString *problem);

  private:
    struct Connection;
    // A yield view's rows (ResultsYield.h), the filter's terms it can answer.
    template <typename Row>
    std::optional<std::vector<Row>> readView(const QString &select, const ResultsFilter &filter,
                                             const QString &order, Row (*rowOf)(const QSqlQuery &),
                                             QString *problem, const QString &group = QString());
    // A kept connection the server dropped (it restarted) fails the first
    // time: a read that failed on a connection made earlier is tried once
    // on a new one. One made for the read is not tried again.
    template <class Read> auto again(Read read)
    {
        const bool kept = connected();
        auto result = read();
        if (!result && kept && !connected())
            result = read();
        return result;
    }
    std::optional<std::vector<CheckReport>> listOnce(const ResultsFilter &filter, QString *problem,
                                                     QHash<QUuid, QDateTime> *received);
    std::optional<std::vector<StationYield>> yieldOnce(const ResultsFilter &filter,
                                                       QString *problem);
    bool connectAndUpgrade(QString *problem);
    // refused: the server turned the login down (a password wrong or none).
    bool connect(QString *problem, bool *refused);
    void drop();
    QString failure(const QString &what, const QString &detail) const;

    ConnectionSetting setting_;
    std::unique_ptr<Connection> connection_;
    std::function<void(const QString &)> progress_;
};

} // namespace ktv
