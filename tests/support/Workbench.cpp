#include "Workbench.h"

#include <QCursor>
#include <QGuiApplication>

namespace ktv::test {

MessageRecorder::MessageRecorder(Toolkit &toolkit) : toolkit_(toolkit)
{
    toolkit_.setMessageSink([this](MessageIcon icon, const QString &text) {
        messages.append({icon, text});
        if (onMessage)
            onMessage(messages.last());
    });
}

MessageRecorder::~MessageRecorder()
{
    toolkit_.setMessageSink({});
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const RecordedMessage &m : messages)
        result << m.text;
    return result;
}

bool isWaitCursorShown()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

namespace {
QString prepareStore(const QTemporaryDir &dir, const QString &device, int comPort)
{
    const QString path = dir.filePath(QStringLiteral("config.qdr"));
    QMap<int, QString> map;
    if (!device.isEmpty())
        map.insert(1, device);
    writeStore(path, comPort, map);
    return path;
}
} // namespace

Workbench::Workbench(const QString &device, int comPort) : Workbench(nullptr, device, comPort) {}

Workbench::Workbench(UnitOnLine &line) : Workbench(&line, {}, 1) {}

Workbench::Workbench(UnitOnLine *onLine, const QString &device, int comPort)
    : line(onLine), storePath(onLine ? onLine->storePath : prepareStore(dir, device, comPort)),
      session(storePath), state(session.state), link(session.link),
      window(std::make_unique<MainWindow>(session)), recorder(window->toolkit()),
      journalPath(dir.filePath(QStringLiteral("journal.sqlite"))), journal(journalPath),
      tracker(session, &journal)
{
    window->setChangeTracking(&tracker, journalPath);
}

Workbench::~Workbench()
{
    link.closePort();
}

bool Workbench::connect()
{
    if (!line || !line->started)
        return false;
    load();
    line->unit.clearRecord();
    return state.UnitConnected && recorder.messages.isEmpty();
}

} // namespace ktv::test
