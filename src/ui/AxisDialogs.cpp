#include "ui/AxisDialogs.h"

#include "session/UnitSession.h"
#include "ui/MainWindow.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ktv {

bool keepDigitsOnly(QLineEdit *box)
{
    const QString text = box->text();
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            box->clear();
            return false;
        }
    }
    return true;
}

AxisDialog::AxisDialog(MainWindow &window, const QString &objectName, const QString &caption,
                       const QStringList &labelTexts, const QString &boxName)
    : QDialog(&window), window_(window)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setModal(false);
    setMinimumWidth(fontMetrics().averageCharWidth() * 44);
    auto *column = new QVBoxLayout(this);
    int number = 1;
    QLabel *boxLabel = nullptr;
    for (const QString &text : labelTexts) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("Label%1").arg(number));
        label->setWordWrap(true);
        column->addWidget(label);
        boxLabel = label;
        number += 2; // the define dialog's labels are Label1 and Label3
    }
    box_ = new QLineEdit(this);
    box_->setObjectName(boxName);
    box_->setMaxLength(2);
    // The box is named for the label just above it.
    if (boxLabel) {
        box_->setAccessibleName(boxLabel->text());
        boxLabel->setBuddy(box_);
    }
    box_->installEventFilter(this);
    // A paste is filtered like typing.
    connect(box_, &QLineEdit::textEdited, this, [this] { keepDigitsOnly(box_); });
    column->addWidget(box_);
    current_ = new QLabel(this);
    current_->setObjectName(QStringLiteral("lblCurrentAxis"));
    current_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(current_);
    auto *buttons = new QHBoxLayout;
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("cmdOk"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    column->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &AxisDialog::pressOk);
    connect(cancel_, &QPushButton::clicked, this, &AxisDialog::pressCancel);
    setTabOrder(box_, ok_);
    setTabOrder(ok_, cancel_);
}

void AxisDialog::showDialog()
{
    if (loaded_) {
        show();
        raise();
        activateWindow();
        return;
    }
    loaded_ = true;
    box_->clear();
    adjustSize();
    centreOnScreen(this);
    loadStep();
    if (!loaded_ || window_.session().isEnding())
        return;
    show();
    box_->setFocus();
}

void AxisDialog::pressOk()
{
    if (!loaded_)
        return;
    keepDigitsOnly(box_);
    okStep();
    done(Accepted);
}

void AxisDialog::pressCancel()
{
    if (loaded_)
        done(Rejected);
}

void AxisDialog::dismiss()
{
    if (!loaded_)
        return;
    loaded_ = false;
    QDialog::done(Rejected);
    abandonStep();
}

void AxisDialog::done(int result)
{
    // OK, Cancel, Esc and the close box all end here: the unload step runs
    // once, whatever closed the dialog.
    QDialog::done(result);
    if (!loaded_)
        return;
    loaded_ = false;
    unloadStep();
}

bool AxisDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == box_ && event->type() == QEvent::KeyRelease)
        keepDigitsOnly(box_);
    return QDialog::eventFilter(watched, event);
}

AxisSelectDialog::AxisSelectDialog(MainWindow &window)
    : AxisDialog(window, QStringLiteral("frmAxisSelect"), QStringLiteral("Axis Select"),
                 {QStringLiteral("Select New Axis (0 - 99)")}, QStringLiteral("txtSelectAxis"))
{
    current_->setText(QStringLiteral("Current Selected Axis:"));
}

void AxisSelectDialog::loadStep()
{
    current_->setText(QStringLiteral("Current Axis: ") + window_.session().state.AxisAddress);
}

void AxisSelectDialog::okStep()
{
    window_.session().selectAxis(box_->text());
}

void AxisSelectDialog::unloadStep()
{
    hide();
    window_.session().axisSelectDone();
}

AxisDefineDialog::AxisDefineDialog(MainWindow &window)
    : AxisDialog(window, QStringLiteral("frmAxisDefine"), QStringLiteral("Axis Define"),
                 {QStringLiteral("This command will define the controller's address. Make sure "
                                 "only 1 controller is connected."),
                  QStringLiteral("Define the QDR60's Axis (0 - 99)")},
                 QStringLiteral("txtChangeAxis"))
{
    current_->setText(QStringLiteral("Current Axis Definition:"));
}

void AxisDefineDialog::loadStep()
{
    current_->setText(QStringLiteral("Current Axis Definition:"));
    TempVar.clear();
    WasOpen = window_.session().link.PortOpen() ? 1 : 0;
    if (const std::optional<QString> reply = window_.session().beginAxisDefine()) {
        TempVar = *reply;
        // Two answers run together ("3" and "42" read as "342"): say what
        // they are instead.
        current_->setText(current_->text() + (window_.session().axisDefineCollision()
                                                  ? QStringLiteral(" more than one unit answers")
                                                  : TempVar));
    }
}

void AxisDefineDialog::okStep()
{
    window_.session().defineAxis(box_->text());
}

void AxisDefineDialog::abandonStep()
{
    window_.session().abandonAxisDefine();
}

void AxisDefineDialog::unloadStep()
{
    if (WasOpen != 0)
        hide();
    window_.session().endAxisDefine();
}

} // namespace ktv
