#include "cli/CliView.h"

#include "cli/CliNames.h"
#include "session/SessionTexts.h"

#include <utility>

#include <cstdio>

namespace ktv::cli {

void printError(const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void CliView::showMessage(MessageIcon, const QString &text)
{
    // A message box breaks its lines at CR; a terminal would go back to the
    // start of the line and write over the text.
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    messages << lines;
    printError(lines);
}

void CliView::showOpenFailure(MessageIcon icon, const QString &text, const QString &details)
{
    showMessage(icon, text);
    printError(details);
}

QString CliView::boxText(Model, ParamKey key) const
{
    const auto it = given.constFind(key);
    return it != given.constEnd() ? *it : held_.value(key);
}

void CliView::resetReadback(Model, const QString &profile)
{
    readbackProfile = profile;
    fields.clear();
    held_.clear();
    ++readbacks;
}

void CliView::showUnreadableReply(Model, Field field, const QString &raw)
{
    unreadable_ = raw;
    const QString text = unreadableReplyText(fieldCaption(field), raw);
    messages << text;
    printError(text);
}

void CliView::showField(Model, Field field, const std::optional<QString> &reply, bool)
{
    fields.append({field, reply, std::exchange(unreadable_, QString())});
    if (isNumericField(field) && reply)
        held_[paramKeyOf(field)] = *reply;
}

void CliView::showRunStatus(const QString &text)
{
    if (text.isEmpty())
        return;
    messages << text;
    printError(text);
}

} // namespace ktv::cli
