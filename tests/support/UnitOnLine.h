#pragma once
// A simulated unit on a pseudo-terminal, and a temporary folder with a store
// whose COM 1 is that unit's line. Without a window it offers a session that
// reads that store and shows what it does on a recording view; the window's
// tests build a Workbench on it instead.

#include "RecordingView.h"
#include "UnitSimProcess.h"

#include "session/UnitSession.h"

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

    UnitSimProcess unit;
    bool started = false;
    QTemporaryDir dir;
    QString storePath;
    RecordingView view;
    std::unique_ptr<UnitSession> session;
};

} // namespace ktv::test
