#pragma once
// The station's set-up, one for the window's Production Run and the tool's
// station command: each fills it in from what its operator gave, and both
// have it checked here before any line starts. What is refused is refused
// before Start, in the same words on the window and on the terminal: a
// serial number pattern that is no regular expression, a sheet that does
// not read or that its model's limits refuse, and a line whose port does
// not open. The form of what was given (COM numbers, options) is each
// front end's own.

#include "protocol/Outcome.h"
#include "session/CheckRun.h"
#include "session/StationRun.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

namespace ktv {

struct StationPlan
{
    struct Line
    {
        int comPort = 1;
        QString device; // what it opens
    };

    QString sheetPath;
    QString operatorName;
    QString station; // empty: the host name
    std::vector<Line> lines;
    int baud = 9600;
    Pace pace = Pace::Fixed;
    QString address = QStringLiteral("0");
    bool askSerial = false;
    QString serialPattern; // when asked; empty: any number
    // Shared by the lines; unset: the lines run until stopped.
    std::shared_ptr<std::atomic<int>> unitsLeft;
    // Devices this program holds open now and lets go as the run starts
    // (the window's own line, a stop written to a line before Start): they
    // are not opened a second time to see that they open.
    QStringList heldDevices;

    // The steps of check(), in its order, for a front end that tells them
    // apart. The pattern, when numbers are asked.
    Outcome<void> patternValid() const;
    // The sheet read, to be loaded into each unit, with the operator and
    // the station; why not (naming the file) when it does not read.
    Outcome<CheckRequest> request() const;
    // Each refusal of the sheet's model on a line of its own: "Profile 2,
    // Max Speed: ...".
    static Outcome<void> sheetAccepted(const CheckRequest &request);
    // Each line's port opened and closed again, nothing written. The first
    // that does not open: "COM 2 (/dev/ttyUSB1) does not open: Permission
    // denied", then on the lines after it why, and what to do.
    Outcome<void> portsOpen() const;

    // All of the above; then each line's set-up. What keeps the results and
    // gives the serial numbers is the front end's, line by line.
    Outcome<std::vector<StationLineSetup>> check() const;
    std::vector<StationLineSetup> setups(const CheckRequest &request) const;
};

} // namespace ktv
