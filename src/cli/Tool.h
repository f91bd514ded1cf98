#pragma once
// The tool that runs one command of ktraveld-cli: its session on the unit,
// its connection (ToolConnection.cpp) and its command handlers (one file per
// group of commands), which fill its text or JSON output.
//
// The cli library: CliCommands dispatches; CliOptions and CliNames are the
// words of the command line; CliOutput prints; CliView is the session's view;
// ToolConnection and the *Commands.cpp files (unit, motion, axis, port,
// sheets) carry out the commands; Interrupt ends a run on Ctrl+C.

#include "cli/CliView.h"
#include "cli/SheetCommands.h"
#include "cli/ToolHelpers.h"
#include "protocol/Models.h"
#include "session/ChangeTracker.h"
#include "session/LineMonitor.h"
#include "session/UnitSession.h"
#include "store/Journal.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace ktv::cli {

// The options every command takes.
struct Common
{
    std::optional<int> com;
    QString device;
    std::optional<int> baud;
    QString axis = QStringLiteral("0");
    QString store;
    bool json = false;
    bool trace = false;
    Pace pace = Pace::Fixed;
};

class Tool : private UnitHost
{
  public:
    Tool(const QString &command, const QCommandLineParser &parser, const Common &common,
         const QString &storePath);
    ~Tool() override { session_->setView(nullptr); }

    UnitSession &session() { return *session_; }

    int run();

    void finish(int code);

  private:
    // UnitHost
    int connectUnit() override { return connectUnit(true); }
    UnitSession &unitSession() override { return *session_; }
    UnitDescription unitDescription() const override { return {unitModel_, revision_}; }
    void tell(const QString &text, const QString &code) override;

    // The command's handler (CliCommands.cpp).
    int dispatch();
    int sheetCommand();
    int checkCommand(); // CheckCommands.cpp

    // The connection (ToolConnection.cpp).
    int baudInForce() const;
    QString baudText() const;
    static void progress(const QString &text);
    void printOpenFailure(const QString &text) const;
    bool preparePort();
    int connectUnit(bool reportFailure);
    QJsonObject unitJson() const override;
    QString unitLine() const override;
    std::optional<int> profileOption(int *code);
    int checkProfileOfModel(int profile);

    // Read-back and the unit's commands (UnitCommands.cpp).
    void readBack(int profile);
    QStringList fieldsWithoutValue() const;
    void say(const QString &text, const QString &messageCode = code::NoAnswer);
    QJsonObject fieldsJson() const;
    QString fieldsText() const;
    int scan();
    int read();
    std::optional<QList<Assignment>> assignments(int *code);
    PanelEntries intendedValues(const QList<Assignment> &list) const;
    QStringList refusals(const QList<Assignment> &list, const PanelEntries &values);
    int set();

    // MotionCommands.cpp
    int go();
    int stop();

    // AxisCommands.cpp
    int axis();
    int find();

    // PortCommands.cpp
    int ports();
    int doctor();

    QString command_;
    const QCommandLineParser &parser_;
    Common common_;
    CliView view_;
    std::unique_ptr<UnitSession> session_;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<ChangeTracker> tracker_; // before the journal and the session go
    std::unique_ptr<LineMonitor> monitor_;
    Model model_ = Model::KTRA10;
    QString unitModel_;
    QString revision_;
    bool identifiedReadback_ = false;
    bool portFailed_ = false;
    bool journalWarned_ = false;
    QJsonObject json_;
    QString text_;
};

} // namespace ktv::cli
