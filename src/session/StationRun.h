#pragma once
// The production station on one line: one unit after another checked
// against one sheet, apart from any window. The run goes round
//
//   waiting for a unit -> identifying -> checking -> verdict
//     -> waiting for removal -> waiting for a unit ...
//
// - Presence is the model query at the axis address, asked no more than
//   once a second and given a second to answer: a unit 0.9 s late is there.
//   Its answer is the unit's identification (model and revision), asked
//   once.
// - A unit is gone once a question went unanswered (a port that does not
//   open answers nothing), so a unit taken off is noticed within 2 s. When
//   the line answers again, the station finds out whether it is the same
//   unit: another model is a new unit (refused); with serial numbers asked
//   the number is asked again, and another number is a new unit; otherwise
//   every value of the sheet is read once, at reply pace, and a unit that
//   no longer holds the sheet is a new unit, checked and counted once. A
//   unit that holds it is the one checked before (a loose contact), and is
//   not checked again. Only a unit silent for a few seconds at most is
//   looked at so: one that answers after longer, or on a port that had to
//   be opened again (its adapter went), is a new unit.
// - The check is CheckRun's, as `ktraveld-cli check --load` runs it. A line
//   lost during it fails the unit ("line lost after 5 of 14 values") and the
//   result is kept like any other. The time of a unit is its check's.
// - Another model, or two units answering at the address, is refused: a
//   REFUSED result, nothing written, nothing kept.
// - With serial numbers asked, a unit present is asked its number before its
//   check ("Scan the serial number"), while its presence is still asked once
//   a second: a unit that goes before its number comes is forgotten. A
//   number that does not fit the station's pattern is refused and asked
//   again; nothing is checked with it. No number more to come (the end of
//   the tool's input) ends the run between units.
// - No message box ever holds the run: the session's messages (a lost line)
//   go to the station's view as a line problem. A port that does not open,
//   or went, is tried again at the next question.
// - Stop ends the run between units: a check under way runs to its end, so
//   a write is never cut in half.
//
// The run waits in nested event loops, as every session operation does. Run
// it on a thread of its own per line (StationLine) so that no line ever
// waits inside another line's wait.

