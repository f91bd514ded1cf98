#pragma once
// A check's report as a JSON document, for the bench's records and for
// scripts (report version 1):
//
//   {
//     "format": 1, "id": "0f8c...", "verdict": "fail", "problem": null,
//     "unit": {"model": "KTRA20", "revision": "1.07", "axis": 0, "baud": 9600,
//              "device": "/dev/ttyUSB0", "byId": "/dev/serial/by-id/usb-...",
//              "serialNumber": "A10K3"},
//     "serial": "SN-0042", "station": "bench-3", "operator": "Ana",
//     "sheet": {"name": "line3.json", "sha256": "9f86..."}, "loaded": true,
//     "started": "2026-12-08T14:03:05.120+01:00", "ended": "...",
//     "values": [{"profile": 1, "key": "max-speed", "caption": "Max Speed",
//                 "sheet": "5000", "unit": "4000", "verdict": "not kept",
//                 "problem": null}, ...]
//   }
//
// Texts that are empty are null; a drive setting's profile is null. "serial"
// (the unit's serial number, null when none was given) came after the first
// readers, who ignore a member they do not know.

#include "protocol/CheckReport.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace ktv {

inline constexpr int CheckReportVersion = 1;

// ISO 8601 with milliseconds and the offset from UTC: "2026-12-08T14:03:05.120+01:00".
QString checkTimeText(const QDateTime &time);

QJsonObject checkReportJson(const CheckReport &report);
QByteArray writeCheckReportJson(const CheckReport &report); // indented, ends in a newline
// The report checkReportJson wrote, read back whole; none when the object
// is not one.
std::optional<CheckReport> checkReportFromJson(const QJsonObject &json);

} // namespace ktv
