#include "cli/CliCommands.h"

#include "cli/CliNames.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/CliView.h"
#include "cli/Interrupt.h"
#include "cli/SheetCommands.h"
#include "link/PortProbe.h"
#include "protocol/ParameterLimits.h"
#include "protocol/ParameterSheet.h"
#include "protocol/SettingsText.h"
#include "protocol/UnitCatalogue.h"
#include "session/ChangeTracker.h"
#include "session/LineMonitor.h"
#include "session/OptionWrite.h"
#include "session/SessionTexts.h"
#include "session/UnitFinder.h"
#include "session/UnitSession.h"
#include "store/ConfigStore.h"
#include "store/Journal.h"
#include "store/StoreLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>

#include <memory>

namespace ktv::cli {

namespace {

struct Common
{
    std::optional<int> com;
    QString device;
    std::optional<int> baud;
    QString axis = QStringLiteral("0");
    QString store;
    bool json = false;
    bool trace = false;
};

std::optional<int> positiveNumber(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1)
        return std::nullopt;
    return value;
}

bool isAxisAddress(const QString &text)
{
    if (text.isEmpty() || text.size() > 2)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// An address as the documents give it: a number, or null for a reply that is none.
QJsonValue addressJson(const QString &text)
{
    const QString address = text.trimmed();
    return isAxisAddress(address) ? QJsonValue(address.toInt()) : QJsonValue();
}

// The panel of a model as scan reports it, in any case: a VELD40 or VELD50
// is worked from the VELD30 panel.
std::optional<Model> modelNamed(const QString &name)
{
    return panelOfUnitModel(name.toUpper());
}

// One NAME=VALUE of "set".
struct Assignment
{
    QString name;
    QString value;
    std::optional<ParamKey> key; // a parameter
    Field field = Field::Accel;  // a parameter's or an option's read-back field
    std::optional<Option> option;
};

// The commands that change the unit; their lines go to the change journal.
bool writesToUnit(const QString &command)
{
    return command == QLatin1String("set") || command == QLatin1String("load") ||
           command == QLatin1String("axis");
}

class Tool : private UnitHost
{
  public:
    Tool(const QString &command, const QCommandLineParser &parser, const Common &common,
         const QString &storePath)
        : command_(command), parser_(parser), common_(common),
          session_(std::make_unique<UnitSession>(storePath))
    {
        session_->setView(&view_);
        // A bench scripts against what this tool says: a reply counts only
        // when it is whole and valid for its query.
        session_->wholeReplies = true;
        if (writesToUnit(command)) {
            journal_ = std::make_unique<Journal>(Journal::defaultPath());
            tracker_ = std::make_unique<ChangeTracker>(*session_, journal_.get());
            // Once per run; the work goes on without the journal.
            QObject::connect(tracker_.get(), &ChangeTracker::journalWarning,
                             [this](const QString &text) { tell(text, code::JournalWarning); });
        }
        if (common.trace) {
            // The window's line monitor, printed line by line as it records.
            monitor_ = std::make_unique<LineMonitor>(session_->link);
            QObject::connect(monitor_.get(), &LineMonitor::recorded, [](const MonitorLine &line) {
                printProgress(LineMonitor::lineText(line));
            });
        }
        // The lone CR starts every identification: a new rate is being tried.
        QObject::connect(&session_->link, &SerialLink::lineWritten, [this](const QByteArray &b) {
            if (b == "\r")
                progress(QStringLiteral("trying %1 baud ...").arg(baudInForce()));
        });
    }
    ~Tool() override { session_->setView(nullptr); }

    UnitSession &session() { return *session_; }

    int run()
    {
        int code = ExitUsage;
        if (command_ == QLatin1String("ports"))
            code = ports();
        else if (command_ == QLatin1String("scan"))
            code = scan();
        else if (command_ == QLatin1String("read"))
            code = read();
        else if (command_ == QLatin1String("set"))
            code = set();
        else if (command_ == QLatin1String("go"))
            code = go();
        else if (command_ == QLatin1String("stop"))
            code = stop();
        else if (command_ == QLatin1String("axis"))
            code = axis();
        else if (command_ == QLatin1String("find"))
            code = find();
        else
            code = sheetCommand();
        if (session_->isEnding())
            code = ExitInterrupted;
        if (tracker_)
            tracker_->flush();
        session_->link.closePort();
        return code;
    }

    // Human output, or the JSON document once the command has ended.
    void finish(int code)
    {
        if (common_.json)
            printDocument(command_, code, json_);
        else
            printOut(text_);
    }

  private:
    // UnitHost
    int connectUnit() override { return connectUnit(true); }
    UnitSession &unitSession() override { return *session_; }
    UnitDescription unitDescription() const override { return {unitModel_, revision_}; }
    void tell(const QString &text, const QString &code) override
    {
        view_.messages << text;
        printError(text, code);
    }

    int sheetCommand()
    {
        SheetCommands sheets(*this, text_, json_);
        if (command_ == QLatin1String("history"))
            return sheets.history(Journal::defaultPath(), parser_.value(QStringLiteral("unit")));
        const QStringList words = parser_.positionalArguments().mid(1);
        if (words.size() != 1)
            return usageError(QStringLiteral("%1 takes one FILE").arg(command_), command_);
        if (command_ == QLatin1String("save"))
            return sheets.save(words[0]);
        if (command_ == QLatin1String("diff"))
            return sheets.diff(words[0]);
        return sheets.load(words[0], parser_.isSet(QStringLiteral("dry-run")), common_.axis);
    }

    int baudInForce() const
    {
        return session_->link.settings().section(QLatin1Char(','), 0, 0).toInt();
    }

    static void progress(const QString &text)
    {
        if (stderrIsTerminal())
            printProgress(text);
    }

    // A port that did not open, and when the device itself refused, why.
    void printOpenFailure(const QString &text) const
    {
        printError(text, code::PortOpenFailed);
        if (const auto &failure = session_->link.lastOpenFailure())
            printError(diagnoseOpenFailure(failure->device, failure->systemError),
                       code::PortDiagnosis);
    }

    // The store's COM port and Port Map, then --com and --device over them;
    // then a first open, so that a port that does not open is reported with
    // the system's reason before anything else happens.
    bool preparePort()
    {
        UnitSession &s = *session_;
        s.state.SelectedProfile = QStringLiteral("1");
        s.state.AxisAddress = common_.axis;
        s.LoadConfiguration();
        if (common_.com)
            s.state.ComPortNumber = *common_.com;
        if (!common_.device.isEmpty()) {
            if (s.state.ComPortNumber < 1)
                s.state.ComPortNumber = 1;
            QMap<int, QString> map = readConfiguration(s.storePath).portMap;
            map[s.state.ComPortNumber] = common_.device;
            s.link.setPortMap(map);
        }
        s.link.setCommPort(s.state.ComPortNumber);
        s.link.setSettings(settingsTextForBaud(common_.baud.value_or(ScanRates.front())));
        QString reason;
        if (!s.link.openPort(&reason)) {
            const QString device = s.link.deviceForPort(s.state.ComPortNumber);
            portFailed_ = true;
            printOpenFailure(SerialLink::openFailedText(s.state.ComPortNumber) +
                             QStringLiteral(" (") +
                             (device.isEmpty() ? QString() : device + QStringLiteral(": ")) +
                             reason + QStringLiteral(")"));
            return false;
        }
        s.link.closePort();
        return true;
    }

    // The scan (or, with --baud, the identification at that rate alone), as
    // the window connects at start-up.
    int connectUnit(bool reportFailure)
    {
        UnitSession &s = *session_;
        if (!preparePort())
            return ExitNoUnit;
        // Every line of the run goes to --axis, the identification's
        // read-back included.
        s.axisAfterIdentify = common_.axis;
        bool found = false;
        if (common_.baud) {
            if (!s.link.OpenComPort(s.state.ComPortNumber, *common_.baud)) {
                printOpenFailure(s.state.ConnectErrorText);
                return ExitNoUnit;
            }
            found = s.IdentifyUnit(s.state.AxisAddress);
        } else {
            found = s.ScanBaudRates();
        }
        if (s.isEnding())
            return ExitInterrupted;
        if (!found || !view_.panel) {
            s.link.closePort();
            if (reportFailure)
                s.message(MessageIcon::Critical, didNotConnectText());
            return ExitNoUnit;
        }
        model_ = *view_.panel;
        identifiedReadback_ = true;
        const QString version = view_.version;
        unitModel_ = version.section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(','));
        revision_ = version.section(QStringLiteral("Revision "), 1);
        return ExitDone;
    }

    QJsonObject unitJson() const override
    {
        return {{QStringLiteral("model"), unitModel_},
                {QStringLiteral("panel"), modelId(model_)},
                {QStringLiteral("revision"), revision_},
                {QStringLiteral("baud"), baudInForce()},
                {QStringLiteral("axis"), session_->state.AxisAddress.toInt()},
                {QStringLiteral("com"), session_->state.ComPortNumber},
                {QStringLiteral("device"),
                 session_->link.deviceForPort(session_->state.ComPortNumber)}};
    }

    QString unitLine() const override
    {
        return QStringLiteral("%1, revision %2, %3 baud, axis %4, %5 (COM %6)\n")
            .arg(unitModel_, revision_)
            .arg(baudInForce())
            .arg(session_->state.AxisAddress,
                 session_->link.deviceForPort(session_->state.ComPortNumber))
            .arg(session_->state.ComPortNumber);
    }

    // --profile: 1 to the number of profiles the model keeps.
    std::optional<int> profileOption(int *code)
    {
        *code = ExitDone;
        if (!parser_.isSet(QStringLiteral("profile")))
            return 1;
        const auto profile = positiveNumber(parser_.value(QStringLiteral("profile")));
        if (!profile) {
            *code = usageError(QStringLiteral("--profile takes a number from 1"), command_);
            return std::nullopt;
        }
        return profile;
    }

    int checkProfileOfModel(int profile)
    {
        const int count = unitFacts(model_).profileCount;
        if (profile <= count)
            return ExitDone;
        printError(QStringLiteral("The %1 keeps profiles 1 to %2").arg(modelId(model_)).arg(count),
                   code::ValueRefused);
        return ExitUsage;
    }

    // The read-back of one profile; the identification's own run serves for
    // profile 1.
    void readBack(int profile)
    {
        if (profile == 1 && identifiedReadback_ && view_.readbackProfile == QLatin1String("1")) {
            identifiedReadback_ = false;
            return;
        }
        identifiedReadback_ = false;
        // A run that does not start (the line is gone) must not leave the
        // last run's values standing for this one.
        view_.fields.clear();
        session_->ChooseProfile(model_, profile);
    }

    // The fields of the model's read-back that the last run left without a
    // value: not answered, not readable, or not reached.
    QStringList fieldsWithoutValue() const
    {
        QStringList missing;
        for (Field field : unitFacts(model_).plan) {
            if (field == Field::Resolution && model_ == Model::VELD30 &&
                session_->state.IdentifiedVELD50)
                continue;
            const auto shown =
                std::find_if(view_.fields.begin(), view_.fields.end(),
                             [field](const CliView::ShownField &f) { return f.field == field; });
            if (shown == view_.fields.end() || !shown->reply)
                missing << fieldCaption(field);
        }
        return missing;
    }

    void say(const QString &text, const QString &messageCode = code::NoAnswer)
    {
        view_.messages << text;
        printError(text, messageCode);
    }

    // The documents spell option words as sheets do ("cw", "on", "yes").
    QJsonObject fieldsJson() const
    {
        QJsonObject fields;
        for (const CliView::ShownField &shown : view_.fields)
            fields[fieldKey(shown.field)] =
                shown.reply ? QJsonValue(shownValue(model_, shown.field, *shown.reply).toLower())
                            : QJsonValue(QJsonValue::Null);
        return fields;
    }

    QString fieldsText() const
    {
        QList<QStringList> rows;
        for (const CliView::ShownField &shown : view_.fields)
            rows << QStringList{QStringLiteral("  ") + fieldCaption(shown.field),
                                shown.reply ? shownValue(model_, shown.field, *shown.reply)
                                : shown.unreadable.isEmpty() ? QStringLiteral("(no answer)")
                                                             : replyProblemText(shown.unreadable)};
        return table(rows);
    }

    int scan()
    {
        const int code = connectUnit();
        if (code != ExitDone)
            return code;
        json_ = unitJson();
        json_[QStringLiteral("version")] = view_.version;
        text_ = table({{QStringLiteral("model"), unitModel_},
                       {QStringLiteral("panel"), modelId(model_)},
                       {QStringLiteral("revision"), revision_},
                       {QStringLiteral("baud"), QString::number(baudInForce())},
                       {QStringLiteral("axis"), session_->state.AxisAddress},
                       {QStringLiteral("device"),
                        QStringLiteral("%1 (COM %2)")
                            .arg(session_->link.deviceForPort(session_->state.ComPortNumber))
                            .arg(session_->state.ComPortNumber)}});
        return ExitDone;
    }

    int read()
    {
        int code = ExitDone;
        const auto profile = profileOption(&code);
        if (!profile)
            return code;
        const bool all = parser_.isSet(QStringLiteral("all-profiles"));
        if (all && parser_.isSet(QStringLiteral("profile")))
            return usageError(QStringLiteral("--profile and --all-profiles exclude each other"),
                              command_);
        if ((code = connectUnit()) != ExitDone)
            return code;
        if ((code = checkProfileOfModel(*profile)) != ExitDone)
            return code;
        const int first = all ? 1 : *profile;
        const int last = all ? unitFacts(model_).profileCount : *profile;
        json_ = unitJson();
        QJsonArray profiles;
        text_ = unitLine();
        code = ExitDone;
        for (int p = first; p <= last; ++p) {
            readBack(p);
            if (session_->isEnding())
                return ExitInterrupted;
            profiles.append(QJsonObject{{QStringLiteral("profile"), p},
                                        {QStringLiteral("fields"), fieldsJson()}});
            text_ += QStringLiteral("Profile %1\n").arg(p) + fieldsText();
            // A field without its value is a reading that failed, never a pass.
            const QStringList missing = fieldsWithoutValue();
            if (!missing.isEmpty()) {
                say(valuesNotReadText(QStringLiteral("Profile %1").arg(p), missing));
                code = ExitNoUnit;
            }
            if (!session_->state.UnitConnected)
                break;
        }
        json_[QStringLiteral("profiles")] = profiles;
        return code;
    }

    // NAME=VALUE words, checked for what needs no unit: known names, option
    // values, no name twice.
    std::optional<QList<Assignment>> assignments(int *code)
    {
        QList<Assignment> list;
        const QStringList words = parser_.positionalArguments().mid(1);
        if (words.isEmpty()) {
            *code = usageError(QStringLiteral("set needs at least one NAME=VALUE"), command_);
            return std::nullopt;
        }
        for (const QString &word : words) {
            const qsizetype eq = word.indexOf(QLatin1Char('='));
            Assignment a;
            a.name = word.left(eq);
            a.value = eq < 0 ? QString() : word.mid(eq + 1);
            if (eq < 0) {
                *code = usageError(QStringLiteral("%1 is not NAME=VALUE").arg(word), command_);
                return std::nullopt;
            }
            if ((a.key = paramKeyNamed(a.name))) {
                a.field = fieldOf(*a.key);
            } else if (const auto field = optionFieldNamed(a.name)) {
                a.field = *field;
                a.option = optionFor(*field, a.value);
                if (!a.option) {
                    *code = usageError(
                        QStringLiteral("%1 takes %2, not %3")
                            .arg(a.name, optionValues(*field).join(QLatin1Char('|')), a.value),
                        command_);
                    return std::nullopt;
                }
            } else {
                *code = usageError(
                    QStringLiteral("unknown setting %1 (one of %2)")
                        .arg(a.name, (parameterNames() + optionNames()).join(QStringLiteral(", "))),
                    command_);
                return std::nullopt;
            }
            for (const Assignment &earlier : list)
                if (earlier.name == a.name) {
                    *code = usageError(QStringLiteral("%1 is given twice").arg(a.name), command_);
                    return std::nullopt;
                }
            list.append(a);
        }
        return list;
    }

    // The window's checks, in its order, with the other boxes taken from the
    // command line or else from what the unit holds.
    QStringList refusals(const QList<Assignment> &list)
    {
        QStringList texts;
        const UnitFacts &facts = unitFacts(model_);
        const std::vector<ParamKey> keys = parameterKeys(model_);
        for (const Assignment &a : list) {
            if (a.option) {
                const bool offered =
                    std::find(facts.options.begin(), facts.options.end(), *a.option) !=
                        facts.options.end() &&
                    !(a.field == Field::Resolution && session_->state.IdentifiedVELD50);
                if (!offered)
                    texts << QStringLiteral("The %1 has no %2 setting")
                                 .arg(unitModel_, fieldCaption(a.field).toLower());
                continue;
            }
            if (std::find(keys.begin(), keys.end(), *a.key) == keys.end()) {
                texts << QStringLiteral("The %1 has no %2")
                             .arg(unitModel_, fieldCaption(a.field).toLower());
                continue;
            }
            auto check = CheckParameterText(model_, *a.key, a.value);
            if (!check)
                check = CheckParameterRange(model_, *a.key, EntryPath::Send, a.value);
            if (!check)
                check = CheckParameterOrder(model_, *a.key, [this](ParamKey other) {
                    return view_.boxText(model_, other);
                });
            if (check)
                texts << *check;
        }
        return texts;
    }

    int set()
    {
        int code = ExitDone;
        const auto profile = profileOption(&code);
        if (!profile)
            return code;
        const auto list = assignments(&code);
        if (!list)
            return code;
        if ((code = connectUnit()) != ExitDone)
            return code;
        if ((code = checkProfileOfModel(*profile)) != ExitDone)
            return code;
        readBack(*profile);
        if (session_->isEnding())
            return ExitInterrupted;
        // The order checks need what the unit holds: without every value
        // nothing is written.
        if (const QStringList missing = fieldsWithoutValue(); !missing.isEmpty()) {
            say(valuesNotReadText(QStringLiteral("Profile %1").arg(*profile), missing));
            say(nothingWrittenText(), code::Notice);
            return ExitNoUnit;
        }
        for (const Assignment &a : *list)
            if (a.key)
                view_.given[*a.key] = a.value;
        const QStringList refused = refusals(*list);
        if (!refused.isEmpty()) {
            for (const QString &text : refused) {
                view_.messages << text;
                printError(text, code::ValueRefused);
            }
            return ExitUsage;
        }

        // Each value with its line and wait: a parameter as leaving its box
        // sends it (no read-back of its own), an option as its button does.
        int linesWritten = 0;
        QObject counting; // ends the count with this function, however it returns
        QObject::connect(&session_->link, &SerialLink::lineWritten, &counting,
                         [&linesWritten] { ++linesWritten; });
        QStringList written;
        QStringList notWritten;
        for (const Assignment &a : *list) {
            const int before = linesWritten;
            if (session_->state.UnitConnected) {
                if (a.key)
                    session_->SendParameter(model_, *a.key, EntryPath::Leave);
                else
                    writeOption(*session_, *a.option);
            }
            if (session_->isEnding())
                return ExitInterrupted;
            (linesWritten > before ? written : notWritten) << a.name;
        }
        if (!session_->state.UnitConnected) {
            say(lineLostWritingText(written, notWritten), code::Error);
            return ExitNoUnit;
        }
        // What the unit holds comes from a read-back after the writes, never
        // from the one before them.
        view_.fields.clear();
        session_->VerifyParameters(model_);
        if (session_->isEnding())
            return ExitInterrupted;
        const QStringList missing = fieldsWithoutValue();

        QJsonArray settings;
        QList<QStringList> rows{
            {QStringLiteral("NAME"), QStringLiteral("SENT"), QStringLiteral("HELD")}};
        code = ExitDone;
        for (const Assignment &a : *list) {
            std::optional<QString> held;
            for (const CliView::ShownField &shown : view_.fields)
                if (shown.field == a.field && shown.reply)
                    held = shownValue(model_, a.field, *shown.reply);
            const QString sent = a.option ? shownFor(*a.option) : a.value;
            const bool kept =
                held && (a.option ? *held == sent
                                  : (held->trimmed() == sent.trimmed() ||
                                     ParseLeadingNumber(*held) == ParseLeadingNumber(sent)));
            if (!kept) {
                code = held ? ExitNotHeld : ExitNoUnit;
                const QString text = held ? QStringLiteral("The unit holds %1 for %2, not %3")
                                                .arg(*held, fieldCaption(a.field), sent)
                                          : QStringLiteral("No answer from the unit for %1")
                                                .arg(fieldCaption(a.field));
                view_.messages << text;
                printError(text, held ? code::ValueNotHeld : code::NoAnswer);
            }
            settings.append(
                QJsonObject{{QStringLiteral("name"), a.name},
                            {QStringLiteral("sent"), sent.toLower()},
                            {QStringLiteral("held"),
                             held ? QJsonValue(held->toLower()) : QJsonValue(QJsonValue::Null)},
                            {QStringLiteral("kept"), kept}});
            rows << QStringList{a.name, sent, held.value_or(QStringLiteral("(no answer)"))};
        }
        json_ = unitJson();
        json_[QStringLiteral("profile")] = *profile;
        json_[QStringLiteral("settings")] = settings;
        text_ = unitLine() + table(rows);
        // Any value not read back after the writes fails the set, whatever the others say.
        if (!missing.isEmpty()) {
            say(valuesNotReadText(QStringLiteral("After the writes, profile %1").arg(*profile),
                                  missing));
            code = ExitNoUnit;
        }
        return code;
    }

    int go()
    {
        int code = ExitDone;
        const auto profile = profileOption(&code);
        if (!profile)
            return code;
        if ((code = connectUnit()) != ExitDone)
            return code;
        if ((code = checkProfileOfModel(*profile)) != ExitDone)
            return code;
        session_->state.SelectedProfile = QString::number(*profile);
        session_->BeginMotion(model_);
        json_ = unitJson();
        json_[QStringLiteral("profile")] = *profile;
        text_ = unitLine() + QStringLiteral("Motion begun with profile %1\n").arg(*profile);
        return ExitDone;
    }

    // A stop opens a closed port with the panel's fixed settings, sends and
    // closes: no scan, so it goes out at once.
    int stop()
    {
        const bool soft = parser_.isSet(QStringLiteral("soft"));
        if (soft == parser_.isSet(QStringLiteral("hard")))
            return usageError(QStringLiteral("give one of --soft and --hard"), command_);
        std::optional<Model> model;
        QString modelName;
        if (parser_.isSet(QStringLiteral("model"))) {
            // Every model a scan reports: a VELD40 or VELD50 stops with the
            // VELD30 panel's settings.
            modelName = parser_.value(QStringLiteral("model")).toUpper();
            model = modelNamed(modelName);
            if (!model)
                return usageError(QStringLiteral("unknown model %1 (KTRA10 ... VELD30, VELD40, "
                                                 "VELD50)")
                                      .arg(parser_.value(QStringLiteral("model"))),
                                  command_);
        } else if (!common_.baud) {
            return usageError(QStringLiteral("give --model or --baud"), command_);
        }
        if (!preparePort())
            return ExitNoUnit;
        UnitSession &s = *session_;
        if (common_.baud && !s.link.OpenComPort(s.state.ComPortNumber, *common_.baud)) {
            printOpenFailure(s.state.ConnectErrorText);
            return ExitNoUnit;
        }
        const qsizetype before = view_.messages.size();
        s.StopMotion(model.value_or(Model::KTRA10),
                     soft ? frame::Motion::StopSoft : frame::Motion::StopAll);
        if (view_.messages.size() != before)
            return ExitNoUnit;
        const QString what = soft ? QStringLiteral("soft") : QStringLiteral("hard");
        // The rate the line went out at: --baud's, else the panel's fixed one.
        const QString settings = common_.baud ? QString()
                                              : (soft ? unitFacts(*model).softStopSettings
                                                      : unitFacts(*model).hardStopSettings);
        const int baud = common_.baud ? *common_.baud : settings.section(u',', 0, 0).toInt();
        const QString how = common_.baud ? QStringLiteral("as --baud asks")
                                         : QStringLiteral("the %1 panel's fixed %2 settings %3")
                                               .arg(modelId(*model),
                                                    soft ? QStringLiteral("Soft Limit")
                                                         : QStringLiteral("Hard Limit"),
                                                    settings);
        json_ = {{QStringLiteral("stop"), what},
                 {QStringLiteral("axis"), s.state.AxisAddress.toInt()},
                 {QStringLiteral("com"), s.state.ComPortNumber},
                 {QStringLiteral("baud"), baud}};
        if (!modelName.isEmpty())
            json_[QStringLiteral("model")] = modelName;
        text_ = QStringLiteral("Sent a %1 stop to axis %2 at %3 baud (%4)\n")
                    .arg(what, s.state.AxisAddress)
                    .arg(baud)
                    .arg(how);
        return ExitDone;
    }

    int axis()
    {
        const QStringList words = parser_.positionalArguments().mid(1);
        if (words.size() != 2 ||
            (words[0] != QLatin1String("select") && words[0] != QLatin1String("define")))
            return usageError(QStringLiteral("axis takes select A or define A"), command_);
        const QString &address = words[1];
        if (!isAxisAddress(address))
            return usageError(QStringLiteral("an axis address is 0 to 99"), command_);
        // The unit to select may be the only one on the line: it is looked
        // for at its own address unless --axis names another.
        if (words[0] == QLatin1String("select") && !parser_.isSet(QStringLiteral("axis")))
            common_.axis = address;
        int code = connectUnit();
        if (code != ExitDone)
            return code;
        if (model_ != Model::VELD30) {
            const QString text =
                QStringLiteral("Axes are set on the VELD30 panel; this unit is a %1")
                    .arg(unitModel_);
            view_.messages << text;
            printError(text, code::ValueRefused);
            return ExitUsage;
        }
        UnitSession &s = *session_;
        if (words[0] == QLatin1String("select")) {
            s.selectAxis(address);
            s.axisSelectDone();
            if (s.isEnding())
                return ExitInterrupted;
            // The model belongs to the axis: the one the new axis named.
            if (const auto unit = s.unitAt(address); unit && !unit->collision) {
                unitModel_ = unit->model;
                revision_ = unit->revision;
            }
            const bool answered = std::any_of(
                view_.fields.begin(), view_.fields.end(),
                [](const CliView::ShownField &f) { return f.reply && !f.reply->isEmpty(); });
            json_ = unitJson();
            json_[QStringLiteral("answers")] = answered;
            json_[QStringLiteral("fields")] = fieldsJson();
            text_ = unitLine() + fieldsText();
            if (!answered) {
                printError(QStringLiteral("No answer from axis %1").arg(address), code::NoAnswer);
                return ExitNoUnit;
            }
            return ExitDone;
        }
        const std::optional<QString> old = s.beginAxisDefine();
        // Two units answered the address question: both would take the
        // new address; the session said so and sent nothing.
        if (!s.defineAxis(address))
            return ExitNoUnit;
        s.link.WaitSeconds(0.5);
        s.selectAxis(address);
        const std::optional<FoundUnit> found = probeAddress(s, address.toInt());
        if (s.isEnding())
            return ExitInterrupted;
        const QString was = StripCarriageReturns(old.value_or(QString()));
        json_ = unitJson();
        json_[QStringLiteral("previous")] = addressJson(was);
        json_[QStringLiteral("answers")] = found.has_value();
        text_ = QStringLiteral("Axis %1 is now %2\n").arg(was, address);
        if (!found) {
            printError(QStringLiteral("No answer from axis %1 after the change").arg(address),
                       code::NoAnswer);
            return ExitNoUnit;
        }
        return ExitDone;
    }

    int find()
    {
        UnitSession &s = *session_;
        QList<int> rates;
        if (common_.baud) {
            if (!preparePort())
                return ExitNoUnit;
            rates << *common_.baud;
        } else {
            const int code = connectUnit(false);
            if (code == ExitInterrupted)
                return code;
            if (code == ExitDone)
                rates << baudInForce();
            else if (portFailed_)
                return code;
            else
                rates = QList<int>(ScanRates.begin(), ScanRates.end());
        }
        std::vector<FoundUnit> found;
        int rate = 0;
        for (int r : rates) {
            rate = r;
            if (!s.link.PortOpen() && !s.link.OpenComPort(s.state.ComPortNumber, r)) {
                printOpenFailure(s.state.ConnectErrorText);
                return ExitNoUnit;
            }
            found = findUnits(s, [r](int address) {
                if (address % 10 == 0)
                    progress(QStringLiteral("asking addresses %1 to %2 at %3 baud ...")
                                 .arg(address)
                                 .arg(address + 9)
                                 .arg(r));
                return true;
            });
            if (s.isEnding())
                return ExitInterrupted;
            if (!found.empty())
                break;
            s.link.closePort();
        }
        QJsonArray units;
        QList<QStringList> rows{{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),
                                 QStringLiteral("REVISION"), QStringLiteral("BAUD")}};
        for (const FoundUnit &unit : found) {
            // An address two units answer names no model.
            const QJsonValue none(QJsonValue::Null);
            units.append(QJsonObject{
                {QStringLiteral("address"), unit.address},
                {QStringLiteral("model"), unit.collision ? none : QJsonValue(unit.modelId)},
                {QStringLiteral("revision"), unit.collision ? none : QJsonValue(unit.revision)},
                {QStringLiteral("collision"), unit.collision}});
            rows << (unit.collision
                         ? QStringList{QString::number(unit.address), MoreThanOneUnitText,
                                       QString(), QString::number(rate)}
                         : QStringList{QString::number(unit.address), unit.modelId, unit.revision,
                                       QString::number(rate)});
        }
        json_ = {{QStringLiteral("baud"), found.empty() ? QJsonValue() : QJsonValue(rate)},
                 {QStringLiteral("units"), units}};
        if (found.empty()) {
            printError(QStringLiteral("No unit answered at any address from 0 to 99"),
                       code::NoUnit);
            return ExitNoUnit;
        }
        text_ = table(rows);
        return ExitDone;
    }

