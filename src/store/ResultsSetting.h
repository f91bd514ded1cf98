#pragma once
// Where this bench sends its results: the connection string of the results
// server, kept in config.qdr, table "Results Database" (one row, ID 1,
// column Setting). A store without the table, or without the row, sends
// nowhere; the table is made when a setting is first written, as the
// "Port Map" is. A password is never stored (see ResultsServer.h).

#include <QString>

namespace ktv {

struct StoredResultsSetting
{
    QString setting; // empty: no results server
    QString problem; // why the store could not be read; empty when it was
};

StoredResultsSetting readResultsSetting(const QString &storePath);

// Writes the setting in one transaction; an empty one removes it. A setting
// that does not read (or holds a password) is refused with *problem and
// nothing is written.
bool writeResultsSetting(const QString &storePath, const QString &setting, QString *problem);

} // namespace ktv