#include "protocol/CheckReport.h"
#include "session/CheckRun.h"
#include "session/UnitExchange.h"
#include "session/UnitFinder.h"

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace ktv {

class UnitSession;

// What a station reports. A StationRun calls it on the run's own thread;
// StationLine hands each call on to the thread its view lives on.
class StationView
{
  public:
    virtual ~StationView() = default;
    // "Waiting for a unit", "Checking the KTRA20 at address 0", "Remove the
    // unit", "Run stopped".
    virtual void showStationState(const QString &text) = 0;
    // During a check: "Checking the KTRA20: Max Speed (3/14)".
    virtual void showCheckProgress(const QString &text) = 0;
    // What is wrong with the line ("COM 2 (/dev/ttyUSB1) does not open: ...",
    // "The connection to the unit was lost (...)"); empty once it works again.
    virtual void showLineProblem(const QString &text) = 0;
    // A unit's result, and where keeping it went wrong (empty: it was kept).
    // Its verdict stands while the unit is on the line.
    virtual void showResult(const CheckReport &report, const QString &keptProblem) = 0;
    // The unit on the line is to be given its serial number; refusal: why
    // the last one given was refused, else empty. Until the next state.
    virtual void askSerialNumber(const QString &refusal) = 0;
    // The unit of the last result has gone.
    virtual void showUnitGone() = 0;
    // The run has ended (Stop, the units asked for, or the program ends).
    virtual void showRunEnded() = 0;
};

// Where a line's serial numbers come from: the serial box of its panel (a
// barcode scanner types the number and presses Enter), or the tool's
// standard input. Called on the line's thread; the number is taken as it
// comes, so the line keeps asking its unit's presence meanwhile.
class SerialNumberSource
{
  public:
    enum class Answer { Waiting, Given, NoMore };
    virtual ~SerialNumberSource() = default;
    // The unit on the line wants its number (again, after a refusal).
    virtual void ask() = 0;
    // What came since ask(): Given with *serial once, else Waiting; NoMore
    // when no number will ever come.
    virtual Answer take(QString *serial) = 0;
    // The unit went before its number came: the question is withdrawn.
    virtual void cancel() = 0;
    // The number taken fits: the unit is checked with it. (A number that
    // does not fit is followed by its refusal and ask() again.)
    virtual void accepted() {}
};

// Why a station's serial number pattern cannot be used (not a regular
// expression), else empty.
QString serialPatternProblem(const QString &pattern);
// Why a serial number is refused, else empty: the whole number must fit the
// pattern ("SN-1234x" does not fit ^SN-\d{4}$ nor SN-\d{4}); without a
// pattern any number but an empty one fits.
QString serialNumberRefusal(const QString &serial, const QString &pattern);

// What one line of a station is to do.
struct StationLineSetup
{
    int comPort = 1; // the number the line is known by
    QString device;  // what it opens; empty: the platform's name for comPort
    int baud = 9600;
    QString address = QStringLiteral("0");
    // Fixed: the window's waits; Reply: each wait ends with the unit's reply.
    Pace pace = Pace::Fixed;
    CheckRequest request; // the sheet (loaded), operator and station
    // Keeps a result (journal, results server), on the line's thread; the
    // problem when it could not, else empty. Unset: nothing is kept.
    std::function<QString(const CheckReport &)> keep;
    // Shared by the lines of one station when a number of units is asked
    // for: each unit takes one before its check; none left ends the line.
    std::shared_ptr<std::atomic<int>> unitsLeft;
    // Asks each unit's serial number before its check; unset: none asked.
    std::shared_ptr<SerialNumberSource> serialNumbers;
    QString serialPattern; // valid (serialPatternProblem); empty: any number
};

// "COM 2 (/dev/ttyUSB1)"
QString stationLineName(int comPort, const QString &device);
// "PASS", "FAIL", "REFUSED" (an error is a FAIL on the station).
QString stationVerdictWord(const CheckReport &report);

class StationRun
{
  public:
    static constexpr double AskEverySeconds = 1.0;
    static constexpr double AnswerWithinSeconds = 1.0;
    static constexpr int MissesUntilGone = 1;
    // A unit answering again within this long of its last answer may be the
    // one checked before; after longer it is a new unit.
    static constexpr double SameUnitWithinSeconds = 6.0;

    StationRun(UnitSession &session, StationLineSetup setup, StationView &view);
    ~StationRun();

    // Runs until stopped or the program ends.
    void run();
    // Ends the run between units. Safe from any thread.
    void stop() { stopAsked_ = true; }

  private:
    struct Answer
    {
        enum Kind { None, Unit, Collision };
        Kind kind = None;
        FoundUnit unit;
    };
    // The station's one question to the unit: the model query at the
    // address, with its second to answer. Whatever asks the unit on this
    // line asks it here.
    Answer askModel();
    // The next question, no sooner than a second after the last.
    Answer askInTurn();
    bool openLine();
    bool pause(double seconds); // false once the run is to end
    bool ending() const;
    std::optional<Answer> waitForUnit();
    bool waitForRemoval(); // true: the unit has gone
    // The unit of the last result, remembered after it went silent.
    struct LastUnit
    {
        QString model;
        QString serial;
        QElapsedTimer lastAnswer;
    };
    // Whether the unit answering now is the last one, back after a silence.
    bool isLastUnit(const FoundUnit &unit, const QString &serial);
    // The number of the unit on the line; none when it went first or the
    // run ends.
    std::optional<QString> askSerialNumber();
    CheckReport check(const FoundUnit &unit, const QString &serial);
    CheckReport refusedCollision() const;

    UnitSession &session_;
    StationLineSetup setup_;
    StationView &view_;
    class SessionRecorder;
    std::unique_ptr<SessionRecorder> sessionView_;
    std::atomic<bool> stopAsked_{false};
    QElapsedTimer lastAsked_;
    QElapsedTimer lastAnswered_;
    std::optional<LastUnit> last_;
    bool reopened_ = false; // the port was opened (again) since the last unit's check
    QString openedDevice_;  // what the device's name led to when the port opened
    QString lineProblem_;
};

} // namespace ktv
