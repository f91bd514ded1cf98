#include "cli/CliOutput.h"

#include "cli/CliCommands.h"
#include "cli/CliView.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace ktv::cli {

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

QString table(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

int usageError(const QString &text, const QString &command)
{
    printError(Program + QStringLiteral(": ") + text);
    printError(QStringLiteral("Try '%1%2 --help'.")
                   .arg(Program, command.isEmpty() ? QString() : QLatin1Char(' ') + command));
    return ExitUsage;
}

} // namespace ktv::cli
