// The commands that read and write a unit's profiles: scan, read and set,
// with the read-back of a profile and its fields as they are shown.

#include "cli/CliCommands.h"
#include "cli/CliNames.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "protocol/ParameterLimits.h"
#include "protocol/ReplyDecoding.h"
#include "protocol/UnitCatalogue.h"
#include "session/OptionWrite.h"
#include "session/SessionTexts.h"

#include <QJsonArray>
#include <QObject>

#include <algorithm>

namespace ktv::cli {

// The read-back of one profile; the identification's own run serves for
// profile 1.
void Tool::readBack(int profile)
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
QStringList Tool::fieldsWithoutValue() const
{
    QStringList missing;
    for (Field field : unitFacts(model_).plan) {
        if (!session_->unitKeeps(model_, field))
            continue;
        const auto shown =
            std::find_if(view_.fields.begin(), view_.fields.end(),
                         [field](const CliView::ShownField &f) { return f.field == field; });
        if (shown == view_.fields.end() || !shown->reply)
            missing << fieldCaption(field);
    }
    return missing;
}

void Tool::say(const QString &text, const QString &messageCode)
{
    view_.messages << text;
    printError(text, messageCode);
}

// The documents spell option words as sheets do ("cw", "on", "yes").
QJsonObject Tool::fieldsJson() const
{
    QJsonObject fields;
    for (const CliView::ShownField &shown : view_.fields)
        fields[fieldKey(shown.field)] =
            shown.reply ? QJsonValue(shownValue(model_, shown.field, *shown.reply).toLower())
                        : QJsonValue(QJsonValue::Null);
    return fields;
}

QString Tool::fieldsText() const
{
    QList<QStringList> rows;
    for (const CliView::ShownField &shown : view_.fields)
        rows << QStringList{QStringLiteral("  ") + fieldCaption(shown.field),
                            shown.reply ? shownValue(model_, shown.field, *shown.reply)
                            : shown.unreadable.isEmpty() ? QStringLiteral("(no answer)")
                                                         : replyProblemText(shown.unreadable)};
    return table(rows);
}

int Tool::scan()
{
    const int code = connectUnit();
    if (code != ExitDone)
        return code;
    json_ = unitJson();
    json_[QStringLiteral("version")] = view_.version;
    text_ = table({{QStringLiteral("model"), unitModel_},
                   {QStringLiteral("panel"), modelId(model_)},
                   {QStringLiteral("revision"), revision_},
                   {QStringLiteral("baud"), baudText()},
                   {QStringLiteral("axis"), session_->state.AxisAddress},
                   {QStringLiteral("device"),
                    QStringLiteral("%1 (COM %2)")
                        .arg(session_->link.deviceForPort(session_->state.ComPortNumber))
                        .arg(session_->state.ComPortNumber)}});
    return ExitDone;
}

int Tool::read()
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
        profiles.append(
            QJsonObject{{QStringLiteral("profile"), p}, {QStringLiteral("fields"), fieldsJson()}});
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
std::optional<QList<Assignment>> Tool::assignments(int *code)
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

// What set means the profile to hold: the values given on the command line
// over those the unit held at the last read-back, for the profile and axis
// of this run. The checks and the lines written both take their values here.
PanelEntries Tool::intendedValues(const QList<Assignment> &list) const
{
    PanelEntries values{{}, session_->state.SelectedProfile, session_->state.AxisAddress};
    for (const CliView::ShownField &shown : view_.fields)
        if (isNumericField(shown.field) && shown.reply)
            values.texts.insert(paramKeyOf(shown.field), *shown.reply);
    for (const Assignment &a : list)
        if (a.key)
            values.texts.insert(*a.key, a.value);
    return values;
}

// The window's checks, in its order, on the values set means the profile to
// hold.
QStringList Tool::refusals(const QList<Assignment> &list, const PanelEntries &values)
{
    QStringList texts;
    const UnitFacts &facts = unitFacts(model_);
    const std::vector<ParamKey> keys = parameterKeys(model_);
    for (const Assignment &a : list) {
        if (a.option) {
            const bool offered = std::find(facts.options.begin(), facts.options.end(), *a.option) !=
                                     facts.options.end() &&
                                 session_->unitKeeps(model_, a.field);
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
        const EntryVerdict verdict = CheckParameterEntry(
            model_, *a.key, EntryPath::Send, [&values](ParamKey of) { return values.text(of); },
            session_->state.UnitConnected);
        if (verdict.kind == EntryVerdict::Kind::Refused)
            texts << verdict.message;
    }
    return texts;
}

int Tool::set()
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
    const PanelEntries values = intendedValues(*list);
    const QStringList refused = refusals(*list, values);
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
                session_->SendParameter(model_, *a.key, EntryPath::Leave, values);
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
            const QString text =
                held ? QStringLiteral("The unit holds %1 for %2, not %3")
                           .arg(*held, fieldCaption(a.field), sent)
                     : QStringLiteral("No answer from the unit for %1").arg(fieldCaption(a.field));
            view_.messages << text;
            printError(text, held ? code::ValueNotHeld : code::NoAnswer);
        }
        settings.append(QJsonObject{{QStringLiteral("name"), a.name},
                                    {QStringLiteral("sent"), sent.toLower()},
                                    {QStringLiteral("held"), held ? QJsonValue(held->toLower())
                                                                  : QJsonValue(QJsonValue::Null)},
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

} // namespace ktv::cli
