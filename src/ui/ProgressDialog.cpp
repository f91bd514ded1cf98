#include "ui/ProgressDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace ktv {

QPushButton *addHardLimitButton(QDialogButtonBox *buttons, std::function<void()> stop)
{
    auto *button = buttons->addButton(QStringLiteral("&Hard Limit"), QDialogButtonBox::ActionRole);
    button->setObjectName(QStringLiteral("cmdHardLimit"));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setToolTip(QStringLiteral("Hard Limit: stops the motor at once"));
    QObject::connect(button, &QPushButton::clicked, button, [stop = std::move(stop)] { stop(); });
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
