#pragma once
// The real main window with its real session and serial link, reading the
// store of a unit's line, or a store in a temporary folder whose port map
// points COM 1 at a device of the test's choice; every message is recorded
// instead of shown.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "link/SerialLink.h"
#include "link/SharedState.h"
#include "session/ChangeTracker.h"
#include "session/UnitSession.h"
#include "store/Journal.h"
#include "ui/MainWindow.h"
#include "ui/Toolkit.h"

#include <QLineEdit>
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

// Records the messages of one window's toolkit for its lifetime.
class MessageRecorder
{
  public:
    explicit MessageRecorder(Toolkit &toolkit);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;
    QList<RecordedMessage> messages;
    std::function<void(const RecordedMessage &)> onMessage; // runs inside the message call
    QStringList texts() const;

  private:
    Toolkit &toolkit_;
};

// True while the application shows the wait cursor, as the operator sees it.
bool isWaitCursorShown();

class Workbench
{
  public:
    // device: what COM 1 opens; an empty text leaves the map empty.
    explicit Workbench(const QString &device = {}, int comPort = 1);
    // The window on the unit's line, reading the line's store.
    explicit Workbench(UnitOnLine &line);
    ~Workbench();

    // Loads the window as at start-up: true when it connected to the unit of
    // its line without a message. The unit's record then holds only what
    // follows the connection.
    bool connect();

    UnitOnLine *const line; // none on a bare device
    QTemporaryDir dir;
    QString storePath;
    UnitSession session;
    SharedState &state;
    SerialLink &link;
    std::unique_ptr<MainWindow> window;
    MessageRecorder recorder;
    // The change journal in the temporary folder, filled from the wire.
    QString journalPath;
    Journal journal;
    ChangeTracker tracker;

    void load() { window->load(); }
    Panel &panel(Model model) { return window->panel(model); }
    QLineEdit *box(Model model, ParamKey key) { return panel(model).boxes.at(key); }
    template <class T> T *find(const QString &name) const { return window->findChild<T *>(name); }

  private:
    Workbench(UnitOnLine *onLine, const QString &device, int comPort);
};

} // namespace ktv::test
