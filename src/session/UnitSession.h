#pragma once
// The unit session: everything the program does with a unit, apart from any
// window. It owns the shared state, the serial link, the read-back marker
// Times (raised when a run starts, set back to 0 when any run ends: a flag,
// not a count of runs) and the ProfileUpdate flag, and reaches the operator
// only through a SessionView.
//
// The flow:
// - Start-up (load): profile "1" and axis "0" are chosen, the store gives the
//   COM port and the port map, then the scan looks for a unit.
// - Scan (ScanBaudRates): the port is opened at 9600, 28800, 38400 and 115200
//   in turn; at each rate IdentifyUnit asks who is there.
// - Identify (IdentifyUnit): a lone CR, the error-code query and the model
//   query, each followed by a 0.5 s wait. A known model id selects its panel,
//   shows the version and starts the read-back; the port stays open at the
//   unit's rate.
// - Read-back (VerifyParameters): the model's plan, one query at a time, each
//   followed by 0.05 s and a read of the reply; the view shows each field.
//
// Every other operation (parameter sends, drive options, profiles, motion,
// the axis operations, the settings) is one line, a wait and usually a
// read-back. Waits are nested event loops: the operator can act meanwhile,
// and an operation started during a wait runs to its end inside it.

#include "link/SerialLink.h"
#include "link/SharedState.h"
#include "protocol/CommandFrame.h"
#include "protocol/ParameterLimits.h"
#include "session/PanelEntries.h"
#include "session/SessionView.h"
#include "session/UnitExchange.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace ktv {

class UnitSession : public QObject
{
    Q_OBJECT
  public:
    explicit UnitSession(const QString &storePath, QObject *parent = nullptr);
    ~UnitSession() override;

    SharedState state;
    SerialLink link{state};
    const QString storePath;

    // Times is raised by one when a read-back run starts; the end of any run
    // sets it back to 0 (it is not counted down). Option buttons send only
    // while it is 0 or less, so the buttons a run sets from the replies stay
    // silent.
    int times() const { return Times; }
    // A run of the session's own besides the read-back (a sheet being read)
    // keeps the option buttons silent the same way until it ends.
    void beginQuietRun() { ++Times; }
    void endQuietRun() { Times = 0; }
    // ProfileUpdate: the next read-back run copies what it reads into the
    // entry boxes (a connection and a profile change ask for it).
    bool profileUpdate() const { return ProfileUpdate; }
    void updateProfileOnNextRun(bool update = true) { ProfileUpdate = update; }
    // Every question to the unit goes through the exchange. Its reply policy
    // says how the panel's read-back run reads: the window's own timing, or
    // the exchange's rules (the command-line tool).
    UnitExchange exchange{link};

    // The view the session reports to; until one is set nothing is shown.
    void setView(SessionView *view);
    SessionView &view() { return *view_; }

    // Start-up: profile "1", axis "0", read the store, scan for a unit.
    void load();
    // Reads the COM port and the port map from the store. A store that cannot
    // be read is reported once; the program then goes on with no port.
    void LoadConfiguration();
    // Tries each rate in turn; true when a unit was identified, the port then
    // left open at the unit's rate.
    bool ScanBaudRates();
    bool IdentifyUnit(const QString &address);
    // The axis the panel talks to after an identification. The window's
    // panels start at "0"; the command-line tool stays at its --axis, so
    // that every line of a run, the read-back included, reaches one unit.
    QString axisAfterIdentify = QStringLiteral("0");

    // What answered the model query ("$") at an address. Two answers to one
    // question mean two units share the address: a collision, no model.
    struct AxisUnit
    {
        QString model;    // "VELD30", "VELD50", ...; empty on a collision
        QString revision; // "1.07"
        bool collision = false;
    };
    // The model belongs to the axis: the answer last given at this address
    // (compared as a number, "07" is 7); none when no known model answered
    // there since the connection was made.
    std::optional<AxisUnit> unitAt(const QString &address) const;
    // The unit at the axis the program talks to; asked through the exchange
    // when it is not known yet (a newly selected axis): the first sheet,
    // Compare or check there needs it.
    std::optional<AxisUnit> unitAtAxis();
    // Records the raw reply to "$" at an address (CRs included, as read).
    void noteModelAnswer(int address, const QString &rawReply);
    // Asks an address for its model through the exchange and records what
    // its proven answer says: a model, two units, or nobody.
    std::optional<AxisUnit>
    askUnitAt(const QString &address,
              UnitExchange::Tries tries = UnitExchange::Tries::AskAgainOnce);
    // The model the unit last identified named itself ("VELD50"); empty
    // before any.
    const QString &identifiedModel() const { return identifiedModel_; }
    void noteIdentifiedModel(const QString &unitModel);
    // Whether the identified unit keeps a field the panel asks for (a VELD50
    // has no resolution). True before any identification and on a panel
    // that does not serve the identified unit: the panel's plan stands.
    bool unitKeeps(Model panel, Field field) const;
    void Connect();
    // Connect to the unit at one address and rate (a unit Find Units found):
    // the identification asks that address, and the panel then talks to it.
    void ConnectTo(const QString &address, int baud);
    void Disconnect();
    // A Connect's scan or identification is under way.
    bool isScanning() const { return scanning_; }

