#include "ui/PanelCatalogue.h"

#include "protocol/ParameterLimits.h"
#include "protocol/UnitCatalogue.h"

#include <algorithm>

namespace ktv {

namespace {

using K = ParamKey;
using O = Option;
using R = ReadbackRole;
using frame::Motion;

// Builders for one panel's controls; the model's id completes each name.
class Controls
{
  public:
    explicit Controls(Model model) : model_(model), id_(modelId(model)) {}

    ControlSpec box(K key) const
    {
        const ParameterLimit *limit = findParameterLimit(model_, key);
        ControlSpec c{ControlKind::EntryBox, "txtSend" + paramKeyName(key) + id_,
                      limit ? limit->defaultText : QString()};
        c.maxLength = limit ? limit->maxLength : 0;
        c.key = key;
        return c;
    }
    ControlSpec send(K key) const
    {
        ControlSpec c{ControlKind::SendButton, "cmdSend" + paramKeyName(key) + id_,
                      QStringLiteral("Send &") + fieldName(fieldOf(key))};
        c.key = key;
        return c;
    }
    ControlSpec opt(O option) const
    {
        ControlSpec c{ControlKind::OptionButton, "opt" + optionStem(option) + id_,
                      optionCaption(option)};
        c.option = option;
        return c;
    }
    ControlSpec profile(int number) const
    {
        ControlSpec c{ControlKind::ProfileButton, "optProfile" + QString::number(number) + id_,
                      QString::number(number)};
        c.number = number;
        return c;
    }
    ControlSpec motion(Motion motion) const
    {
        static const char *const stems[] = {"cmdGo", "cmdStopSoft", "cmdStopAll"};
        static const char *const captions[] = {"Begin Motion", "&Soft Limit", "&Hard Limit"};
        const int i = static_cast<int>(motion);
        ControlSpec c{ControlKind::MotionButton, QString::fromLatin1(stems[i]) + id_,
                      QString::fromLatin1(captions[i])};
        c.motion = motion;
        return c;
    }
    ControlSpec verify() const
    {
        return {ControlKind::VerifyButton, "cmdVerifyParameters" + id_, "&Verify Parameters"};
    }
    static ControlSpec caption(const char *name, const char *text)
    {
        return {ControlKind::Caption, QString::fromLatin1(name), QString::fromLatin1(text)};
    }
    ControlSpec info(int index, Field field) const
    {
        ControlSpec c{ControlKind::InfoLabel, "lblVerifyInfo" + id_ + "_" + QString::number(index),
                      fieldName(field)};
        c.number = index;
        c.field = field;
        return c;
    }
    ControlSpec label(R role) const
    {
        ControlSpec c{ControlKind::ReadbackLabel, {}, {}};
        c.role = role;
        switch (role) {
        case R::Profile:
            c.name = "lblProfile" + id_;
            c.caption = isKtra(model_) ? "Speed Profile" : "Motion Profile";
            break;
        case R::Direction:
            c.name = "lblVerifyDirection" + id_;
            c.caption = "Direction";
            break;
        case R::AnalogSpeed:
            c.name = "lblVerifyAnalogSpeed" + id_;
            c.caption = "Analog Speed";
            break;
        case R::Current:
            c.name = "lblVerifyCurrent" + id_;
            c.caption = "Reduced Current";
            break;
        case R::Microstep:
            c.name = "lblVerifyMicrostep" + id_;
            c.caption = "Microstep Resolution";
            break;
        case R::Ramp:
            c.name = "lblVerifyRamp" + id_;
            c.caption = "Ramp Down";
            break;
        case R::Error:
            c.name = "lblError" + id_;
            c.caption = "Error Code";
            break;
        case R::SelectedAxis:
            c.name = "lblSelectedAxis";
            c.caption = "Selected Axis";
            break;
        }
        return c;
    }
    static ControlSpec axisButton(const char *name, const char *caption)
    {
        return {ControlKind::AxisButton, QString::fromLatin1(name), QString::fromLatin1(caption)};
    }

