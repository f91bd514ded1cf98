#include "UnitOnLine.h"

#include "Helpers.h"

namespace ktv::test {

UnitSimOptions unitOf(const QString &model, int baud, const QStringList &mode)
{
    UnitSimOptions options;
    options.model = model;
    options.baud = baud;
    options.extraArgs = mode;
    return options;
}

UnitSimOptions unitOf(Model model, int baud, const QStringList &mode)
{
    return unitOf(modelId(model), baud, mode);
}

UnitOnLine::UnitOnLine(Model model, int baud, const QStringList &mode)
    : UnitOnLine(unitOf(model, baud, mode))
{
}

UnitOnLine::UnitOnLine(const UnitSimOptions &options) : unit(options)
{
    started = unit.start();
    storePath = dir.filePath(QStringLiteral("config.qdr"));
    started = writeStore(storePath, 1, {{1, unit.devicePath()}}) && started;
    session = std::make_unique<UnitSession>(storePath);
    session->setView(&view);
}

UnitOnLine::~UnitOnLine()
{
    session->link.closePort();
}

void UnitOnLine::readStore()
{
    session->LoadConfiguration();
    session->state.AxisAddress = QStringLiteral("0");
    session->state.SelectedProfile = QStringLiteral("1");
}

void UnitOnLine::connect()
{
    session->load();
    unit.clearRecord();
}

JournalledLine::JournalledLine(const UnitSimOptions &options, const QString &journalPath)
    : UnitOnLine(options),
      journal(journalPath.isEmpty() ? dir.filePath(QStringLiteral("journal.sqlite")) : journalPath),
      tracker(std::make_unique<ChangeTracker>(*session, &journal))
{
}

// The tracker goes before the session it listens to.
JournalledLine::~JournalledLine()
{
    tracker.reset();
}

QStringList JournalledLine::rows(const QString &columns) const
{
    return journalRows(journal.path(), columns);
}

} // namespace ktv::test
