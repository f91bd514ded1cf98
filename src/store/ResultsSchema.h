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

#include <QSqlDatabase>
#include <QString>

namespace ktv {

constexpr int ResultsSchemaVersion = 5;

// -1 when it cannot be read.
int resultsSchemaVersion(QSqlDatabase db, QString *problem);

// Takes the database to version target, every missing step in one
// transaction under an advisory lock, so stations that start together make
// the schema once. A database already newer than target is left alone and
// refused, as is one newer than this program knows.
bool upgradeResultsSchema(QSqlDatabase db, int target, QString *problem);

} // namespace ktv
