#pragma once
// What a unit hears, written once for the tests that assert on the line: the
// identification, each model's read-back, and for a KTRA20 at address 0 every
// value of a sheet asked and written, and the sheets themselves.

#include "protocol/Models.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

namespace ktv::test::wire {

// The identification at the rate the unit answers: a CR, the error code and
// the model query.
inline const QList<QByteArray> Exchange = {"\r", "@0!\r", "@0$\r"};
// The KTRA20 panel's read-back of profile 1.
inline const QList<QByteArray> Ktra20Readback = {"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VL1\r",
                                                 "@0VU1\r", "@0VE\r",  "@0VC\r",  "@0VR\r",
                                                 "@0VD\r",  "@0!\r"};

// The queries of one read-back run at an address and profile, in the order
// the model asks them; a VELD30 is also asked for its resolution.
inline QList<QByteArray> verifyQueries(Model model, const QByteArray &axis = "0",
                                       const QByteArray &profile = "1")
{
    // Written out by letter rather than taken from the catalogue, so a wrong
    // plan there shows up here.
    static const QMap<Model, QByteArray> plans = {
        {Model::KTRA10, "ABM+CRD!"}, {Model::KTRA20, "ABMLUECRD!"}, {Model::KTRA30, "ABM+CD!"},
        {Model::VELD10, "ABMN+CR!"}, {Model::VELD20, "ABMNT+C!"},   {Model::VELD30, "ABMNT+R!"}};
    QList<QByteArray> lines;
    for (char item : plans.value(model)) {
        if (item == '!')
            lines << "@" + axis + "!\r";
        else if (QByteArray("ABMNTLU").contains(item))
            lines << "@" + axis + "V" + item + profile + "\r";
        else
            lines << "@" + axis + "V" + item + "\r";
    }
    return lines;
}

// Every value of a KTRA20 sheet, in the order a save, a compare or a check asks them.
inline const QList<QByteArray> Ktra20SheetQueries = {
    "@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VL1\r", "@0VU1\r", "@0VA2\r", "@0VB2\r",
    "@0VM2\r", "@0VL2\r", "@0VU2\r", "@0VE\r",  "@0VC\r",  "@0VR\r",  "@0VD\r"};
// The lines a load of ktra20Sheet(maxSpeed) writes.
inline QList<QByteArray> ktra20SheetWrites(const QByteArray &maxSpeed)
{
    return {"@0A1_10\r",    "@0B1_500\r",   "@0M1_" + maxSpeed + "\r",
            "@0L1_1000\r",  "@0U1_20000\r", "@0A2_110\r",
            "@0B2_600\r",   "@0M2_5100\r",  "@0L2_1100\r",
            "@0U2_20100\r", "@0E0\r",       "@0C0\r",
            "@0R8\r",       "@0D0\r"};
}
inline const QList<QByteArray> Ktra20SheetWrites = ktra20SheetWrites("4000");

// The station's presence question, and one whole check of
// ktra20Sheet(maxSpeed) after it.
inline const QByteArray StationProbe = "@0$\r";
inline QList<QByteArray> stationCheck(const QByteArray &maxSpeed)
{
    return QList<QByteArray>{StationProbe} + ktra20SheetWrites(maxSpeed) + Ktra20SheetQueries;
}
// The same at reply pace: each value written and asked back at once, then
// every value read once more.
inline QList<QByteArray> stationReplyCheck(const QByteArray &maxSpeed)
{
    const QList<QByteArray> writes = ktra20SheetWrites(maxSpeed);
    QList<QByteArray> lines{StationProbe};
    for (qsizetype i = 0; i < writes.size(); ++i)
        lines << writes[i] << Ktra20SheetQueries[i];
    return lines + Ktra20SheetQueries;
}

// The station asks once a second for as long as it waits; a run of such
// questions is one entry here, so the rest of the wire compares exactly.
inline QList<QByteArray> withProbesCollapsed(const QList<QByteArray> &lines)
{
    QList<QByteArray> out;
    for (const QByteArray &line : lines) {
        if (line != StationProbe || out.isEmpty() || out.last() != StationProbe)
            out << line;
    }
    return out;
}

// A KTRA20 sheet at its factory values but profile 1's max speed; another
// model's name makes it a sheet that model refuses.
inline QByteArray ktra20Sheet(const QString &maxSpeed,
                              const QString &model = QStringLiteral("KTRA20"))
{
    return QStringLiteral(R"({
  "format": "ktraveld-sheet", "version": 1, "model": "%2", "revision": "1.07",
  "axis": "0", "saved": "2026-12-08T03:10:00Z",
  "profiles": [
    {"profile": 1, "parameters": {"accel": "10", "base-speed": "500", "max-speed": "%1",
                                  "lower-analog": "1000", "upper-analog": "20000"}},
    {"profile": 2, "parameters": {"accel": "110", "base-speed": "600", "max-speed": "5100",
                                  "lower-analog": "1100", "upper-analog": "20100"}}
  ],
  "options": {"analog-speed": "off", "reduced-current": "off", "resolution": "8",
              "ramp-down": "no"}
}
)")
        .arg(maxSpeed, model)
        .toUtf8();
}

// A sheet a KTRA30 saved.
inline const QByteArray Ktra30Sheet = R"({
  "format": "ktraveld-sheet", "version": 1, "model": "KTRA30", "revision": "1.07",
  "axis": "0", "saved": "2026-12-08T03:10:00Z",
  "profiles": [
    {"profile": 1, "parameters": {"accel": "10000", "base-speed": "500", "max-speed": "5000"}},
    {"profile": 2, "parameters": {"accel": "10100", "base-speed": "600", "max-speed": "5100"}}
  ],
  "options": {"direction": "cw", "reduced-current": "off", "ramp-down": "no"}
}
)";

} // namespace ktv::test::wire
