#pragma once
// config.qdr, the small SQLite file that holds the COM port. Table "Main Table":
// the first record (lowest rowid) holds the COM port number in its third
// column, read and written by position. An optional table "Port Map"
// (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL) names the device that a
// COM number opens. Reading never changes the file.

#include <QMap>
#include <QString>
#include <optional>

namespace ktv {

struct StoredConfiguration
{
    std::optional<int> comPort; // empty when the store could not be read
    QMap<int, QString> portMap;
    QString problem; // why comPort is empty: a sentence naming what is wrong
};

StoredConfiguration readConfiguration(const QString &path);

// Writes the third field of the first record of "Main Table" in one
// transaction; on failure the file is left as it was and *problem says why.
bool writeComPort(const QString &path, int comPort, QString *problem);

// Makes COM comPort open the device: one row of "Port Map" (the table is
// made when the store has none), in one transaction; nothing else changes.
bool writePortMapEntry(const QString &path, int comPort, const QString &device, QString *problem);

} // namespace ktv
