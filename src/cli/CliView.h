#pragma once
// The command line's view of the session. Messages go to stderr as they come
// (and are kept for the JSON document); cursors, buttons and panels have no
// counterpart here.

#include "cli/CliOutput.h"
#include "session/SessionView.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ktv::cli {

class CliView : public SessionView
{
  public:
    struct ShownField
    {
        Field field;
        std::optional<QString> reply; // none: the unit did not answer in time
        QString unreadable;           // a reply that came but is no answer, as read
    };

    void showMessage(MessageIcon icon, const QString &text) override;
    // The message, then the cause and the fix of the failed opening.
    void showOpenFailure(MessageIcon icon, const QString &text, const QString &details) override;
    void showWaitCursor() override {}
    void showNormalCursor() override {}
    void showConnectionStatus(bool) override {}
    void showVersion(const QString &versionText) override { version = versionText; }
    void setConnectEnabled(bool) override {}
    void selectPanel(Model model) override { panel = model; }
    void setAllPanelsAvailable() override { panel.reset(); }
    void hideMicrostepGroupVELD30() override {}
    void setRunButtonsEnabled(Model, bool) override {}
    void showSelectedProfile(const QString &) override {}
    void resetReadback(Model model, const QString &profile) override;
    void showField(Model model, Field field, const std::optional<QString> &reply,
                   bool copyIntoBox) override;
    void showSelectedAxis(Model, const QString &) override {}
    // Said on stderr at once; the field then shows it instead of a value.
    void showUnreadableReply(Model model, Field field, const QString &raw) override;
    void showRunStatus(const QString &text) override;
    void connectionChanged() override {}

    // What the session showed.
    QStringList messages;
    QString version;
    std::optional<Model> panel;
    QString readbackProfile;
    QList<ShownField> fields; // of the last read-back, in the order asked
    int readbacks = 0;        // read-back runs started

  private:
    void showCoded(const QString &text, const QString &code);

    QString unreadable_; // for the field shown next
};

} // namespace ktv::cli
