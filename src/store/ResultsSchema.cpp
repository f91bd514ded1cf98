#include "store/ResultsSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace ktv {

namespace {

// Step n takes version n-1 to n. A step never changes: a later need is a
// new step.
const QStringList &step(int version)
{
    static const QStringList one = {
        QStringLiteral("CREATE TABLE schema_version (version integer NOT NULL)"),
        QStringLiteral("INSERT INTO schema_version VALUES (0)"),
        QStringLiteral(
            "CREATE TABLE checks ("
            " uuid uuid PRIMARY KEY,"
            " station text NOT NULL, operator text NOT NULL,"
            " unit_model text NOT NULL, revision text NOT NULL, axis integer NOT NULL,"
            " baud integer NOT NULL, device text NOT NULL, by_id text NOT NULL,"
            " serial_number text NOT NULL,"
            " sheet_name text NOT NULL, sheet_sha256 text NOT NULL, loaded boolean NOT NULL,"
            " started timestamptz NOT NULL, ended timestamptz NOT NULL,"
            " utc_offset integer NOT NULL," // the bench's offset in seconds, for its local day
            " verdict text NOT NULL CHECK (verdict IN ('pass', 'fail', 'refused', 'error')),"
            " problem text NOT NULL,"
            " received timestamptz NOT NULL DEFAULT now())"),
        QStringLiteral("CREATE TABLE check_values ("
                       " check_uuid uuid NOT NULL REFERENCES checks (uuid) ON DELETE CASCADE,"
                       " position integer NOT NULL,"
                       " profile integer NOT NULL, field text NOT NULL, caption text NOT NULL,"
                       " sheet_value text NOT NULL, unit_value text," // NULL: no valid answer
                       " verdict text NOT NULL,"
                       " PRIMARY KEY (check_uuid, position))"),
        // Which units of a model passed, what a station did, what happened when.
        QStringLiteral("CREATE INDEX checks_by_model ON checks (lower(unit_model), started DESC)"),
        QStringLiteral("CREATE INDEX checks_by_station ON checks (station, started DESC)"),
        QStringLiteral("CREATE INDEX checks_by_time ON checks (started DESC)"),
    };
    static const QStringList two = {
        QStringLiteral("ALTER TABLE check_values ADD COLUMN problem text NOT NULL DEFAULT ''"),
        // What failed: the few checks that did not pass, newest first.
        QStringLiteral("CREATE INDEX checks_not_passed ON checks (started DESC) "
                       "WHERE verdict <> 'pass'"),
    };
    static const QStringList three = {
        // The unit's own serial number, scanned or typed at the check ('':
        // none given), and one unit's checks in order.
        QStringLiteral("ALTER TABLE checks ADD COLUMN serial text NOT NULL DEFAULT ''"),
        QStringLiteral("CREATE INDEX checks_by_serial ON checks (serial, started) "
                       "WHERE serial <> ''"),
    };
    // The yield as the program counts it (ResultsYield.h), for the plant's
    // own dashboards and SQL clients: a unit is its serial number, or a
    // check of its own without one; it counts once, at the station, day
    // and model of its first check (first and last by start time, then
    // UUID). Days are the bench's calendar days.
    static const QStringList four = {
        QStringLiteral(
            "CREATE VIEW check_units AS SELECT c.uuid, CASE WHEN c.serial <> '' THEN c.serial "
            "ELSE 'check ' || CAST(c.uuid AS text) END AS unit, c.station, c.unit_model, "
            "CAST((c.started AT TIME ZONE 'UTC') + c.utc_offset * interval '1 second' AS date) "
            "AS day, c.started, c.verdict FROM checks c"),
        QStringLiteral(
            "CREATE VIEW unit_yield AS SELECT unit, station, unit_model, day, first_passed, "
            "last_passed, checks FROM (SELECT unit, station, unit_model, day, "
            "verdict = 'pass' AS first_passed, (last_value(verdict) OVER w) = 'pass' AS "
            "last_passed, count(*) OVER w AS checks, row_number() OVER w AS n FROM check_units "
            "WINDOW w AS (PARTITION BY unit ORDER BY started, uuid ROWS BETWEEN UNBOUNDED "
            "PRECEDING AND UNBOUNDED FOLLOWING)) u WHERE n = 1"),
        QStringLiteral(
            "CREATE VIEW yield_per_station_day AS SELECT station, day, unit_model, "
            "count(*) AS units, count(*) FILTER (WHERE first_passed) AS first_pass, "
            "count(*) FILTER (WHERE last_passed) AS final_pass, "
            "CAST(sum(checks) AS bigint) AS checks, CAST(sum(checks) AS bigint) - count(*) AS "
            "retests FROM unit_yield GROUP BY station, day, unit_model"),
        QStringLiteral(
            "CREATE VIEW first_pass_yield AS SELECT day, CAST(sum(units) AS bigint) AS units, "
            "CAST(sum(first_pass) AS bigint) AS first_pass, CAST(sum(final_pass) AS bigint) AS "
            "final_pass, CAST(sum(retests) AS bigint) AS retests, "
            "round(100.0 * sum(first_pass) / sum(units), 1) AS first_pass_percent, "
            "round(100.0 * sum(final_pass) / sum(units), 1) AS final_percent "
            "FROM yield_per_station_day GROUP BY day"),
        QStringLiteral(
            "CREATE VIEW failing_fields AS SELECT c.station, c.day, c.unit_model, v.profile, "
            "v.field, CASE WHEN v.profile > 0 THEN 'Profile ' || v.profile || ', ' || v.caption "
            "ELSE v.caption END AS name, count(*) AS failures FROM check_values v JOIN "
            "check_units c ON c.uuid = v.check_uuid WHERE v.verdict <> 'match' "
            "GROUP BY c.station, c.day, c.unit_model, v.profile, v.field, name"),
    };
    // A check that could not finish counts once under its cause (field '',
    // name the cause), never as failures of the values it could not get; a
    // value the unit gave, and that differs, still counts against its field
    // (ResultsYield.h).
    static const QStringList five = {
        QStringLiteral(
            "CREATE OR REPLACE VIEW failing_fields AS WITH ended AS (SELECT c.uuid, c.station, "
            "c.day, c.unit_model, CASE WHEN c.verdict = 'refused' THEN 'refused' "
            "WHEN k.problem LIKE 'line lost%' OR EXISTS (SELECT 1 FROM check_values l WHERE "
            "l.check_uuid = c.uuid AND l.problem = 'line lost') THEN 'line lost' "
            "WHEN c.verdict <> 'error' THEN '' "
            "WHEN k.problem = 'cancelled' OR EXISTS (SELECT 1 FROM check_values l WHERE "
            "l.check_uuid = c.uuid AND l.problem = 'cancelled') THEN 'stopped' "
            "ELSE 'no answer' END AS cause FROM check_units c JOIN checks k ON k.uuid = c.uuid) "
            "SELECT e.station, e.day, e.unit_model, v.profile, v.field, CASE WHEN v.profile > 0 "
            "THEN 'Profile ' || v.profile || ', ' || v.caption ELSE v.caption END AS name, "
            "count(*) AS failures FROM check_values v JOIN ended e ON e.uuid = v.check_uuid "
            "WHERE v.verdict <> 'match' AND (e.cause = '' OR v.unit_value IS NOT NULL) "
            "GROUP BY e.station, e.day, e.unit_model, v.profile, v.field, name "
            "UNION ALL SELECT station, day, unit_model, 0, '', cause, count(*) FROM ended "
            "WHERE cause <> '' GROUP BY station, day, unit_model, cause"),
    };
    static const QStringList none;
    switch (version) {
    case 1:
        return one;
    case 2:
        return two;
    case 3:
        return three;
    case 4:
        return four;
    case 5:
        return five;
    }
    return none;
}

QString newerText(int version)
{
    return QStringLiteral("its schema is version %1, newer than this program's %2; nothing "
                          "was written")
        .arg(version)
        .arg(ResultsSchemaVersion);
}

} // namespace

