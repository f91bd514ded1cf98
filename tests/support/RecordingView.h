#pragma once
// A view of the session without a window: it records what the session asks
// it to show, and its boxes are the texts the test sets.

#include "link/SharedState.h"
#include "session/PanelEntries.h"
#include "session/SessionView.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

namespace ktv::test {

class RecordingView : public SessionView
{
  public:
    struct Message
    {
        MessageIcon icon;
        QString text;
    };
    struct Shown
    {
        Model model;
        Field field;
        std::optional<QString> reply; // none: the unit did not answer
        bool copyIntoBox;
    };

    QList<Message> messages;
    QList<Shown> fields; // every field shown, in order
    QMap<QPair<Model, ParamKey>, QString> boxes;
    bool connected = false;
    QString version;
    bool connectEnabled = true;
    bool waitCursor = false;
    int panel = -1;  // the selected panel, -1 when all are available
    QString profile; // the profile the panels show
    QString runStatus;
    int connectionChanges = 0;
    QStringList events; // "reset KTRA20 1", "axis VELD30 7", ...

    QStringList messageTexts() const;
    // A panel's boxes with the profile and axis in force, as a click hands them.
    PanelEntries entriesOf(Model model, const SharedState &state) const;
    // The last text shown for a field of a model; none when it was not shown
    // or the unit did not answer.
    std::optional<QString> lastShown(Model model, Field field) const;

    void showMessage(MessageIcon icon, const QString &text) override;
    void showWaitCursor() override { waitCursor = true; }
    void showNormalCursor() override { waitCursor = false; }
    void showConnectionStatus(bool isConnected) override { connected = isConnected; }
    void showVersion(const QString &versionText) override { version = versionText; }
    void setConnectEnabled(bool enabled) override { connectEnabled = enabled; }
    void selectPanel(Model model) override { panel = tabIndex(model); }
    void setAllPanelsAvailable() override { panel = -1; }
    void hideMicrostepGroupVELD30() override { events << QStringLiteral("hide microstep"); }
    void setRunButtonsEnabled(Model model, bool enabled) override;
    void resetReadback(Model model, const QString &profile) override;
    void showSelectedProfile(const QString &shown) override { profile = shown; }
    void showField(Model model, Field field, const std::optional<QString> &reply,
                   bool copyIntoBox) override;
    void showSelectedAxis(Model model, const QString &address) override;
    void showRunStatus(const QString &text) override { runStatus = text; }
    void connectionChanged() override { ++connectionChanges; }
};

} // namespace ktv::test
