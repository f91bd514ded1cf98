#pragma once
// How the session reaches the operator. The main window is one view, the
// command-line tool another, the tests' recording view a third. The session
// never touches a widget: each action hands it what the operator gave (the
// PanelEntries of a send), and it tells its view what to show.

#include "protocol/Models.h"

#include <QString>
#include <optional>

namespace ktv {

enum class MessageIcon { None, Critical, Exclamation, Information };

class SessionView
{
  public:
    virtual ~SessionView() = default;

    // A modal message with one OK button; returns once the operator has seen it.
    virtual void showMessage(MessageIcon icon, const QString &text) = 0;
    // A port that did not open: the same message, with the cause and the fix
    // in plain words for the operator who wants them.
    virtual void showOpenFailure(MessageIcon icon, const QString &text, const QString &details)
    {
        (void)details;
        showMessage(icon, text);
    }
    // Not a stack: a second wait cursor changes nothing, one normal cursor
    // always brings the default pointer back.
    virtual void showWaitCursor() = 0;
    virtual void showNormalCursor() = 0;

    // The connection area.
    virtual void showConnectionStatus(bool connected) = 0;
    virtual void showVersion(const QString &versionText) = 0;
    virtual void setConnectEnabled(bool enabled) = 0;

    // The panels: the identified unit's panel alone is available; after a
    // disconnect all of them are.
    virtual void selectPanel(Model model) = 0;
    virtual void setAllPanelsAvailable() = 0;
    virtual void hideMicrostepGroupVELD30() = 0;
    // Verify Parameters and Begin Motion of a panel, off while its run lasts.
    virtual void setRunButtonsEnabled(Model model, bool enabled) = 0;

    // Every panel's profile buttons show the profile the next motion line runs.
    virtual void showSelectedProfile(const QString &profile) = 0;

    // A read-back run: the labels are reset, then each field is shown as it
    // arrives (reply: CR removed, except for ramp down, which keeps it; no
    // value when the unit did not answer in time).
    virtual void resetReadback(Model model, const QString &profile) = 0;
    virtual void showField(Model model, Field field, const std::optional<QString> &reply,
                           bool copyIntoBox) = 0;
    virtual void showSelectedAxis(Model model, const QString &address) = 0;
    // A run that takes only valid replies got one it cannot read ("77" for
    // reduced current), as read, CR included; the field is then shown
    // without a value.
    virtual void showUnreadableReply(Model model, Field field, const QString &raw)
    {
        (void)model;
        (void)field;
        (void)raw;
    }
    // One line where the operator looks, not a message box ("No answer from
    // the unit at address 0 to: Direction"); empty clears it.
    virtual void showRunStatus(const QString &text) = 0;

    // The connection changed (connect, disconnect, a lost line, new
    // settings): whatever was opened against the old one closes without
    // sending anything.
    virtual void connectionChanged() = 0;

    // While a scan runs: the port and rate being tried, as one added line
    // ("Trying COM 1 (/dev/pts/3) at 28800 baud"); empty once the scan ends.
    virtual void showScanProgress(const QString &text) { (void)text; }
};

// A view that shows nothing: the session's own until a view is set, and the
// base of views that take only a part of what the session shows.
class SilentView : public SessionView
{
  public:
    void showMessage(MessageIcon, const QString &) override {}
    void showWaitCursor() override {}
    void showNormalCursor() override {}
    void showConnectionStatus(bool) override {}
    void showVersion(const QString &) override {}
    void setConnectEnabled(bool) override {}
    void selectPanel(Model) override {}
    void setAllPanelsAvailable() override {}
    void hideMicrostepGroupVELD30() override {}
    void setRunButtonsEnabled(Model, bool) override {}
    void resetReadback(Model, const QString &) override {}
    void showSelectedProfile(const QString &) override {}
    void showField(Model, Field, const std::optional<QString> &, bool) override {}
    void showSelectedAxis(Model, const QString &) override {}
    void showRunStatus(const QString &) override {}
    void connectionChanged() override {}
};

} // namespace ktv
