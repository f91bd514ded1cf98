#include "ui/ResultsActions.h"

#include "session/UnitSession.h"
#include "store/JournalWriter.h"
#include "store/ResultsWorker.h"
#include "ui/MainWindow.h"
#include "ui/ProductionRunDialog.h"
#include "ui/ResultsDatabaseDialog.h"
#include "ui/ResultsSender.h"
#include "ui/ResultsWindow.h"
#include "ui/SheetActions.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>

namespace ktv {

ResultsActions::ResultsActions(MainWindow &window, UnitSession &session, SheetActions &sheets)
    : window_(window), session_(session), sheets_(sheets), worker_(new ResultsWorker(&window))
{
    worker_->setObjectName(QStringLiteral("resultsWorker"));
}

ResultsSender *ResultsActions::sender()
{
    if (!sender_) {
        sender_ = new ResultsSender(session_.storePath, sheets_.journalPath(), *worker_, &window_);
        QObject::connect(sender_, &ResultsSender::status, &window_, &MainWindow::showRunStatus);
    }
    return sender_;
}

void ResultsActions::addSetupEntries(QMenu *setup)
{
    QAction *database = setup->addAction(QStringLiteral("&Results Database..."));
    database->setObjectName(QStringLiteral("mnuResultsDatabase"));
    database->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    QObject::connect(database, &QAction::triggered, &window_, [this] { openResultsDatabase(); });
}

void ResultsActions::addToolsEntries(QMenu *tools)
{
    QAction *productionRun = tools->addAction(QStringLiteral("&Production Run..."));
    productionRun->setObjectName(QStringLiteral("mnuProductionRun"));
    productionRun->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QObject::connect(productionRun, &QAction::triggered, &window_, [this] { openProductionRun(); });
    QAction *results = tools->addAction(QStringLiteral("&Results..."));
    results->setObjectName(QStringLiteral("mnuResults"));
    results->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    QObject::connect(results, &QAction::triggered, &window_, [this] { openResults(); });
}

void ResultsActions::startSending()
{
    sender()->start();
}

void ResultsActions::openProductionRun()
{
    ProductionRunDialog dialog(
        session_,
        {[this] { return sheets_.chooseFile(SheetFileUse::Load); },
         [this] {
             window_.pressStop(static_cast<Model>(window_.SSTab1()->currentIndex()),
                               frame::Motion::StopAll);
         },
         [this](const QString &problem) { window_.showMessage(MessageIcon::Critical, problem); },
         sheets_.reportFiles(),
         // On the window's thread, returning at once: the journal row is
         // written on the journal writer's thread (a journal another program
         // holds is waited for there), then the send is enqueued for the
         // results worker. Neither ever holds a line or the window.
         [this, sender = sender()](const CheckReport &report,
                                   std::function<void(const QString &)> told) {
             if (sheets_.journalPath().isEmpty())
                 return;
             if (!journalWriter_)
                 journalWriter_ = new JournalWriter(sheets_.journalPath(), &window_);
             journalWriter_->record(
                 report, [sender = QPointer<ResultsSender>(sender), report,
                          told = std::move(told)](bool recorded, const QString &problem) {
                     if (sender)
                         sender->send(report, recorded, problem, told);
                 });
         }},
        &window_);
    QObject::connect(&window_, &MainWindow::programEnding, &dialog,
                     &ProductionRunDialog::programEnds);
    dialog.exec();
}

void ResultsActions::openResults()
{
    ResultsWindow(session_.storePath, sheets_.journalPath(), *worker_, window_.toolkit(), &window_)
        .exec();
}

void ResultsActions::openResultsDatabase()
{
    ResultsDatabaseDialog(session_.storePath, *worker_, window_.toolkit(), &window_).exec();
}

} // namespace ktv
