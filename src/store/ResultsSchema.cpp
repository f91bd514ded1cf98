#include "store/ResultsSchema.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace ktv {

namespace {

// Why a check could not finish ('' when it did), as failing_fields counts it.
#define ENDED_CAUSE                                                                                \
    "CASE WHEN c.verdict = 'refused' THEN 'refused' WHEN k.problem LIKE 'line lost%' OR EXISTS "   \
    "(SELECT 1 FROM check_values l WHERE l.check_uuid = c.uuid AND l.problem = 'line lost') "      \
    "THEN 'line lost' WHEN c.verdict <> 'error' THEN '' WHEN k.problem = 'cancelled' OR EXISTS "   \
    "(SELECT 1 FROM check_values l WHERE l.check_uuid = c.uuid AND l.problem = 'cancelled') "      \
    "THEN 'stopped' ELSE 'no answer' END"

// The bench's calendar day and hour of a check (aliased c).
#define BENCH_TIME "((c.started AT TIME ZONE 'UTC') + c.utc_offset * interval '1 second')"
#define BENCH_DAY "CAST(" BENCH_TIME " AS date)"
#define BENCH_HOUR "CAST(extract(hour FROM " BENCH_TIME ") AS integer)"

// What the checks "checks" lets through (a condition on c) count in
// failing_fields, from those of their values "kept" lets through (a
// condition on the value @): day, station, unit_model, profile, field, name
// and n.
QString failuresOf(const QString &checks, const QString &kept)
{
    auto keptAs = [&kept](const char *alias) {
        return QString(kept).replace(QLatin1Char('@'), QLatin1String(alias));
    };
    const QString line = QStringLiteral(" AND ") + keptAs("l");
    return QStringLiteral(
               "WITH e AS (SELECT c.uuid, " BENCH_DAY " AS day, c.station, c.unit_model, CASE "
               "WHEN c.verdict = 'refused' THEN 'refused' WHEN c.problem LIKE 'line lost%' OR "
               "EXISTS (SELECT 1 FROM check_values l WHERE l.check_uuid = c.uuid AND l.problem = "
               "'line lost'") +
           line +
           QStringLiteral(") THEN 'line lost' WHEN c.verdict <> 'error' THEN '' WHEN c.problem = "
                          "'cancelled' OR EXISTS (SELECT 1 FROM check_values l WHERE "
                          "l.check_uuid = c.uuid AND l.problem = 'cancelled'") +
           line +
           QStringLiteral(") THEN 'stopped' ELSE 'no answer' END AS cause FROM checks c WHERE ") +
           checks +
           QStringLiteral(") SELECT e.day, e.station, e.unit_model, v.profile, v.field, CASE WHEN "
                          "v.profile > 0 THEN 'Profile ' || v.profile || ', ' || v.caption ELSE "
                          "v.caption END AS name, count(*) AS n FROM e JOIN check_values v ON "
                          "v.check_uuid = e.uuid WHERE ") +
           keptAs("v") +
           QStringLiteral(" AND v.verdict <> 'match' AND (e.cause = '' OR v.unit_value IS NOT "
                          "NULL) GROUP BY 1, 2, 3, 4, 5, 6 UNION ALL SELECT day, station, "
                          "unit_model, 0, '', cause, count(*) FROM e WHERE cause <> '' GROUP BY "
                          "1, 2, 3, 6");
}

// Adds to field_summary what the checks count now, less what they counted
// without the values "fresh" (a condition on the value @) lets through.
// "values" names the checks' values (a condition on @) for the planner: it
// reads those by their key instead of all values.
QString countFailures(const QString &checks, const QString &values,
                      const QString &fresh = QString())
{
    QString counts = failuresOf(checks, values);
    if (!fresh.isEmpty())
        counts =
            QStringLiteral("SELECT * FROM (") + counts +
            QStringLiteral(") a UNION ALL SELECT day, station, unit_model, profile, field, "
                           "name, -n FROM (") +
            failuresOf(checks, values + QStringLiteral(" AND NOT (") + fresh + QLatin1Char(')')) +
            QStringLiteral(") b");
    return QStringLiteral("INSERT INTO field_summary AS s SELECT day, station, unit_model, "
                          "profile, field, name, CAST(sum(n) AS integer) FROM (") +
           counts +
           QStringLiteral(") d GROUP BY 1, 2, 3, 4, 5, 6 HAVING sum(n) <> 0 ORDER BY 1, 2, 3, 4, "
                          "5, 6 ON CONFLICT (day, station, unit_model, profile, field, name) DO "
                          "UPDATE SET failures = s.failures + EXCLUDED.failures; ");
}

// Adds the checks "checks" lets through to hour_summary.
QString countHours(const QString &checks)
{
    return QStringLiteral("INSERT INTO hour_summary AS s SELECT " BENCH_DAY ", c.station, "
                          "c.unit_model, " BENCH_HOUR ", count(*) FILTER (WHERE c.verdict = "
                          "'pass'), count(*) FILTER (WHERE c.verdict <> 'pass') FROM checks c "
                          "WHERE ") +
           checks +
           QStringLiteral(" GROUP BY 1, 2, 3, 4 ORDER BY 1, 2, 3, 4 ON CONFLICT (day, station, "
                          "unit_model, hour) DO UPDATE SET passed = s.passed + EXCLUDED.passed, "
                          "other = s.other + EXCLUDED.other; ");
}

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
    // The yield kept by the server itself as checks arrive, from any
    // station and any version of this program: one row per unit
    // (yield_units) and per station, day and model (yield_summary), each
    // unit's row recomputed from its own checks whenever one of them comes,
    // in whatever order, so the figures stay exact. The views keep their
    // names and columns and read the summaries once they are filled
    // (summary_fill.done); until then they count from the rows as before.
    // The rows already there are summarized in batches, a statement each,
    // after this step (fillResultsSummaries).
    static const QStringList six = {
        QStringLiteral("CREATE TABLE yield_units (unit text PRIMARY KEY, station text NOT NULL, "
                       "unit_model text NOT NULL, day date NOT NULL, first_passed boolean NOT "
                       "NULL, last_passed boolean NOT NULL, checks integer NOT NULL)"),
        QStringLiteral("CREATE TABLE yield_summary (station text NOT NULL, day date NOT NULL, "
                       "unit_model text NOT NULL, units integer NOT NULL, first_pass integer NOT "
                       "NULL, final_pass integer NOT NULL, checks integer NOT NULL, PRIMARY KEY "
                       "(station, day, unit_model))"),
        QStringLiteral("CREATE INDEX yield_summary_by_day ON yield_summary (day)"),
        QStringLiteral("CREATE TABLE summary_fill (done boolean NOT NULL, serial text NOT NULL, "
                       "check_uuid uuid)"),
        QStringLiteral("INSERT INTO summary_fill VALUES (false, '', NULL)"),
        QStringLiteral(
            "CREATE FUNCTION summarize_unit(u text) RETURNS void LANGUAGE plpgsql AS $$ "
            "DECLARE prev yield_units%ROWTYPE; f record; l record; n integer; "
            "BEGIN "
            "INSERT INTO yield_units VALUES (u, '', '', DATE '2000-01-01', false, false, 0) "
            "ON CONFLICT (unit) DO NOTHING; "
            "SELECT * INTO prev FROM yield_units WHERE unit = u FOR UPDATE; "
            "IF left(u, 6) = 'check ' AND u ~ '^check [0-9a-f-]{36}$' THEN "
            "SELECT c.station, c.unit_model, CAST((c.started AT TIME ZONE 'UTC') + c.utc_offset * "
            "interval '1 second' AS date) AS day, c.verdict INTO f FROM checks c WHERE c.uuid = "
            "CAST(substr(u, 7) AS uuid) AND c.serial = ''; "
            "l := f; n := CASE WHEN f IS NULL THEN 0 ELSE 1 END; "
            "ELSE "
            "SELECT c.station, c.unit_model, CAST((c.started AT TIME ZONE 'UTC') + c.utc_offset * "
            "interval '1 second' AS date) AS day, c.verdict INTO f FROM checks c WHERE c.serial = "
            "u AND c.serial <> '' ORDER BY c.started, c.uuid LIMIT 1; "
            "SELECT c.verdict INTO l FROM checks c WHERE c.serial = u AND c.serial <> '' ORDER BY "
            "c.started DESC, c.uuid DESC LIMIT 1; "
            "SELECT count(*) INTO n FROM checks c WHERE c.serial = u AND c.serial <> ''; "
            "END IF; "
            "IF prev.checks > 0 THEN "
            "UPDATE yield_summary s SET units = s.units - 1, first_pass = s.first_pass - "
            "CAST(prev.first_passed AS integer), final_pass = s.final_pass - "
            "CAST(prev.last_passed AS integer), checks = s.checks - prev.checks WHERE s.station = "
            "prev.station AND s.day = prev.day AND s.unit_model = prev.unit_model; "
            "END IF; "
            "IF n = 0 THEN DELETE FROM yield_units WHERE unit = u; RETURN; END IF; "
            "UPDATE yield_units SET station = f.station, unit_model = f.unit_model, day = f.day, "
            "first_passed = f.verdict = 'pass', last_passed = l.verdict = 'pass', checks = n "
            "WHERE unit = u; "
            "INSERT INTO yield_summary AS s VALUES (f.station, f.day, f.unit_model, 1, "
            "CAST(f.verdict = 'pass' AS integer), CAST(l.verdict = 'pass' AS integer), n) "
            "ON CONFLICT (station, day, unit_model) DO UPDATE SET units = s.units + 1, "
            "first_pass = s.first_pass + EXCLUDED.first_pass, final_pass = s.final_pass + "
            "EXCLUDED.final_pass, checks = s.checks + EXCLUDED.checks; "
            "END $$"),
        QStringLiteral("CREATE FUNCTION summarize_check() RETURNS trigger LANGUAGE plpgsql AS $$ "
                       "BEGIN PERFORM summarize_unit(CASE WHEN NEW.serial <> '' THEN NEW.serial "
                       "ELSE 'check ' || CAST(NEW.uuid AS text) END); RETURN NULL; END $$"),
        QStringLiteral("CREATE TRIGGER checks_summarized AFTER INSERT ON checks FOR EACH ROW "
                       "EXECUTE FUNCTION summarize_check()"),
        // The units of these serial numbers summarized afresh, as a set: what
        // they counted is taken away, then what their checks say is added.
        QStringLiteral(
            "CREATE FUNCTION summarize_serials(keys text[]) RETURNS void LANGUAGE plpgsql AS $$ "
            "DECLARE lo text := keys[1]; hi text := keys[array_length(keys, 1)]; BEGIN "
            "INSERT INTO yield_units SELECT k, '', '', DATE '2000-01-01', false, false, 0 FROM "
            "unnest(keys) k ON CONFLICT (unit) DO NOTHING; "
            "PERFORM 1 FROM yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) ORDER BY "
            "unit FOR UPDATE; "
            "UPDATE yield_summary s SET units = s.units - g.u, first_pass = s.first_pass - g.f, "
            "final_pass = s.final_pass - g.l, checks = s.checks - g.n FROM (SELECT station, day, "
            "unit_model, count(*) AS u, count(*) FILTER (WHERE first_passed) AS f, count(*) "
            "FILTER (WHERE last_passed) AS l, sum(checks) AS n FROM yield_units WHERE unit BETWEEN "
            "lo AND hi AND unit = "
            "ANY(keys) AND checks > 0 GROUP BY station, day, unit_model) g WHERE s.station = "
            "g.station AND s.day = g.day AND s.unit_model = g.unit_model; "
            "WITH ordered AS (SELECT c.serial AS unit, c.station, c.unit_model, "
            "CAST((c.started AT TIME ZONE 'UTC') + c.utc_offset * interval '1 second' AS date) "
            "AS day, c.verdict, row_number() OVER (PARTITION BY c.serial ORDER BY c.started, "
            "c.uuid) AS r, row_number() OVER (PARTITION BY c.serial ORDER BY c.started DESC, "
            "c.uuid DESC) AS q, count(*) OVER (PARTITION BY c.serial) AS n FROM checks c WHERE "
            "c.serial BETWEEN lo AND hi AND c.serial <> ''), fresh AS (SELECT f.unit, f.station, "
            "f.unit_model, f.day, f.verdict = 'pass' AS fp, l.verdict = 'pass' AS lp, f.n FROM "
            "ordered f JOIN ordered l ON l.unit = f.unit AND l.q = 1 WHERE f.r = 1) "
            "UPDATE yield_units u SET station = fresh.station, unit_model = fresh.unit_model, "
            "day = fresh.day, first_passed = fresh.fp, last_passed = fresh.lp, checks = fresh.n "
            "FROM fresh WHERE u.unit = fresh.unit AND u.unit BETWEEN lo AND hi; "
            "DELETE FROM yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) AND checks "
            "= 0; "
            "INSERT INTO yield_summary AS s SELECT station, day, unit_model, count(*), count(*) "
            "FILTER (WHERE first_passed), count(*) FILTER (WHERE last_passed), sum(checks) FROM "
            "yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) GROUP BY station, day, "
            "unit_model ON CONFLICT "
            "(station, day, unit_model) DO UPDATE SET units = s.units + EXCLUDED.units, "
            "first_pass = s.first_pass + EXCLUDED.first_pass, final_pass = s.final_pass + "
            "EXCLUDED.final_pass, checks = s.checks + EXCLUDED.checks; "
            "END $$"),
        // One batch of the units already there, from where the last one
        // ended; the number summarized, 0 once every one is (done).
        QStringLiteral(
            "CREATE FUNCTION fill_summaries(batch integer) RETURNS integer LANGUAGE plpgsql AS $$ "
            "DECLARE p summary_fill%ROWTYPE; keys text[]; id uuid; n integer := 0; "
            "BEGIN "
            "SELECT * INTO p FROM summary_fill FOR UPDATE; "
            "IF p.done THEN RETURN 0; END IF; "
            "IF p.check_uuid IS NULL THEN "
            "SELECT array_agg(DISTINCT k ORDER BY k) INTO keys FROM (SELECT c.serial AS k FROM "
            "checks c WHERE c.serial > p.serial AND c.serial <> '' ORDER BY c.serial LIMIT "
            "batch) b; "
            "IF keys IS NOT NULL THEN PERFORM summarize_serials(keys); UPDATE summary_fill SET "
            "serial = keys[array_length(keys, 1)]; RETURN array_length(keys, 1); END IF; "
            "p.check_uuid := '00000000-0000-0000-0000-000000000000'; "
            "END IF; "
            "FOR id IN SELECT c.uuid FROM checks c WHERE c.uuid > p.check_uuid AND c.serial = '' "
            "ORDER BY c.uuid LIMIT batch LOOP PERFORM summarize_unit('check ' || CAST(id AS "
            "text)); n := n + 1; p.check_uuid := id; END LOOP; "
            "UPDATE summary_fill SET check_uuid = p.check_uuid, done = n = 0; "
            "RETURN n; "
            "END $$"),
        QStringLiteral(
            "CREATE OR REPLACE VIEW unit_yield AS SELECT unit, station, unit_model, day, "
            "first_passed, last_passed, CAST(checks AS bigint) AS checks FROM yield_units WHERE "
            "(SELECT done FROM summary_fill) UNION ALL SELECT unit, station, unit_model, day, "
            "first_passed, last_passed, checks FROM (SELECT unit, station, unit_model, day, "
            "verdict = 'pass' AS first_passed, (last_value(verdict) OVER w) = 'pass' AS "
            "last_passed, count(*) OVER w AS checks, row_number() OVER w AS n FROM check_units "
            "WHERE NOT (SELECT done FROM summary_fill) WINDOW w AS (PARTITION BY unit ORDER BY "
            "started, uuid ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)) u WHERE n = "
            "1"),
        QStringLiteral(
            "CREATE OR REPLACE VIEW yield_per_station_day AS SELECT station, day, unit_model, "
            "CAST(units AS bigint) AS units, CAST(first_pass AS bigint) AS first_pass, "
            "CAST(final_pass AS bigint) AS final_pass, CAST(checks AS bigint) AS checks, "
            "CAST(checks - units AS bigint) AS retests FROM yield_summary WHERE units > 0 AND "
            "(SELECT done FROM summary_fill) UNION ALL SELECT station, day, unit_model, "
            "count(*), count(*) FILTER (WHERE first_passed), count(*) FILTER (WHERE last_passed), "
            "CAST(sum(checks) AS bigint), CAST(sum(checks) AS bigint) - count(*) FROM unit_yield "
            "WHERE NOT (SELECT done FROM summary_fill) GROUP BY station, day, unit_model"),
        // failing_fields as before, its checks read once per branch, so that
        // a filter by day reaches the index on the bench's day
        // (fillResultsSummaries builds it).
        QStringLiteral(
            "CREATE OR REPLACE VIEW failing_fields AS SELECT e.station, e.day, e.unit_model, "
            "v.profile, v.field, CASE WHEN v.profile > 0 THEN 'Profile ' || v.profile || ', ' || "
            "v.caption ELSE v.caption END AS name, count(*) AS failures FROM check_values v JOIN "
            "(SELECT c.uuid, c.station, c.day, c.unit_model, " ENDED_CAUSE " AS cause FROM "
            "check_units c JOIN checks k ON k.uuid = c.uuid) e ON e.uuid = v.check_uuid WHERE "
            "v.verdict <> 'match' AND (e.cause = '' OR v.unit_value IS NOT NULL) GROUP BY "
            "e.station, e.day, e.unit_model, v.profile, v.field, name UNION ALL SELECT station, "
            "day, unit_model, 0, '', cause, count(*) FROM (SELECT c.uuid, c.station, c.day, "
            "c.unit_model, " ENDED_CAUSE " AS cause FROM check_units c JOIN checks k ON k.uuid = "
            "c.uuid) e WHERE cause <> '' GROUP BY station, day, unit_model, cause"),
    };
    // The failing fields and the checks per hour kept by the server too,
    // each check counted on its own (its station, the bench's day and hour,
    // its model). A check's failures change with its values, which may come
    // in a later statement: the trigger on check_values takes away what its
    // checks counted without the values just added and adds what they count
    // with them. The checks a server held before are counted in batches of
    // their UUIDs after this step (fillResultsSummaries); the triggers leave
    // a check above the batches' mark (field_fill.mark) to them. The view
    // failing_fields keeps its name and columns and reads field_summary
    // once filled; checks_per_hour reads hour_summary.
    static const QStringList seven = {
        QStringLiteral("CREATE TABLE field_fill (done boolean NOT NULL, mark uuid NOT NULL)"),
        QStringLiteral("INSERT INTO field_fill VALUES (false, "
                       "'00000000-0000-0000-0000-000000000000')"),
        QStringLiteral("CREATE TABLE field_summary (day date NOT NULL, station text NOT NULL, "
                       "unit_model text NOT NULL, profile integer NOT NULL, field text NOT NULL, "
                       "name text NOT NULL, failures integer NOT NULL, PRIMARY KEY (day, station, "
                       "unit_model, profile, field, name))"),
        QStringLiteral("CREATE TABLE hour_summary (day date NOT NULL, station text NOT NULL, "
                       "unit_model text NOT NULL, hour integer NOT NULL, passed integer NOT "
                       "NULL, other integer NOT NULL, PRIMARY KEY (day, station, unit_model, "
                       "hour))"),
        QStringLiteral("CREATE FUNCTION count_check() RETURNS trigger LANGUAGE plpgsql AS $$ "
                       "DECLARE p field_fill%ROWTYPE; BEGIN "
                       "SELECT * INTO p FROM field_fill; "
                       "IF NOT p.done THEN SELECT * INTO p FROM field_fill FOR SHARE; END IF; "
                       "IF p.done OR NEW.uuid <= p.mark THEN ") +
            countHours(QStringLiteral("c.uuid = NEW.uuid")) +
            countFailures(QStringLiteral("c.uuid = NEW.uuid"),
                          QStringLiteral("@.check_uuid = NEW.uuid")) +
            QStringLiteral("END IF; RETURN NULL; END $$"),
        QStringLiteral("CREATE FUNCTION count_values() RETURNS trigger LANGUAGE plpgsql AS $$ "
                       "DECLARE p field_fill%ROWTYPE; BEGIN "
                       "SELECT * INTO p FROM field_fill; "
                       "IF NOT p.done THEN SELECT * INTO p FROM field_fill FOR SHARE; END IF; ") +
            countFailures(QStringLiteral("c.uuid IN (SELECT check_uuid FROM added) AND (p.done "
                                         "OR c.uuid <= p.mark)"),
                          QStringLiteral("@.check_uuid IN (SELECT check_uuid FROM added)"),
                          QStringLiteral("EXISTS (SELECT 1 FROM added a WHERE a.check_uuid = "
                                         "@.check_uuid AND a.position = @.position)")) +
            QStringLiteral("RETURN NULL; END $$"),
        // Named to come before checks_summarized: a station takes field_fill
        // before the yield's rows, as the batches do.
        QStringLiteral("CREATE TRIGGER checks_counted AFTER INSERT ON checks FOR EACH ROW "
                       "EXECUTE FUNCTION count_check()"),
        QStringLiteral("CREATE TRIGGER check_values_counted AFTER INSERT ON check_values "
                       "REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION "
                       "count_values()"),
        // One batch of the checks already there, from the mark on; the number
        // counted, 0 once every one is (done).
        QStringLiteral("CREATE FUNCTION fill_field_summary(batch integer) RETURNS integer "
                       "LANGUAGE plpgsql AS $$ DECLARE p field_fill%ROWTYPE; hi uuid; "
                       "taken integer; BEGIN "
                       "SELECT * INTO p FROM field_fill FOR UPDATE; "
                       "IF p.done THEN RETURN 0; END IF; "
                       "SELECT b.uuid, b.r INTO hi, taken FROM (SELECT c.uuid, row_number() OVER "
                       "(ORDER BY c.uuid) AS r FROM checks c WHERE c.uuid > p.mark ORDER BY "
                       "c.uuid LIMIT batch) b ORDER BY b.r DESC LIMIT 1; "
                       "IF hi IS NULL THEN UPDATE field_fill SET done = true; RETURN 0; END IF; ") +
            countHours(QStringLiteral("c.uuid > p.mark AND c.uuid <= hi")) +
            countFailures(QStringLiteral("c.uuid > p.mark AND c.uuid <= hi"),
                          QStringLiteral("@.check_uuid > p.mark AND @.check_uuid <= hi")) +
            QStringLiteral("UPDATE field_fill SET mark = hi; RETURN taken; END $$"),
        // The units of a batch summarized in one pass over their checks:
        // the first and the last check of each read together, and each
        // unit's row written by its key (plans that joined the two, or the
        // units with their rows, took 13 s for 5,000 units of a year's
        // server, and met the statement timeout at ten years').
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION summarize_serials(keys text[]) RETURNS void LANGUAGE "
            "plpgsql "
            "SET plan_cache_mode = force_custom_plan SET jit = off AS $$ "
            "DECLARE lo text := keys[1]; hi text := keys[array_length(keys, 1)]; f record; BEGIN "
            "INSERT INTO yield_units SELECT k, '', '', DATE '2000-01-01', false, false, 0 FROM "
            "unnest(keys) k ON CONFLICT (unit) DO NOTHING; "
            "PERFORM 1 FROM yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) ORDER BY "
            "unit FOR UPDATE; "
            "UPDATE yield_summary s SET units = s.units - g.u, first_pass = s.first_pass - g.f, "
            "final_pass = s.final_pass - g.l, checks = s.checks - g.n FROM (SELECT station, day, "
            "unit_model, count(*) AS u, count(*) FILTER (WHERE first_passed) AS f, count(*) "
            "FILTER (WHERE last_passed) AS l, sum(checks) AS n FROM yield_units WHERE unit BETWEEN "
            "lo AND hi AND unit = "
            "ANY(keys) AND checks > 0 GROUP BY station, day, unit_model) g WHERE s.station = "
            "g.station AND s.day = g.day AND s.unit_model = g.unit_model; "
            "FOR f IN WITH ordered AS (SELECT c.serial AS unit, c.station, c.unit_model, "
            "CAST((c.started AT TIME ZONE 'UTC') + c.utc_offset * interval '1 second' AS date) "
            "AS day, c.verdict, row_number() OVER w AS r, last_value(c.verdict) OVER whole AS "
            "last_verdict, count(*) OVER whole AS n FROM checks c WHERE c.serial BETWEEN lo AND "
            "hi AND c.serial <> '' WINDOW w AS (PARTITION BY c.serial ORDER BY c.started, "
            "c.uuid), whole AS (w ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)) "
            "SELECT unit, station, unit_model, day, verdict = 'pass' AS fp, last_verdict = "
            "'pass' AS lp, n FROM ordered WHERE r = 1 LOOP "
            "UPDATE yield_units SET station = f.station, unit_model = f.unit_model, day = f.day, "
            "first_passed = f.fp, last_passed = f.lp, checks = f.n WHERE unit = f.unit; "
            "END LOOP; "
            "DELETE FROM yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) AND checks "
            "= 0; "
            "INSERT INTO yield_summary AS s SELECT station, day, unit_model, count(*), count(*) "
            "FILTER (WHERE first_passed), count(*) FILTER (WHERE last_passed), sum(checks) FROM "
            "yield_units WHERE unit BETWEEN lo AND hi AND unit = ANY(keys) GROUP BY station, day, "
            "unit_model ON CONFLICT "
            "(station, day, unit_model) DO UPDATE SET units = s.units + EXCLUDED.units, "
            "first_pass = s.first_pass + EXCLUDED.first_pass, final_pass = s.final_pass + "
            "EXCLUDED.final_pass, checks = s.checks + EXCLUDED.checks; "
            "END $$"),
        // Planned for the batch's own bounds each time (a plan made once for
        // any bounds reads every row), and never compiled: the planner's
        // cost of a batch is far above what it takes, and compiling took
        // twice as long as the batch.
        QStringLiteral("ALTER FUNCTION fill_summaries(integer) SET plan_cache_mode = "
                       "force_custom_plan SET jit = off"),
        // A batch's checks are joined with their values by hashing: the
        // planner, thinking the batch small, would otherwise read the
        // batch's checks again for each failing value.
        QStringLiteral("ALTER FUNCTION fill_field_summary(integer) SET plan_cache_mode = "
                       "force_custom_plan SET jit = off SET enable_nestloop = off"),
        QStringLiteral("ALTER FUNCTION count_check() SET jit = off"),
        QStringLiteral("ALTER FUNCTION count_values() SET jit = off"),
        QStringLiteral(
            "CREATE OR REPLACE VIEW failing_fields AS SELECT station, day, unit_model, profile, "
            "field, name, CAST(failures AS bigint) AS failures FROM field_summary WHERE failures "
            "> 0 AND (SELECT done FROM field_fill) UNION ALL SELECT e.station, e.day, "
            "e.unit_model, v.profile, v.field, CASE WHEN v.profile > 0 THEN 'Profile ' || "
            "v.profile || ', ' || v.caption ELSE v.caption END AS name, count(*) AS failures FROM "
            "check_values v JOIN (SELECT c.uuid, c.station, c.day, c.unit_model, " ENDED_CAUSE
            " AS cause FROM check_units c JOIN checks k ON k.uuid = c.uuid) e ON e.uuid = "
            "v.check_uuid WHERE v.verdict <> 'match' AND (e.cause = '' OR v.unit_value IS NOT "
            "NULL) AND NOT (SELECT done FROM field_fill) GROUP BY e.station, e.day, e.unit_model, "
            "v.profile, v.field, name UNION ALL SELECT station, day, unit_model, 0, '', cause, "
            "count(*) FROM (SELECT c.uuid, c.station, c.day, c.unit_model, " ENDED_CAUSE
            " AS cause FROM check_units c JOIN checks k ON k.uuid = c.uuid) e WHERE cause <> '' "
            "AND NOT (SELECT done FROM field_fill) GROUP BY station, day, unit_model, cause"),
        QStringLiteral(
            "CREATE VIEW checks_per_hour AS SELECT station, day, unit_model, hour, "
            "CAST(passed AS bigint) AS passed, CAST(other AS bigint) AS other FROM hour_summary "
            "WHERE (SELECT done FROM field_fill) UNION ALL SELECT c.station, " BENCH_DAY
            ", c.unit_model, " BENCH_HOUR ", count(*) FILTER (WHERE c.verdict = 'pass'), "
            "count(*) FILTER (WHERE c.verdict <> 'pass') FROM checks c WHERE NOT (SELECT done "
            "FROM field_fill) GROUP BY 1, 2, 3, 4"),
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
    case 6:
        return six;
    case 7:
        return seven;
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

bool fillResultsSummaries(QSqlDatabase db, const std::function<void(const QString &)> &progress,
                          QString *problem)
{
    QSqlQuery query(db);
    auto fail = [&] {
        if (problem)
            *problem = query.lastError().databaseText().simplified();
        return false;
    };
    if (!query.exec(QStringLiteral("SELECT s.done AND f.done FROM summary_fill s, field_fill f")) ||
        !query.next())
        return fail();
    if (query.value(0).toBool())
        return true;
    // One program at a time (two concurrent index builds would wait for each
    // other); another station finds the work under way and goes on.
    if (!query.exec(QStringLiteral("SELECT pg_try_advisory_lock(7321505)")) || !query.next())
        return fail();
    if (!query.value(0).toBool())
        return true;
    const auto unlock = qScopeGuard(
        [&db] { QSqlQuery(db).exec(QStringLiteral("SELECT pg_advisory_unlock(7321505)")); });
    qint64 estimate = 0;
    if (query.exec(QStringLiteral("SELECT CAST(reltuples AS bigint) FROM pg_class WHERE relname "
                                  "= 'checks' AND pg_table_is_visible(oid)")) &&
        query.next())
        estimate = query.value(0).toLongLong();
    // The index on the bench's day, built beside the stations' inserts (never
    // holding one up); a build cut off leaves it invalid, and it is built anew.
    if (!query.exec(QStringLiteral("SELECT i.indisvalid FROM pg_index i JOIN pg_class c ON c.oid "
                                   "= i.indexrelid WHERE c.relname = 'checks_by_day' AND "
                                   "pg_table_is_visible(c.oid)")))
        return fail();
    const bool exists = query.next();
    if (!exists || !query.value(0).toBool()) {
        QElapsedTimer clock;
        clock.start();
        if (progress && estimate > 10000)
            progress(QStringLiteral("Indexing the checks by their day, beside the stations' "
                                    "sending."));
        if ((exists && !query.exec(QStringLiteral("DROP INDEX CONCURRENTLY checks_by_day"))) ||
            !query.exec(QStringLiteral("SET statement_timeout = 0")))
            return fail();
        const bool built = query.exec(QStringLiteral(
            "CREATE INDEX CONCURRENTLY IF NOT EXISTS checks_by_day ON checks (CAST((started AT "
            "TIME ZONE 'UTC') + utc_offset * interval '1 second' AS date))"));
        const QString why = query.lastError().databaseText().simplified();
        query.exec(QStringLiteral("RESET statement_timeout"));
        if (!built) {
            if (problem)
                *problem = why;
            return false;
        }
        if (progress && estimate > 10000)
            progress(QStringLiteral("The checks indexed by their day in %1 s.")
                         .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    }
    QElapsedTimer clock;
    clock.start();
    qint64 units = 0;
    qint64 said = 0;
    bool filled = true;
    for (;;) {
        if (!query.exec(QStringLiteral("SELECT fill_summaries(5000)")) || !query.next()) {
            filled = fail();
            break;
        }
        const int batch = query.value(0).toInt();
        if (batch == 0)
            break;
        // Said only when there was something to summarize.
        if (progress && units == 0)
            progress(
                QStringLiteral("Summarizing the yield of the checks already on the server%1, a "
                               "batch at a time; stations go on sending meanwhile.")
                    .arg(estimate > 0 ? QStringLiteral(" (about %1)").arg(estimate) : QString()));
        units += batch;
        if (progress && clock.elapsed() - said >= 10000 && (said = clock.elapsed()))
            progress(QStringLiteral("Summarized %1 units in %2 s.")
                         .arg(units)
                         .arg(clock.elapsed() / 1000));
    }
    if (filled && progress && units > 0)
        progress(QStringLiteral("The yield of %1 units summarized in %2 s.")
                     .arg(units)
                     .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    if (!filled)
        return false;
    // The failing fields and the checks per hour, a batch of checks (by
    // their UUIDs) a statement.
    clock.restart();
    said = 0;
    qint64 counted = 0;
    if (!query.exec(QStringLiteral("SELECT NOT f.done AND EXISTS (SELECT 1 FROM checks c WHERE "
                                   "c.uuid > f.mark) FROM field_fill f")) ||
        !query.next())
        return fail();
    // Said before the first batch, which may wait for a station's insert.
    if (progress && query.value(0).toBool())
        progress(QStringLiteral("Summarizing the failing fields and the checks per hour of the "
                                "checks already on the server%1, a batch at a time; stations go "
                                "on sending meanwhile.")
                     .arg(estimate > 0 ? QStringLiteral(" (about %1)").arg(estimate) : QString()));
    for (;;) {
        if (!query.exec(QStringLiteral("SELECT fill_field_summary(20000)")) || !query.next())
            return fail();
        const int batch = query.value(0).toInt();
        if (batch == 0)
            break;
        counted += batch;
        if (progress && clock.elapsed() - said >= 10000 && (said = clock.elapsed()))
            progress(QStringLiteral("Summarized the fields of %1 checks in %2 s.")
                         .arg(counted)
                         .arg(clock.elapsed() / 1000));
    }
    if (progress && counted > 0)
        progress(QStringLiteral("The failing fields and hours of %1 checks summarized in %2 s.")
                     .arg(counted)
                     .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    return true;
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
