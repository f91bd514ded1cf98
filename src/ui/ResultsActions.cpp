#include "ui/ResultsActions.h"

#include "session/UnitSession.h"
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
    : window_(window), session_(session), sheets_(sheets)
{
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
    auto *sender = new ResultsSender(
        session_.storePath, sheets_.journalPath(), [this] { return session_.Times > 0; }, &window_);
    QObject::connect(sender, &ResultsSender::status, &window_, &MainWindow::showRunStatus);
    sender->start();
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
         // On a line's own thread: the paths are taken now.
         [store = session_.storePath, journal = sheets_.journalPath()](const CheckReport &report) {
             return ResultsSender::keep(store, journal, report);
         }},
        &window_);
    QObject::connect(&window_, &MainWindow::programEnding, &dialog,
                     &ProductionRunDialog::programEnds);
    dialog.exec();
}

void ResultsActions::openResults()
{
    ResultsWindow(session_.storePath, sheets_.journalPath(), window_.toolkit(), &window_).exec();
}

void ResultsActions::openResultsDatabase()
{
    ResultsDatabaseDialog(session_.storePath, window_.toolkit(), &window_).exec();
}

} // namespace ktv
