#pragma once
// Everything that makes one model panel look different from another, as data:
// the frames and their controls in creation order, the label indices and
// reset order and the focus-order lists. One builder turns an entry into a
// panel. What goes on the wire for a model is in protocol/UnitCatalogue.

#include "protocol/CommandFrame.h"
#include "protocol/Models.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace ktv {

enum class ControlKind {
    EntryBox,     // txtSend<Key>
    SendButton,   // cmdSend<Key>
    OptionButton, // opt<Option>
    ProfileButton,
    MotionButton, // cmdGo, cmdStopSoft, cmdStopAll
    VerifyButton,
    AxisButton,   // cmdAxisSelect, cmdAxisDefine
    Caption,      // the label that names a frame
    InfoLabel,    // element of lblVerifyInfo<Model>
    ReadbackLabel // lblVerify..., lblError, lblProfile, lblSelectedAxis
};

// What a read-back label shows; InfoLabel elements use the numeric fields.
enum class ReadbackRole {
    Profile,
    Direction,
    AnalogSpeed,
    Current,
    Microstep,
    Ramp,
    Error,
    SelectedAxis
};

struct ControlSpec
{
    ControlKind kind;
    QString name;    // the object name
    QString caption; // caption or default text
    int maxLength = 0;
    ParamKey key = ParamKey::Accel; // entry boxes, send buttons
    Option option = Option::CW;     // option buttons
    int number = 0;                 // profile number; info label index
    frame::Motion motion = frame::Motion::Go;
    Field field = Field::Accel; // info labels
    ReadbackRole role = ReadbackRole::Profile;
};

enum class FrameRole { Options, Entry, Readback };

struct FrameSpec
{
    QString name; // "Frame11"
    FrameRole role;
    QString caption; // what the frame's label says; also its accessible name
    QList<ControlSpec> controls;
};

// One step of the display reset: a label array element or a single label.
struct ResetStep
{
    bool info;
    int index;         // info element
    ReadbackRole role; // single label
};

struct ModelSpec
{
    Model model;
    QString tabCaption;
    QString profileCaption; // "Speed Profile" or "Motion Profile"
    QList<FrameSpec> frames{};
    QList<ControlSpec> panelControls{}; // on the panel itself, outside frames
    std::vector<ResetStep> resetOrder{};
    QStringList tabStopsOn{};
    QStringList tabStopsOff{};

    int infoIndex(Field field) const; // -1 when the panel has no such label
    Field infoField(int index) const; // the numeric field an info label shows
    std::vector<ParamKey> keys() const;
    std::vector<Option> options() const;
    int profileCount() const;
};

const std::vector<ModelSpec> &panelCatalogue();
const ModelSpec &modelSpec(Model model);

// Caption of a numeric read-back label: "Acceleration: " ...
QString readbackPrefix(Field field);
QString readbackPrefix(ReadbackRole role, const ModelSpec &entry);

} // namespace ktv