  private:
    Model model_;
    QString id_;
};

ResetStep info(int index)
{
    return {true, index, R::Profile};
}
ResetStep label(R role)
{
    return {false, -1, role};
}

// The focus-order lists follow one pattern on every panel: profiles, send
// buttons, motion buttons, option buttons, axis buttons, Verify. The VELD30
// switch-on list leaves out the microstep options, so after one switch-off
// they stay mouse-only.
QStringList focusList(const ModelSpec &entry, bool switchOn)
{
    const QString id = modelId(entry.model);
    QStringList list;
    for (int n = 1; n <= entry.profileCount(); ++n)
        list << "optProfile" + QString::number(n) + id;
    for (ParamKey key : entry.keys())
        list << "cmdSend" + paramKeyName(key) + id;
    list << "cmdGo" + id << "cmdStopSoft" + id << "cmdStopAll" + id;
    static const Option order[] = {O::CW,    O::CCW,  O::AnalogOn,    O::AnalogOff,
                                   O::RCYes, O::RCNo, O::Res1,        O::Res2,
                                   O::Res4,  O::Res8, O::RampDownYes, O::RampDownNo};
    const std::vector<Option> options = entry.options();
    for (Option option : order) {
        if (std::find(options.begin(), options.end(), option) == options.end())
            continue;
        const bool resolution =
            option == O::Res1 || option == O::Res2 || option == O::Res4 || option == O::Res8;
        if (switchOn && entry.model == Model::VELD30 && resolution)
            continue;
        list << "opt" + optionStem(option) + id;
    }
    for (const ControlSpec &c : entry.panelControls)
        list << c.name;
    list << "cmdVerifyParameters" + id;
    return list;
}

std::vector<ModelSpec> buildCatalogue()
{
    std::vector<ModelSpec> models;

    {
        Controls c(Model::KTRA10);
        ModelSpec m{Model::KTRA10, "Pulse Generator - KTRA10", "Speed Profile"};
        m.frames = {
            {"Frame11",
             FrameRole::Options,
             "Direction",
             {c.opt(O::CW), c.opt(O::CCW), c.caption("Label18", "Direction")}},
            {"Frame10",
             FrameRole::Options,
             "Reduced Current",
             {c.opt(O::RCNo), c.opt(O::RCYes), c.caption("Label20", "Reduced Current")}},
            {"Frame9",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.info(6, Field::Max), c.info(5, Field::Base), c.info(4, Field::Accel),
              c.label(R::Error), c.label(R::Direction), c.label(R::Current), c.label(R::Microstep),
              c.label(R::Ramp), c.label(R::Profile)}},
            {"Frame8",
             FrameRole::Options,
             "Microstep Resolution",
             {c.opt(O::Res8), c.opt(O::Res4), c.opt(O::Res2), c.opt(O::Res1),
              c.caption("Label2", "Microstep Resolution")}},
            {"Frame7",
             FrameRole::Entry,
             "Speed Profile",
             {c.box(K::Accel), c.box(K::Base), c.send(K::Accel), c.send(K::Base), c.box(K::Max),
              c.send(K::Max), c.profile(1), c.profile(2), c.profile(3), c.profile(4),
              c.motion(Motion::StopAll), c.motion(Motion::Go), c.motion(Motion::StopSoft),
              c.caption("Label1", "Speed Profile")}},
            {"Frame6",
             FrameRole::Options,
             "Ramp Down",
             {c.opt(O::RampDownNo), c.opt(O::RampDownYes), c.caption("lblRampDown", "Ramp Down")}},
        };
        m.resetOrder = {label(R::Profile),
                        info(4),
                        info(5),
                        info(6),
                        label(R::Direction),
                        label(R::Current),
                        label(R::Microstep),
                        label(R::Ramp),
                        label(R::Error)};
        models.push_back(m);
    }
    {
        Controls c(Model::KTRA20);
        ModelSpec m{Model::KTRA20, "Pulse Generator - KTRA20", "Speed Profile"};
        m.frames = {
            {"Frame13",
             FrameRole::Entry,
             "Speed Profile",
             {c.box(K::Upper), c.send(K::Upper), c.box(K::Lower), c.send(K::Lower),
              c.motion(Motion::StopSoft), c.motion(Motion::Go), c.motion(Motion::StopAll),
              c.profile(2), c.profile(1), c.send(K::Max), c.box(K::Max), c.send(K::Base),
              c.send(K::Accel), c.box(K::Base), c.box(K::Accel),
              c.caption("Label10", "Speed Profile")}},
            {"Frame17",
             FrameRole::Options,
             "Analog Speed",
             {c.opt(O::AnalogOn), c.opt(O::AnalogOff), c.caption("Label3", "Analog Speed")}},
            {"Frame16",
             FrameRole::Options,
             "Reduced Current",
             {c.opt(O::RCNo), c.opt(O::RCYes), c.caption("Label17", "Reduced Current")}},
            {"Frame15",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.info(11, Field::Lower), c.info(10, Field::Max), c.info(9, Field::Accel),
              c.info(8, Field::Base), c.info(7, Field::Upper), c.label(R::Error),
              c.label(R::AnalogSpeed), c.label(R::Current), c.label(R::Microstep), c.label(R::Ramp),
              c.label(R::Profile)}},
            {"Frame14",
             FrameRole::Options,
             "Microstep Resolution",
             {c.opt(O::Res8), c.opt(O::Res4), c.opt(O::Res2), c.opt(O::Res1),
              c.caption("Label11", "Microstep Resolution")}},
            {"Frame12",
             FrameRole::Options,
             "Ramp Down",
             {c.opt(O::RampDownNo), c.opt(O::RampDownYes), c.caption("Label9", "Ramp Down")}},
        };
        m.resetOrder = {label(R::Profile),
                        info(9),
                        info(8),
                        info(10),
                        info(11),
                        info(7),
                        label(R::AnalogSpeed),
                        label(R::Current),
                        label(R::Microstep),
                        label(R::Ramp),
                        label(R::Error)};
        models.push_back(m);
    }
    {
        Controls c(Model::KTRA30);
        ModelSpec m{Model::KTRA30, "Pulse Generator - KTRA30", "Speed Profile"};
        m.frames = {
            {"Frame23",
             FrameRole::Options,
             "Ramp Down",
             {c.opt(O::RampDownYes), c.opt(O::RampDownNo), c.caption("Label19", "Ramp Down")}},
            {"Frame22",
             FrameRole::Entry,
             "Speed Profile",
             {c.motion(Motion::StopSoft), c.motion(Motion::Go), c.motion(Motion::StopAll),
              c.profile(2), c.profile(1), c.send(K::Max), c.box(K::Max), c.send(K::Base),
              c.send(K::Accel), c.box(K::Base), c.box(K::Accel),
              c.caption("Label16", "Speed Profile")}},
            {"Frame20",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.label(R::Profile), c.label(R::Ramp), c.label(R::Current),
              c.label(R::Direction), c.label(R::Error), c.info(2, Field::Accel),
              c.info(1, Field::Base), c.info(0, Field::Max)}},
            {"Frame19",
             FrameRole::Options,
             "Reduced Current",
             {c.opt(O::RCYes), c.opt(O::RCNo), c.caption("Label5", "Reduced Current")}},
            {"Frame18",
             FrameRole::Options,
             "Direction",
             {c.opt(O::CCW), c.opt(O::CW), c.caption("Label4", "Direction")}},
        };
        m.resetOrder = {label(R::Profile),   info(2),           info(1),        info(0),
                        label(R::Direction), label(R::Current), label(R::Ramp), label(R::Error)};
        models.push_back(m);
    }
    {
        Controls c(Model::VELD10);
        ModelSpec m{Model::VELD10, "Simple Indexer - VELD10", "Motion Profile"};
        m.frames = {
            {"Frame4",
             FrameRole::Options,
             "Reduced Current",
             {c.opt(O::RCNo), c.opt(O::RCYes), c.caption("lblReducedCurrent", "Reduced Current")}},
            {"Frame2",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.info(3, Field::Index), c.info(2, Field::Max), c.info(1, Field::Base),
              c.info(0, Field::Accel), c.label(R::Error), c.label(R::Microstep),
              c.label(R::Profile), c.label(R::Direction), c.label(R::Current)}},
            {"Frame5",
             FrameRole::Options,
             "Microstep Resolution",
             {c.opt(O::Res8), c.opt(O::Res4), c.opt(O::Res2), c.opt(O::Res1),
              c.caption("lblResolution", "Microstep Resolution")}},
            {"Frame1",
             FrameRole::Entry,
             "Motion Profile",
             {c.box(K::Accel), c.box(K::Base), c.send(K::Accel), c.send(K::Base), c.box(K::Max),
              c.send(K::Max), c.profile(1), c.profile(2), c.motion(Motion::StopAll),
              c.motion(Motion::Go), c.motion(Motion::StopSoft), c.send(K::Index), c.box(K::Index),
              c.profile(3), c.profile(4), c.caption("lblSpeedProfile", "Motion Profile")}},
            {"Frame3",
             FrameRole::Options,
             "Direction",
             {c.opt(O::CW), c.opt(O::CCW), c.caption("lblDirection", "Direction")}},
        };
        m.resetOrder = {label(R::Profile), info(0),
                        info(1),           info(2),
                        info(3),           label(R::Direction),
                        label(R::Current), label(R::Microstep),
                        label(R::Error)};
        models.push_back(m);
    }
    {
        Controls c(Model::VELD20);
        ModelSpec m{Model::VELD20, "Simple Indexer - VELD20", "Motion Profile"};
        m.frames = {
            {"Frame28",
             FrameRole::Entry,
             "Motion Profile",
             {c.send(K::Complete), c.box(K::Complete), c.box(K::Index), c.send(K::Index),
              c.motion(Motion::StopSoft), c.motion(Motion::Go), c.motion(Motion::StopAll),
              c.profile(2), c.profile(1), c.send(K::Max), c.box(K::Max), c.send(K::Base),
              c.send(K::Accel), c.box(K::Base), c.box(K::Accel),
              c.caption("Label30", "Motion Profile")}},
            {"Frame26",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.info(0, Field::Complete), c.info(7, Field::Base),
              c.info(6, Field::Accel), c.info(5, Field::Max), c.info(4, Field::Index),
              c.label(R::Current), c.label(R::Direction), c.label(R::Profile), c.label(R::Error)}},
            {"Frame25",
             FrameRole::Options,
             "Reduced Current",
             {c.opt(O::RCNo), c.opt(O::RCYes), c.caption("Label22", "Reduced Current")}},
            {"Frame24",
             FrameRole::Options,
             "Direction",
             {c.opt(O::CW), c.opt(O::CCW), c.caption("Label21", "Direction")}},
        };
        m.resetOrder = {
            label(R::Profile),   info(6),           info(7),        info(5), info(4), info(0),
            label(R::Direction), label(R::Current), label(R::Error)};
        models.push_back(m);
    }
    {
        Controls c(Model::VELD30);
        ModelSpec m{Model::VELD30, "Simple Indexer - VELD30/40/50", "Motion Profile"};
        m.panelControls = {Controls::axisButton("cmdAxisSelect", "Select A&xis"),
                           Controls::axisButton("cmdAxisDefine", "&Define Axis")};
        m.frames = {
            {"Frame21",
             FrameRole::Entry,
             "Motion Profile",
             {c.motion(Motion::StopSoft), c.box(K::Accel), c.box(K::Base), c.send(K::Accel),
              c.send(K::Base), c.box(K::Max), c.send(K::Max), c.profile(1), c.profile(2),
              c.motion(Motion::StopAll), c.motion(Motion::Go), c.send(K::Index), c.box(K::Index),
              c.box(K::Complete), c.send(K::Complete), c.caption("Label6", "Motion Profile")}},
            {"Frame27",
             FrameRole::Readback,
             "Verify Parameters",
             {c.verify(), c.label(R::SelectedAxis), c.label(R::Microstep), c.info(9, Field::Index),
              c.info(8, Field::Max), c.info(3, Field::Accel), c.info(2, Field::Base),
              c.info(1, Field::Complete), c.label(R::Error), c.label(R::Profile),
              c.label(R::Direction)}},
            {"Frame29",
             FrameRole::Options,
             "Direction",
             {c.opt(O::CCW), c.opt(O::CW), c.caption("Label14", "Direction")}},
            {"Frame30",
             FrameRole::Options,
             "Microstep Resolution",
             {c.opt(O::Res1), c.opt(O::Res2), c.opt(O::Res4), c.opt(O::Res8),
              c.caption("Label15", "Microstep Resolution")}},
        };
        m.resetOrder = {label(R::Profile),
                        info(3),
                        info(2),
                        info(8),
                        info(9),
                        info(1),
                        label(R::Direction),
                        label(R::Microstep),
                        label(R::Error)};
        models.push_back(m);
    }
    for (ModelSpec &m : models) {
        m.tabStopsOn = focusList(m, true);
        m.tabStopsOff = focusList(m, false);
    }
    return models;
}

} // namespace