    int ports()
    {
        const QString storePath = session_->storePath;
        const StoredConfiguration stored = readConfiguration(storePath);
        if (!stored.comPort)
            printError(stored.problem, code::StoreProblem);
        // /dev/serial/by-id names each USB adapter by its maker and serial number.
        QMap<QString, QString> byId;
        const QFileInfoList links =
            QDir(QStringLiteral("/dev/serial/by-id"))
                .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QFileInfo &link : links)
            byId[QFileInfo(link.symLinkTarget()).canonicalFilePath()] = link.absoluteFilePath();

        SerialLink probe(session_->state);
        probe.setPortMap(stored.portMap);
        auto comsOf = [&](const QString &device) {
            QStringList numbers;
            const QString canonical = QFileInfo(device).canonicalFilePath();
            for (int com = 1; com <= 256; ++com) {
                const QString mapped = probe.deviceForPort(com);
                if (mapped == device ||
                    (!canonical.isEmpty() && QFileInfo(mapped).canonicalFilePath() == canonical))
                    numbers << QString::number(com) +
                                   (stored.comPort == com ? QStringLiteral("*") : QString());
            }
            return numbers;
        };

        QList<QStringList> rows{{QStringLiteral("DEVICE"), QStringLiteral("COM"),
                                 QStringLiteral("DESCRIPTION"), QStringLiteral("MANUFACTURER"),
                                 QStringLiteral("SERIAL"), QStringLiteral("BY-ID")}};
        QJsonArray portsJson;
        QStringList present;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            const QString device = info.systemLocation();
            present << QFileInfo(device).canonicalFilePath();
            const QStringList coms = comsOf(device);
            const QString link = byId.value(QFileInfo(device).canonicalFilePath());
            rows << QStringList{device,
                                coms.join(QLatin1Char(',')),
                                info.description(),
                                info.manufacturer(),
                                info.serialNumber(),
                                link};
            QJsonArray comArray;
            for (const QString &c : coms)
                comArray.append(QString(c).remove(QLatin1Char('*')).toInt());
            portsJson.append(QJsonObject{{QStringLiteral("device"), device},
                                         {QStringLiteral("description"), info.description()},
                                         {QStringLiteral("manufacturer"), info.manufacturer()},
                                         {QStringLiteral("serialNumber"), info.serialNumber()},
                                         {QStringLiteral("byId"), link},
                                         {QStringLiteral("com"), comArray}});
        }
        QJsonArray mapJson;
        QString extra;
        for (auto it = stored.portMap.constBegin(); it != stored.portMap.constEnd(); ++it) {
            const bool isPresent = present.contains(QFileInfo(*it).canonicalFilePath());
            mapJson.append(QJsonObject{{QStringLiteral("com"), it.key()},
                                       {QStringLiteral("device"), *it},
                                       {QStringLiteral("present"), isPresent}});
            if (!isPresent)
                extra += QStringLiteral("Port Map: COM %1 is %2 (%3)\n")
                             .arg(it.key())
                             .arg(*it, QFileInfo::exists(*it) ? QStringLiteral("not a serial port "
                                                                               "the system lists")
                                                              : QStringLiteral("missing"));
        }
        json_ = {{QStringLiteral("store"), storePath},
                 {QStringLiteral("comPort"),
                  stored.comPort ? QJsonValue(*stored.comPort) : QJsonValue(QJsonValue::Null)},
                 {QStringLiteral("ports"), portsJson},
                 {QStringLiteral("portMap"), mapJson}};
        text_ = table(rows) + extra +
                QStringLiteral("Store %1: COM port %2%3\n")
                    .arg(storePath,
                         stored.comPort ? QString::number(*stored.comPort) : QStringLiteral("none"),
                         stored.comPort ? QStringLiteral(" (marked *)") : QString());
        return ExitDone;
    }

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
    QJsonObject json_;
    QString text_;
};

