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
// A ResultsServer keeps one connection, used from the thread that made it.

#include "protocol/CheckReport.h"
#include "store/CheckResults.h" // ResultsFilter: the same questions, asked of either

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
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
    // Where the results go, for messages: "db.plant", "db.plant:5433",
    // "service plant", "the local server".
    QString serverName() const;
};

// Reads "keyword=value keyword='quoted value' ...". A text that does not
// read, an unknown keyword, or a password gives one sentence in problem.
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

// The checks in which one field's value was not a match.
struct FieldFailures
{
    QString station;
    QDate day; // the bench's calendar day of the check
    QString unitModel;
    QString name; // "Profile 1, Max Speed", "Ramp Down"
    int failures = 0;
};

struct RankedField
{
    QString name;
    int failures = 0;
    double cumulativePercent = 0; // of all the failures, this field's and those before it
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
    // Whether the connection stands (after a failed send: the server
    // refused that one result, rather than being away).
    bool connected() const;

    SendOutcome send(const CheckReport &report, QString *problem);

    // Newest first.
    std::optional<std::vector<CheckReport>> list(const ResultsFilter &filter, QString *problem);
    // Per station and day, newest day first, stations by name.
    std::optional<std::vector<StationYield>> yield(const ResultsFilter &filter, QString *problem);
    // The views yield_per_station_day and failing_fields, the rows the
    // filter's station, unit model and since (its day) let through.
    std::optional<std::vector<YieldFigures>> yieldFigures(const ResultsFilter &filter,
                                                          QString *problem);
    std::optional<std::vector<FieldFailures>> fieldFailures(const ResultsFilter &filter,
                                                            QString *problem);

  private:
    struct Connection;
    // A yield view's rows (ResultsYield.h), the filter's terms it can answer.
    template <typename Row>
    std::optional<std::vector<Row>> readView(const QString &select, const ResultsFilter &filter,
                                             const QString &order, Row (*rowOf)(const QSqlQuery &),
                                             QString *problem);
    bool connectAndUpgrade(QString *problem);
    void drop();
    QString failure(const QString &what, const QString &detail) const;

    ConnectionSetting setting_;
    std::unique_ptr<Connection> connection_;
};

} // namespace ktv
