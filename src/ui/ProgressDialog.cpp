#include "ui/ProgressDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcutEvent>
#include <QVBoxLayout>

namespace ktv {

namespace {

class ClickAtOnce : public QObject
{
  public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Shortcut ||
            static_cast<QShortcutEvent *>(event)->isAmbiguous())
            return false;
        auto *button = static_cast<QAbstractButton *>(watched);
        if (button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

QPushButton *addHardLimitButton(QDialogButtonBox *buttons, std::function<void()> stop)
{
    auto *button = buttons->addButton(QStringLiteral("&Hard Limit"), QDialogButtonBox::ActionRole);
    button->setObjectName(QStringLiteral("cmdHardLimit"));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setToolTip(QStringLiteral("Hard Limit: stops the motor at once"));
    QObject::connect(button, &QPushButton::clicked, button, [stop = std::move(stop)] { stop(); });
    // Alt+H clicks at once: a button's access key would show the click for
    // 0.1 s before it goes.
    button->installEventFilter(new ClickAtOnce(button));
    return button;
}

ProgressDialog::ProgressDialog(const QString &title, std::function<void()> hardLimit,
                               QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(360);
    auto *column = new QVBoxLayout(this);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("lblProgress"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("barProgress"));
    bar_->setRange(0, 0);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    hardLimit_ = addHardLimitButton(buttons, std::move(hardLimit));
    column->addWidget(label_);
    column->addWidget(bar_);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Esc and the close box reject the dialog as Cancel does.
    connect(this, &QDialog::rejected, this, &ProgressDialog::canceled);
    cancel->setFocus();
}

void ProgressDialog::setLabelText(const QString &text)
{
    label_->setText(text);
}

void ProgressDialog::setProgress(int done, int total)
{
    bar_->setRange(0, total);
    bar_->setValue(done);
}

} // namespace ktv
