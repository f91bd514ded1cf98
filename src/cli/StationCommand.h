#pragma once
// ktraveld-cli station: the production station without a window.

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;

namespace ktv::cli {

struct Common;

// --port, --units, --station, --operator, --results-db.
QList<QCommandLineOption> stationOptions();
// Runs the station on every line given until --units are in, or Ctrl+C
// (which lets the checks under way end); the exit code.
int runStation(const QCommandLineParser &parser, const Common &common, const QString &storePath);

} // namespace ktv::cli
