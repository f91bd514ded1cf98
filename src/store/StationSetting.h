#pragma once
// The production station's set-up as it was last started on this PC: the
// sheet, the station's name, the COM ports of its lines, the rate, the pace
// and an example of a serial number that fits the station's pattern. Kept
// in config.qdr, table "Station" (one row, ID 1), written at each Start and
// read when Tools > Production Run opens. A store without the table holds
// none; the table is made when the set-up is first written.

#include <QString>
#include <optional>

namespace ktv {

struct StoredStationSetting
{
    QString sheet;
    QString station;
    QString ports; // "1, 2, 3"
    int baud = 9600;
    int pace = 0; // the Pace's number
    QString serialExample;
};

// None when the store holds no set-up or cannot be read.
std::optional<StoredStationSetting> readStationSetting(const QString &storePath);
// Writes the set-up in one transaction; false with *problem when the store
// cannot be written.
bool writeStationSetting(const QString &storePath, const StoredStationSetting &setting,
                         QString *problem);

} // namespace ktv
