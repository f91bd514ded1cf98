#pragma once
// Whether the station asks each unit's serial number before its check, and
// the pattern a number must fit: kept in config.qdr, table "Serial Number"
// (one row, ID 1, columns Ask and Pattern). It is the station's setting,
// not an operator's: every operator of the line PC, and the command-line
// tool on it, find the same one. A store without the table asks nothing;
// the table is made when the setting is first written.

#include <QString>

namespace ktv {

struct StoredSerialSetting
{
    bool ask = false;
    QString pattern; // empty: any number but an empty one
};

StoredSerialSetting readSerialSetting(const QString &storePath);
// Writes the setting in one transaction; false with *problem when the store
// cannot be written.
bool writeSerialSetting(const QString &storePath, const StoredSerialSetting &setting,
                        QString *problem);

} // namespace ktv