int resultsSchemaVersion(QSqlDatabase db, QString *problem)
{
    QSqlQuery query(db);
    // A plain catalogue query, not to_regclass(): that may answer from a
    // cache made before another station's schema was committed.
    if (!query.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables WHERE "
                                   "schemaname = current_schema() AND tablename = "
                                   "'schema_version')")) ||
        !query.next()) {
        if (problem)
            *problem = query.lastError().databaseText().simplified();
        return -1;
    }
    if (!query.value(0).toBool())
        return 0;
    if (!query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next()) {
        if (problem)
            *problem = query.lastError().databaseText().simplified();
        return -1;
    }
    return query.value(0).toInt();
}

bool upgradeResultsSchema(QSqlDatabase db, int target, QString *problem)
{
    int version = resultsSchemaVersion(db, problem);
    if (version < 0)
        return false;
    if (version > ResultsSchemaVersion) {
        if (problem)
            *problem = newerText(version);
        return false;
    }
    if (version >= target)
        return true;

    QSqlQuery query(db);
    auto fail = [&] {
        if (problem)
            *problem = query.lastError().databaseText().simplified();
        db.rollback();
        return false;
    };
    if (!db.transaction())
        return fail();
    // Another station may be making the same steps: the second one waits
    // here, then finds the work done.
    if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7321504)")))
        return fail();
    version = resultsSchemaVersion(db, problem);
    if (version < 0) {
        db.rollback();
        return false;
    }
    for (int next = version + 1; next <= target; ++next) {
        for (const QString &statement : step(next))
            if (!query.exec(statement))
                return fail();
        if (!query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(next)))
            return fail();
    }
    if (!db.commit()) {
        if (problem)
            *problem = db.lastError().databaseText().simplified();
        db.rollback();
        return false;
    }
    return true;
}

} // namespace ktv
