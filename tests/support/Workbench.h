#pragma once
// The real main window with its real serial link, wired to a store in a
// temporary folder whose port map points COM 1 at a device of the test's
// choice (usually the simulated unit), and with every message recorded
// instead of shown.

#include "app/MainWindow.h"
#include "app/SharedState.h"
#include "app/Toolkit.h"
#include "link/SerialLink.h"

#include <QList>
#include <QMap>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace ktv::test {

struct RecordedMessage
{
    MessageIcon icon;
    QString text;
};

// Installs itself as the message seam for its lifetime.
class MessageRecorder
{
  public:
    MessageRecorder();
    ~MessageRecorder();
    QList<RecordedMessage> messages;
    std::function<void(const RecordedMessage &)> onMessage; // runs inside the message call
    QStringList texts() const;
};

// Writes a store: "Main Table" with the COM port in its third field, and a
// "Port Map" for the given ports. A port value of std::nullopt writes NULL.
bool writeStore(const QString &path, const QVariant &comPort, const QMap<int, QString> &portMap);

class Workbench
{
  public:
    // device: what COM 1 opens; an empty text leaves the map empty.
    explicit Workbench(const QString &device = {}, int comPort = 1);
    ~Workbench();

    QTemporaryDir dir;
    QString storePath;
    MessageRecorder recorder;
    SharedState state;
    SerialLink link{state};
    std::unique_ptr<MainWindow> window;

    void load() { window->load(); }
    Panel &panel(Model model) { return window->panel(model); }
    template <class T> T *find(const QString &name) const { return window->findChild<T *>(name); }
};

// Waits until a condition holds, running the event loop in short slices.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

} // namespace ktv::test
