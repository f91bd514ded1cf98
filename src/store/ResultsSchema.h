#pragma once
// The results server's tables, made and upgraded by numbered steps. The
// version is the one row of "schema_version"; a database without that table
// is version 0 (empty).
//
// 1: "checks" (one row per check, uuid primary key) and "check_values" (one
//    row per value), with indexes by unit model, station and time.
// 2: each value's problem text (what came instead of an answer, why it was
//    refused) and an index over the checks that did not pass.
// 3: each check's serial number ("serial", '' when none was given) and an
//    index over it.
// 4: views of the yield, for the program and for the plant's dashboards:
//    check_units (each check with its unit and the bench's day), unit_yield
//    (one row per unit), yield_per_station_day, first_pass_yield (per day)
//    and failing_fields.
// 5: failing_fields counts a check that could not finish once, under its
//    cause ("line lost", "stopped", "no answer", "refused"; field ''), not
//    as failures of its fields. Its name and columns stay.
// 6: the yield kept by the server: yield_units (one row per unit) and
//    yield_summary (per station, day and model), kept by a trigger on
//    checks, so rows any station writes count; unit_yield and
//    yield_per_station_day read them once they are filled, keeping their
//    names and columns.
// 7: the failing fields (field_summary) and the checks per hour
//    (hour_summary, view checks_per_hour) kept by the server the same way,
//    per check; failing_fields reads field_summary once it is filled,
//    keeping its name and columns.

#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace ktv {

constexpr int ResultsSchemaVersion = 7;

// -1 when it cannot be read.
int resultsSchemaVersion(QSqlDatabase db, QString *problem);

// Takes the database to version target, every missing step in one
// transaction under an advisory lock, so stations that start together make
// the schema once. A database already newer than target is left alone and
// refused, as is one newer than this program knows.
bool upgradeResultsSchema(QSqlDatabase db, int target, QString *problem);

// Summarizes the checks a server held before steps 6 and 7, a batch of units per
// statement so that no station's insert waits longer than one statement;
// progress hears what it is doing and how long it took. Resumes where it
// ended; another program already filling leaves this one nothing to do.
bool fillResultsSummaries(QSqlDatabase db, const std::function<void(const QString &)> &progress,
                          QString *problem);

} // namespace ktv
