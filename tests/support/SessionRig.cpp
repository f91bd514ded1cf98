#include "SessionRig.h"

#include "Helpers.h"

namespace ktv::test {

UnitSimOptions unitOf(const QString &model, int baud, const QStringList &extraArgs)
{
    UnitSimOptions options;
    options.model = model;
    options.baud = baud;
    options.extraArgs = extraArgs;
    return options;
}

SessionRig::SessionRig(const UnitSimOptions &options) : unit(options)
{
    started = unit.start();
    storePath = dir.filePath(QStringLiteral("config.qdr"));
    writeStore(storePath, 1, {{1, unit.devicePath()}});
    session = std::make_unique<UnitSession>(storePath);
    session->setView(&view);
}

SessionRig::~SessionRig()
{
    session->link.closePort();
}

void SessionRig::readStore()
{
    session->LoadConfiguration();
    session->state.AxisAddress = QStringLiteral("0");
    session->state.SelectedProfile = QStringLiteral("1");
}

} // namespace ktv::test
