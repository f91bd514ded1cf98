// The axis commands: axis selects a unit's address or defines a new one,
// find asks the line for the units on it.

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "protocol/UnitCatalogue.h"
#include "session/UnitFinder.h"

#include <QJsonArray>

#include <algorithm>

namespace ktv::cli {

int Tool::axis()
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
            QStringLiteral("Axes are set on the VELD30 panel; this unit is a %1").arg(unitModel_);
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
        const bool answered =
            std::any_of(view_.fields.begin(), view_.fields.end(), [](const CliView::ShownField &f) {
                return f.reply && !f.reply->isEmpty();
            });
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

int Tool::find()
{
    UnitSession &s = *session_;
    if (!preparePort())
        return ExitNoUnit;
    const QList<int> rates =
        common_.baud ? QList<int>{*common_.baud} : QList<int>(ScanRates.begin(), ScanRates.end());
    FindHooks hooks;
    hooks.atRate = [](int baud) {
        progress(QStringLiteral("asking the line at %1 baud ...").arg(baud));
        return true;
    };
    hooks.beforeAddress = [](int baud, int address) {
        if (address % 10 == 0)
            progress(QStringLiteral("asking addresses %1 to %2 at %3 baud ...")
                         .arg(address)
                         .arg(address + 9)
                         .arg(baud));
        return true;
    };
    const FindResult result = findOnLine(s, rates, parser_.isSet(QStringLiteral("sweep")), hooks);
    if (s.isEnding())
        return ExitInterrupted;
    if (result.openFailed) {
        printOpenFailure(s.state.ConnectErrorText);
        return ExitNoUnit;
    }
    const std::vector<FoundUnit> &found = result.units;
    const int rate = result.baud;
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
        rows << (unit.collision ? QStringList{QString::number(unit.address), MoreThanOneUnitText,
                                              QString(), QString::number(rate)}
                                : QStringList{QString::number(unit.address), unit.modelId,
                                              unit.revision, QString::number(rate)});
    }
    json_ = {{QStringLiteral("baud"), found.empty() ? QJsonValue() : QJsonValue(rate)},
             {QStringLiteral("units"), units},
             {QStringLiteral("swept"), result.swept}};
    if (found.empty()) {
        printError(QStringLiteral("No unit answered at any address from 0 to 99"), code::NoUnit);
        return ExitNoUnit;
    }
    text_ = table(rows);
    return ExitDone;
}

} // namespace ktv::cli
