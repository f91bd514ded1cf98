#include "ui/Panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace ktv {

namespace {

const char *const TypingLimitProperty = "ktvTypingLimit";

// The keyboard and the clipboard may not make a box longer than its limit;
// a longer text written by a read-back stays whole, and may be shortened.
// (QLineEdit's own maximum length would also cut what the program writes.)
class TypingLimitValidator : public QValidator
{
  public:
    TypingLimitValidator(int limit, QLineEdit *box)
        : QValidator(box), box_(box), limit_(limit), lastLength_(box->text().size())
    {
        connect(box, &QLineEdit::textChanged, this,
                [this](const QString &text) { lastLength_ = text.size(); });
    }
    State validate(QString &input, int &) const override
    {
        // Text set by the program leaves the box unmodified; only the
        // operator's edits are held to the limit.
        if (!box_->isModified())
            return Acceptable;
        return input.size() <= limit_ || input.size() <= lastLength_ ? Acceptable : Invalid;
    }

  private:
    QLineEdit *box_;
    int limit_;
    qsizetype lastLength_ = 0;
};

QString withoutAccelerator(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

// An entry box is named for the screen reader by its Send button's caption
// without "Send " ("Accel/Decel", "Base Speed", ...).
QString entryAccessibleName(const QString &sendCaption)
{
    return withoutAccelerator(sendCaption).mid(QStringLiteral("Send ").size());
}

QWidget *makeControl(const ControlSpec &c, QWidget *parent, Panel &panel)
{
    QWidget *widget = nullptr;
    switch (c.kind) {
    case ControlKind::EntryBox: {
        auto *box = new QLineEdit(c.caption, parent);
        box->setProperty(TypingLimitProperty, c.maxLength);
        if (c.maxLength > 0)
            box->setValidator(new TypingLimitValidator(c.maxLength, box));
        panel.boxes[c.key] = box;
        widget = box;
        break;
    }
    case ControlKind::SendButton: {
        auto *button = new QPushButton(c.caption, parent);
        panel.sendButtons[c.key] = button;
        widget = button;
        break;
    }
    case ControlKind::OptionButton: {
        auto *option = new QRadioButton(c.caption, parent);
        panel.options[c.option] = option;
        widget = option;
        break;
    }
    case ControlKind::ProfileButton: {
        auto *option = new QRadioButton(c.caption, parent);
        panel.profiles[c.number] = option;
        widget = option;
        break;
    }
    case ControlKind::MotionButton: {
        auto *button = new QPushButton(c.caption, parent);
        panel.motion[static_cast<int>(c.motion)] = button;
        widget = button;
        break;
    }
    case ControlKind::VerifyButton:
        panel.verify = new QPushButton(c.caption, parent);
        widget = panel.verify;
        break;
    case ControlKind::AxisButton:
        widget = new QPushButton(c.caption, parent);
        break;
    case ControlKind::Caption: {
        auto *label = new QLabel(c.caption, parent);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        widget = label;
        break;
    }
    case ControlKind::InfoLabel: {
        auto *label = new QLabel(c.caption, parent);
        panel.info[c.number] = label;
        widget = label;
        break;
    }
    case ControlKind::ReadbackLabel: {
        auto *label = new QLabel(c.caption, parent);
        panel.labels[c.role] = label;
        widget = label;
        break;
    }
    }
    widget->setObjectName(c.name);
    panel.byName.insert(c.name, widget);
    return widget;
}

void layOutOptions(const FrameSpec &frame, QGroupBox *box, const Panel &panel)
{
    auto *column = new QVBoxLayout(box);
    auto *row = new QHBoxLayout;
    std::vector<Option> shown;
    for (const ControlSpec &c : frame.controls) {
        if (c.kind == ControlKind::Caption)
            column->addWidget(panel.control(c.name));
        else if (c.kind == ControlKind::OptionButton)
            shown.push_back(c.option);
    }
    // Shown in their natural order (CW before CCW, ON before OFF, 1 to 8),
    // whatever order they were made in.
    std::sort(shown.begin(), shown.end());
    for (Option option : shown)
        row->addWidget(panel.options.at(option));
    row->addStretch();
    column->addLayout(row);
}

void layOutEntry(const FrameSpec &frame, QGroupBox *box, const Panel &panel)
{
    auto *grid = new QGridLayout(box);
    int row = 0;
    for (ParamKey key : panel.entry().keys()) {
        grid->addWidget(panel.boxes.at(key), row, 0);
        grid->addWidget(panel.sendButtons.at(key), row, 1);
        ++row;
    }
    auto *profiles = new QHBoxLayout;
    for (const ControlSpec &c : frame.controls)
        if (c.kind == ControlKind::Caption)
            profiles->addWidget(panel.control(c.name));
    for (QRadioButton *profile : panel.profiles)
        if (profile)
            profiles->addWidget(profile);
    profiles->addStretch();
    grid->addLayout(profiles, row++, 0, 1, 2);
    auto *motion = new QHBoxLayout;
    for (QPushButton *button : panel.motion)
        motion->addWidget(button);
    grid->addLayout(motion, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
}

void layOutReadback(QGroupBox *box, const Panel &panel)
{
    auto *column = new QVBoxLayout(box);
    column->addWidget(panel.verify);
    for (const ResetStep &step : panel.entry().resetOrder) {
        QLabel *label = step.info ? panel.info.at(step.index) : panel.label(step.role);
        label->setMinimumWidth(
            label->fontMetrics().horizontalAdvance(QStringLiteral("Upper Analog Speed: 8388607")));
        // A unit may answer anything; a long reply is cut off at the frame's
        // edge rather than widening the window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        column->addWidget(label);
    }
    if (QLabel *axis = panel.label(ReadbackRole::SelectedAxis))
        column->addWidget(axis);
    column->addStretch();
}

} // namespace

int typingLimit(const QLineEdit *box)
{
    return box->property(TypingLimitProperty).toInt();
}

Panel buildPanel(const ModelSpec &model)
{
    Panel panel;
    panel.model = model.model;
    panel.page = new QWidget;
    panel.page->setObjectName(QStringLiteral("page") + modelId(model.model));

    QList<QWidget *> axisButtons;
    for (const ControlSpec &c : model.panelControls)
        axisButtons << makeControl(c, panel.page, panel);

    QWidget *entryFrame = nullptr;
    QWidget *readback = nullptr;
    QList<QGroupBox *> optionFrames;
    for (const FrameSpec &frame : model.frames) {
        auto *box = new QGroupBox(panel.page);
        box->setObjectName(frame.name);
        box->setAccessibleName(frame.caption);
        panel.byName.insert(frame.name, box);
        for (const ControlSpec &c : frame.controls)
            makeControl(c, box, panel);
        switch (frame.role) {
        case FrameRole::Options:
            layOutOptions(frame, box, panel);
            optionFrames << box;
            break;
        case FrameRole::Entry:
            layOutEntry(frame, box, panel);
            entryFrame = box;
            break;
        case FrameRole::Readback:
            layOutReadback(box, panel);
            readback = box;
            break;
        }
    }
    for (auto &[key, box] : panel.boxes)
        box->setAccessibleName(entryAccessibleName(panel.sendButtons.at(key)->text()));

    // Entry and motion on the left, the drive options in the middle, what the
    // unit holds on the right.
    auto *grid = new QGridLayout(panel.page);
    auto *left = new QVBoxLayout;
    left->addWidget(entryFrame);
    if (!axisButtons.isEmpty()) {
        auto *axisRow = new QHBoxLayout;
        for (QWidget *button : axisButtons)
            axisRow->addWidget(button);
        left->addLayout(axisRow);
    }
    left->addStretch();
    auto *middle = new QVBoxLayout;
    std::sort(optionFrames.begin(), optionFrames.end(), [&](QGroupBox *a, QGroupBox *b) {
        auto first = [&](QGroupBox *frame) {
            Option lowest = Option::AnalogOff;
            for (auto &[option, button] : panel.options)
                if (button->parentWidget() == frame)
                    lowest = std::min(lowest, option);
            return lowest;
        };
        return first(a) < first(b);
    });
    for (QGroupBox *frame : optionFrames)
        middle->addWidget(frame);
    middle->addStretch();
    grid->addLayout(left, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addWidget(readback, 0, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);

    panel.profiles[1]->setChecked(true);
    return panel;
}

} // namespace ktv