    // Communication Settings: the dialog calls these in turn.
    void beginCommSettings();
    // OK: selected is the COM number the operator chose (none: keep the
    // current one); unchanged when it is the one the dialog opened with.
    void chooseComPort(std::optional<int> selected, bool unchanged);
    void keepCommSettings(); // Cancel
    // After the dialog: an open connection is dropped unless nothing changed.
    void endCommSettings();
    // "Use for COM n": COM n opens the device from now on, in this program
    // and in the store's "Port Map"; false (and a message) when the store
    // could not take it.
    bool assignPortDevice(int comPort, const QString &device);
    // Undoes that: COM n opens the device it opened before, or without one
    // the platform's own name (its "Port Map" row goes).
    bool restorePortDevice(int comPort, const std::optional<QString> &device);

    // The read-back run behind every panel's Verify Parameters button.
    void VerifyParameters(Model model);

    // The two ways a parameter reaches the unit: its Send button, and leaving
    // its entry box with a valid value. The entries are the panel as the
    // operator left it when clicking or leaving: entries.text(key) goes to
    // entries' profile and address, the other boxes serve the order checks.
    // A leave action runs after the focus change, so the value goes where it
    // was typed for even when a click elsewhere has changed the profile since.
    void SendButtonClicked(Model model, ParamKey key, const PanelEntries &entries);
    void EntryBoxLeft(Model model, ParamKey key, const PanelEntries &entries);
    // Writes the parameter line without a check, waits 0.5 s and, on the Send
    // path, runs the panel's read-back.
    void SendParameter(Model model, ParamKey key, EntryPath path, const PanelEntries &entries);

    // The profile the next Begin Motion runs, chosen without a line or a
    // read-back (the tool's go, once it has read that profile back).
    void useProfile(int profile);
    // The command-line tool's line: profile "1" and the axis given, the
    // store's COM port and port map with comPort and device over them, at
    // baud. The port is opened once and closed again, so that one that does
    // not open is known before anything is written: false then, with the
    // system's reason.
    bool prepareToolLine(const QString &axis, std::optional<int> comPort, const QString &device,
                         int baud, QString *reason);
    // The exchange's own rules for every question (the tool and the
    // station), at the pace given.
    void useToolExchange(Pace pace);
    // The configured COM port opened at one rate, and the line closed.
    bool openLineAt(int baud) { return link.OpenComPort(state.ComPortNumber, baud); }
    void closeLine() { link.closePort(); }
    // The line goes to a station: the port closes and no unit counts as
    // connected, whatever was before.
    void handOverLine();

    // Drive options and profiles. SetOption is false when the click was
    // refused (no unit, or a read-back running): nothing was sent.
    bool SetOption(Model model, Option option);
    void ChooseProfile(Model model, int profile);

    // Begin Motion and the two stops: written and forgotten. The stops work
    // with or without a unit: a closed port is opened with the panel's fixed
    // settings for that button, the line written, and the port closed again.
    void BeginMotion(Model model);
    void StopMotion(Model model, frame::Motion stop);
    // Hard Limit to units found on the line: to each address at the rate
    // they answered at. A port open at another rate is closed first (a
    // search left it so); one opened here is closed again.
    void StopUnitsAt(const QStringList &addresses, int baud);

    // Axis Select: the address the program talks to from now on (empty:
    // unchanged), then the VELD30 read-back.
    void selectAxis(const QString &address);
    void axisSelectDone();
    // The unit Find Units found at an address, on the line in use: it is
    // asked who it is (through the exchange), then read back as a select does.
    void selectFoundUnit(const QString &address);
    // Axis Define: asks the line which address its unit has (opening the
    // port when it is closed); empty when the port could not be opened.
    std::optional<QString> beginAxisDefine();
    // More than one unit answered the address question of beginAxisDefine.
    bool axisDefineCollision() const { return axisDefineCollision_; }
    // Empty: nothing is sent. After a collision the define is refused with
    // a message and nothing is sent; false then.
    bool defineAxis(const QString &newAddress);
    void endAxisDefine();
    // The dialog closed because the connection changed: nothing is sent, no
    // read-back; a port the dialog opened itself is closed.
    void abandonAxisDefine();

    // Shown by every action that needs a unit when none is connected.
    void ShowNotConnected();
    // A message to the operator; while the program ends nothing is shown.
    void message(MessageIcon icon, const QString &text);
    // The message after a failed opening; when the device itself refused,
    // the view also gets the diagnosis of why.
    void openFailureMessage(const QString &text);
    void showWaitCursor();
    void showNormalCursor();

    // Once the program ends: the port closes, nothing is written any more,
    // waits return at once and no message is shown.
    void setEnding();
    bool isEnding() const { return link.isEnding(); }

  private:
    void onLineLost(const QString &reason);
    // Connect's frame around one way of finding the unit.
    void connectWith(const std::function<bool()> &attempt);
    // Writes a command line; when the line does not take it, says so.
    bool writeCommand(const QString &command, const QByteArray &line);
    void closeAxisDefinePort();

    int Times = 0;
    bool ProfileUpdate = false;
    std::unique_ptr<SessionView> nullView_;
    SessionView *view_ = nullptr;
    int axisDefineWasOpen_ = 0;
    bool axisDefineOpenedPort_ = false;
    int axisDefineOpening_ = -1; // the link's opening the dialog made
    bool axisDefineCollision_ = false;
    bool axisChanged_ = false;
    std::map<int, AxisUnit> axisUnits_;
    QString identifiedModel_;
    bool scanning_ = false;
    bool identifyFault_ = false;
};

} // namespace ktv