int ModelSpec::infoIndex(Field field) const
{
    for (const FrameSpec &f : frames)
        for (const ControlSpec &c : f.controls)
            if (c.kind == ControlKind::InfoLabel && c.field == field)
                return c.number;
    return -1;
}

Field ModelSpec::infoField(int index) const
{
    for (const FrameSpec &f : frames)
        for (const ControlSpec &c : f.controls)
            if (c.kind == ControlKind::InfoLabel && c.number == index)
                return c.field;
    return Field::Accel;
}

std::vector<ParamKey> ModelSpec::keys() const
{
    return unitKeys(model);
}

std::vector<Option> ModelSpec::options() const
{
    std::vector<Option> result;
    for (const FrameSpec &f : frames)
        for (const ControlSpec &c : f.controls)
            if (c.kind == ControlKind::OptionButton)
                result.push_back(c.option);
    return result;
}

int ModelSpec::profileCount() const
{
    int count = 0;
    for (const FrameSpec &f : frames)
        for (const ControlSpec &c : f.controls)
            if (c.kind == ControlKind::ProfileButton)
                ++count;
    return count;
}

const std::vector<ModelSpec> &panelCatalogue()
{
    static const std::vector<ModelSpec> catalogue = buildCatalogue();
    return catalogue;
}

const ModelSpec &modelSpec(Model model)
{
    return panelCatalogue()[tabIndex(model)];
}

QString readbackPrefix(Field field)
{
    static const char *const prefixes[] = {
        "Acceleration: ",  "Base Speed: ",         "Max Speed: ",         "Index Number: ",
        "Complete Time: ", "Lower Analog Speed: ", "Upper Analog Speed: "};
    return QString::fromLatin1(prefixes[static_cast<int>(field)]);
}

QString readbackPrefix(ReadbackRole role, const ModelSpec &entry)
{
    switch (role) {
    case R::Profile:
        return entry.profileCaption + QStringLiteral(": ");
    case R::Direction:
        return QStringLiteral("Direction: ");
    case R::AnalogSpeed:
        return QStringLiteral("Analog Speed: ");
    case R::Current:
        return QStringLiteral("Reduced Current: ");
    case R::Microstep:
        return QStringLiteral("Microstep Resolution: ");
    case R::Ramp:
        return QStringLiteral("Ramp Down: ");
    case R::Error:
        return QStringLiteral("Error Code: ");
    case R::SelectedAxis:
        return QStringLiteral("Selected Axis: ");
    }
    return {};
}

} // namespace ktv
