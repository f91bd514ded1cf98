#pragma once
// A simulated unit on a pseudo-terminal and a session whose COM 1 is that
// unit's line, with a recording view and no window.

#include "RecordingView.h"
#include "UnitSimProcess.h"

#include "session/UnitSession.h"

#include <QTemporaryDir>
#include <memory>

namespace ktv::test {

UnitSimOptions unitOf(const QString &model, int baud = 9600, const QStringList &extraArgs = {});

struct SessionRig
{
    explicit SessionRig(const UnitSimOptions &options);
    ~SessionRig();
    SessionRig(const SessionRig &) = delete;
    SessionRig &operator=(const SessionRig &) = delete;

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
