#pragma once
// config.qdr, the small SQLite file that holds the COM port. Table "Main Table":
// the first record (lowest rowid) holds the COM port number in its third
// column, read and written by position. An optional table "Port Map"
// (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL) names the device that a
// COM number opens. Reading never changes the file.
//
// The layout is recorded in PRAGMA user_version: 1 is "Main Table" alone,
// 2 adds the "Port Map" table. upgradeStore() takes an older store to the
// current layout, one step per version.
//
// The store library: ConfigStore (this file); StoreLocation decides which
// config.qdr is used; Journal and JournalHistory keep and read the change
// journal; StoreConnection is the one scoped SQLite connection they share.

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

constexpr int StoreSchemaVersion = 2;

enum class StoreUpgrade {
    Current,    // already at StoreSchemaVersion (or newer): not opened for writing
    Upgraded,   // the missing steps ran in one transaction
    LeftAsItIs, // read-only or broken: unchanged, and still read as before
};

// Brings the store at path to StoreSchemaVersion. A store whose file is
// marked read-only is never written, whoever runs the program; any failure
// leaves the file as it was, with *problem saying why.
StoreUpgrade upgradeStore(const QString &path, QString *problem = nullptr);

// Writes the third field of the first record of "Main Table" in one
// transaction; on failure the file is left as it was and *problem says why.
bool writeComPort(const QString &path, int comPort, QString *problem);

// Makes COM comPort open the device: one row of "Port Map" (the table is
// made when the store has none), in one transaction; nothing else changes.
bool writePortMapEntry(const QString &path, int comPort, const QString &device, QString *problem);

// Takes COM comPort's row out of "Port Map" (none there is no failure).
bool removePortMapEntry(const QString &path, int comPort, QString *problem);

} // namespace ktv
