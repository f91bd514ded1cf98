#pragma once
// A simulated unit on a pseudo-terminal, and a temporary folder with a store
// whose COM 1 is that unit's line. Without a window it offers a session that
// reads that store and shows what it does on a recording view; the window's
// tests build a Workbench on it instead.

#include "RecordingView.h"
#include "UnitSimProcess.h"

#include "session/ChangeTracker.h"
#include "session/UnitSession.h"
#include "store/Journal.h"

#include <QTemporaryDir>
#include <memory>

namespace ktv::test {

// A unit of a model at a baud, with extra arguments for the simulated unit
// (its mode, e.g. {"--mode", "silent"} or {"--also-address", "7"}). The name
// may be one no panel is for, as a unit gives it ("VELD40").
UnitSimOptions unitOf(const QString &model, int baud = 9600, const QStringList &mode = {});
UnitSimOptions unitOf(Model model, int baud = 9600, const QStringList &mode = {});

struct UnitOnLine
{
    explicit UnitOnLine(Model model = Model::KTRA20, int baud = 9600, const QStringList &mode = {});
    explicit UnitOnLine(const UnitSimOptions &options);
    ~UnitOnLine();
    UnitOnLine(const UnitOnLine &) = delete;
    UnitOnLine &operator=(const UnitOnLine &) = delete;

    // The store read, the unit not yet looked for: as before a Connect.
    void readStore();
    // Connected as at start-up (the store read, the unit found); the unit's
    // record then holds only what follows the connection.
    void connect();

    UnitSimProcess unit;
    bool started = false;
    QTemporaryDir dir;
    QString storePath;
    RecordingView view;
    std::unique_ptr<UnitSession> session;
};

// A line whose session feeds a change journal, as the window's does: the
// journal is journal.sqlite in the line's folder unless a path is given.
struct JournalledLine : UnitOnLine
{
    explicit JournalledLine(const UnitSimOptions &options, const QString &journalPath = {});
    ~JournalledLine();

    // Every journal row, the columns given joined by "|".
    QStringList rows(const QString &columns) const;

    Journal journal;
    std::unique_ptr<ChangeTracker> tracker;
};

} // namespace ktv::test