// Whether --json is among the options, found before the parser knows
// whether the rest is right: a usage error is then a document too.
bool wantsJson(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--json") || argument == QLatin1String("-json"))
            return true;
    }
    return false;
}

int runCommand(const QStringList &arguments)
{
    const QString command = arguments.value(1);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    parser.addOptions(commonOptions());

    const CommandInfo *chosen = findCommand(command);
    if (!chosen) {
        const QCommandLineOption version(QStringLiteral("version"),
                                         QStringLiteral("Show the program's version."));
        parser.addOption(version);
        parser.setApplicationDescription(
            QStringLiteral("Sets up and tests KTRA/VELD stepper-motor units over a serial line, "
                           "as the KTRA-VELD window does."));
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("See below."),
                                     QStringLiteral("COMMAND [options]"));
        if (!parser.parse(arguments))
            return usageError(parser.errorText());
        if (parser.isSet(help)) {
            printOut(topHelp(parser));
            return ExitDone;
        }
        if (parser.isSet(version)) {
            printOut(Program + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                     QLatin1Char('\n'));
            return ExitDone;
        }
        return usageError(command.isEmpty() || command.startsWith(QLatin1Char('-'))
                              ? QStringLiteral("no command given")
                              : QStringLiteral("unknown command %1").arg(command));
    }

    parser.setApplicationDescription(QLatin1String(chosen->summary));
    parser.addOptions(commandOptions(command));
    parser.addPositionalArgument(
        command, QLatin1String(chosen->summary),
        (command + QLatin1Char(' ') + QLatin1String(chosen->synopsis)).trimmed());
    if (!parser.parse(arguments))
        return usageError(parser.errorText(), command);
    if (parser.isSet(help)) {
        printOut(parser.helpText());
        return ExitDone;
    }
    const bool takesWords = command == QLatin1String("set") || command == QLatin1String("axis") ||
                            command == QLatin1String("save") || command == QLatin1String("load") ||
                            command == QLatin1String("diff");
    if (!takesWords && parser.positionalArguments().size() > 1)
        return usageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().at(1)),
            command);

    Common common;
    if (parser.isSet(QStringLiteral("com"))) {
        common.com = positiveNumber(parser.value(QStringLiteral("com")));
        if (!common.com)
            return usageError(QStringLiteral("--com takes a port number from 1"), command);
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        common.baud = positiveNumber(parser.value(QStringLiteral("baud")));
        if (!common.baud)
            return usageError(QStringLiteral("--baud takes a rate such as 9600"), command);
    }
    if (parser.isSet(QStringLiteral("axis"))) {
        common.axis = parser.value(QStringLiteral("axis"));
        if (!isAxisAddress(common.axis))
            return usageError(QStringLiteral("an axis address is 0 to 99"), command);
    }
    common.device = parser.value(QStringLiteral("device"));
    common.store = parser.value(QStringLiteral("store"));
    common.json = parser.isSet(QStringLiteral("json"));
    common.trace = parser.isSet(QStringLiteral("trace"));

    QString storePath = common.store;
    if (storePath.isEmpty()) {
        const StoreLocation location = locateStore();
        if (!location.notice.isEmpty())
            printError(location.notice, code::StoreNotice);
        if (!location.problem.isEmpty())
            printError(location.problem, code::StoreProblem);
        storePath = location.path;
    }

    Tool tool(command, parser, common, storePath);
    InterruptWatch watch([&tool] {
        tool.session().setEnding();
        // A wait already running would otherwise end only when its timer
        // fires; exit() ends every running event loop now, and no new one
        // runs (this program never enters the application's own loop).
        QCoreApplication::exit(ExitInterrupted);
    });
    int code = tool.run();
    if (watch.interrupted()) {
        printError(QStringLiteral("Interrupted; the port is closed."), code::Interrupted);
        code = ExitInterrupted;
    }
    tool.finish(code);
    return code;
}

} // namespace

int runCli(const QStringList &arguments)
{
    const int code = runCommand(arguments);
    if (wantsJson(arguments) && !printedOut())
        printDocument(findCommand(arguments.value(1)) ? arguments.value(1) : QString(), code);
    return finishOutput(code);
}

} // namespace ktv::cli
