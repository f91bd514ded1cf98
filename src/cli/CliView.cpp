#include "cli/CliView.h"

#include "cli/CliNames.h"
#include "session/SessionTexts.h"

#include <utility>

namespace ktv::cli {

namespace {

// The session's messages carry no code of their own; their icon and the few
// fixed texts a script must tell apart give it.
QString codeOf(MessageIcon icon, const QString &text)
{
    if (text == didNotConnectText())
        return code::NoUnit;
    if (text == notConnectedText())
        return code::NotConnected;
    switch (icon) {
    case MessageIcon::Critical:
        return code::Error;
    case MessageIcon::Exclamation:
        return code::ValueRefused;
    case MessageIcon::Information:
    case MessageIcon::None:
        break;
    }
    return code::Notice;
}

} // namespace

void CliView::showMessage(MessageIcon icon, const QString &text)
{
    showCoded(text, codeOf(icon, text));
}

void CliView::showCoded(const QString &text, const QString &code)
{
    // A message box breaks its lines at CR; a terminal would go back to the
    // start of the line and write over the text.
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    messages << lines;
    printError(lines, code);
}

void CliView::showOpenFailure(MessageIcon, const QString &text, const QString &details)
{
    showCoded(text, code::PortOpenFailed);
    printError(details, code::PortDiagnosis);
}

void CliView::resetReadback(Model, const QString &profile)
{
    readbackProfile = profile;
    fields.clear();
    ++readbacks;
}

void CliView::showUnreadableReply(Model, Field field, const QString &raw)
{
    unreadable_ = raw;
    const QString text = unreadableReplyText(fieldCaption(field), raw);
    messages << text;
    printError(text, code::NoAnswer);
}

void CliView::showField(Model, Field field, const std::optional<QString> &reply, bool)
{
    fields.append({field, reply, std::exchange(unreadable_, QString())});
}

void CliView::showRunStatus(const QString &text)
{
    if (text.isEmpty())
        return;
    messages << text;
    printError(text, code::Status);
}

} // namespace ktv::cli
