#include "ui/ResultsActions.h"

#include "session/UnitSession.h"
#include "store/ResultsWorker.h"
#include "ui/MainWindow.h"
#include "ui/ProductionRunDialog.h"
#include "ui/ResultsDatabaseDialog.h"
#include "ui/ResultsSender.h"
#include "ui/ResultsWindow.h"
#include "ui/SheetActions.h"

#include <QAction>
#include <QMenu>
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
         // On a line's own thread: the journal is written there, and the
         // send is only enqueued, on the window's thread (where the worker
         // takes its jobs), with a queued call that never waits.
         [journal = sheets_.journalPath(),
          sender = sender()](const CheckReport &report, std::function<void(const QString &)> told) {
             QString problem;
             const bool recorded = ResultsSender::record(journal, report, &problem);
             QMetaObject::invokeMethod(
                 sender,
                 [sender, report, recorded, problem, told = std::move(told)]() mutable {
                     sender->send(report, recorded, problem, std::move(told));
                 },
                 Qt::QueuedConnection);
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
