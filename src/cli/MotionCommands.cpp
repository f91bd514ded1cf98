// The motion commands: go begins a motion with a profile, stop sends a soft
// or hard stop.

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "protocol/UnitCatalogue.h"

namespace ktv::cli {

int Tool::go()
{
    int code = ExitDone;
    const auto profile = profileOption(&code);
    if (!profile)
        return code;
    if ((code = connectUnit()) != ExitDone)
        return code;
    if ((code = checkProfileOfModel(*profile)) != ExitDone)
        return code;
    session_->useProfile(*profile);
    session_->BeginMotion(model_);
    json_ = unitJson();
    json_[QStringLiteral("profile")] = *profile;
    text_ = unitLine() + QStringLiteral("Motion begun with profile %1\n").arg(*profile);
    return ExitDone;
}

// A stop opens a closed port with the panel's fixed settings, sends and
// closes: no scan, so it goes out at once.
int Tool::stop()
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
    if (common_.baud && !s.openLineAt(*common_.baud)) {
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
    const QString how =
        common_.baud ? QStringLiteral("as --baud asks")
                     : QStringLiteral("the %1 panel's fixed %2 settings %3")
                           .arg(modelId(*model),
                                soft ? QStringLiteral("Soft Limit") : QStringLiteral("Hard Limit"),
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

} // namespace ktv::cli
