#include "ui/ResultsDatabaseDialog.h"

#include "store/ResultsSchema.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"
#include "ui/Toolkit.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace ktv {

ResultsDatabaseDialog::ResultsDatabaseDialog(const QString &storePath, ResultsWorker &worker,
                                             Toolkit &toolkit, QWidget *parent)
    : QDialog(parent), storePath_(storePath), worker_(worker), toolkit_(toolkit)
{
    setObjectName(QStringLiteral("frmResultsDatabase"));
    setWindowTitle(QStringLiteral("Results Database"));
    setModal(true);
    auto *grid = new QGridLayout(this);
    auto *label = new QLabel(QStringLiteral("&Connection:"), this);
    label->setObjectName(QStringLiteral("lblSetting"));
    setting_ = new QLineEdit(this);
    setting_->setObjectName(QStringLiteral("txtResultsSetting"));
    setting_->setAccessibleName(QStringLiteral("Connection:"));
    setting_->setPlaceholderText(
        QStringLiteral("host=db.plant port=5432 dbname=lines user=bench7"));
    setting_->setMinimumWidth(setting_->fontMetrics().averageCharWidth() * 56);
    label->setBuddy(setting_);
    auto *hint = new QLabel(QStringLiteral("The password goes into ~/.pgpass, never here. "
                                           "An empty box: results stay on this bench."),
                            this);
    hint->setObjectName(QStringLiteral("lblHint"));
    hint->setWordWrap(true);
    test_ = new QPushButton(QStringLiteral("&Test"), this);
    test_->setObjectName(QStringLiteral("cmdTest"));
    test_->setAutoDefault(false);
    connect(test_, &QPushButton::clicked, this, &ResultsDatabaseDialog::testConnection);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("lblTestResult"));
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ResultsDatabaseDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    grid->addWidget(label, 0, 0);
    grid->addWidget(setting_, 0, 1);
    grid->addWidget(test_, 0, 2);
    grid->addWidget(hint, 1, 1, 1, 2);
    grid->addWidget(result_, 2, 0, 1, 3);
    grid->addWidget(buttons, 3, 0, 1, 3);

    const StoredResultsSetting stored = readResultsSetting(storePath_);
    setting_->setText(stored.setting);
    result_->setText(stored.problem);
}

void ResultsDatabaseDialog::testConnection()
{
    const QString text = setting_->text().trimmed();
    if (text.isEmpty()) {
        result_->setText(QStringLiteral("No results server is set: results stay on this bench."));
        return;
    }
    // On the results worker's thread, with a connection of its own that
    // ends with the test: the window goes on while the server is silent.
    test_->setEnabled(false);
    result_->setText(QStringLiteral("Testing…"));
    QPointer<ResultsDatabaseDialog> self(this);
    worker_.post([text, self](ResultsServers &) -> ResultsWorker::Reply {
        ResultsServer server(text);
        const ServerProbe probe = server.probe();
        const QString note = server.settingNote();
        return [self, probe, note] {
            if (!self)
                return;
            self->test_->setEnabled(true);
            self->result_->setText(note.isEmpty() ? probe.text
                                                  : probe.text + QLatin1Char(' ') + note);
            emit self->tested(probe.outcome);
        };
    });
}

void ResultsDatabaseDialog::accept()
{
    QString problem;
    if (!writeResultsSetting(storePath_, setting_->text(), &problem)) {
        toolkit_.showMessage(MessageIcon::Critical, problem);
        setting_->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace ktv
