#include "protocol/CellText.h"

#include <algorithm>

namespace ktv {

QString csvCell(const QString &text)
{
    // A spreadsheet drops a leading tab, line break or space (a no-break
    // one too) before it reads a formula, and takes the full-width signs
    // for the plain ones.
    static const QString FormulaStarts =
        QStringLiteral("=+-@\t\r\n \u00a0\uff1d\uff0b\uff0d\uff20");
    QString cell = text;
    if (!cell.isEmpty() && FormulaStarts.contains(cell.front()))
        cell.prepend(QLatin1Char('\''));
    const bool quoted = cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) ||
                        cell.contains(QLatin1Char('\r')) || cell.contains(QLatin1Char('\n')) ||
                        cell != cell.trimmed();
    if (!quoted)
        return cell;
    cell.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + cell + QLatin1Char('"');
}

QString terminalCell(const QString &text)
{
    auto isControl = [](char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            shown += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace ktv
