#include "cli/CliOutput.h"

#include "cli/CliCommands.h"
#include "protocol/CellText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace ktv::cli {

namespace {

QList<CliMessage> &record()
{
    static QList<CliMessage> messages;
    return messages;
}

struct OutputState
{
    bool printed = false;
    int failure = 0; // errno of the first write that failed
};

OutputState &output()
{
    static OutputState state;
    return state;
}

void writeError(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

void printOut(const QString &text)
{
    OutputState &state = output();
    state.printed = true;
    errno = 0;
    if ((std::fputs(text.toUtf8().constData(), stdout) < 0 || std::fflush(stdout) != 0) &&
        state.failure == 0)
        state.failure = errno != 0 ? errno : EIO;
}

void printError(const QString &text, const QString &code)
{
    // A station's lines and its results' sender say things from threads of
    // their own.
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    record().append({code, text});
    writeError(text + QLatin1Char('\n'));
}

void printProgress(const QString &text)
{
    writeError(text + QLatin1Char('\n'));
}

const QList<CliMessage> &printedMessages()
{
    return record();
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

QString table(const QList<QStringList> &rows)
{
    // A cell's control characters are shown, never sent to the terminal.
    QList<QStringList> shown = rows;
    for (QStringList &row : shown)
        for (QString &cell : row)
            cell = terminalCell(cell);
    QList<qsizetype> widths;
    for (const QStringList &row : shown)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    QString text;
    for (const QStringList &row : shown) {
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
    printError(Program + QStringLiteral(": ") + text +
                   QStringLiteral("\nTry '%1%2 --help'.")
                       .arg(Program, command.isEmpty() ? QString() : QLatin1Char(' ') + command),
               code::UsageError);
    return ExitUsage;
}

void printDocument(const QString &command, int exitCode, QJsonObject members)
{
    QJsonArray messages;
    for (const CliMessage &message : record())
        messages.append(QJsonObject{{QStringLiteral("code"), message.code},
                                    {QStringLiteral("text"), message.text}});
    members[QStringLiteral("format")] = DocumentFormat;
    members[QStringLiteral("command")] = command.isEmpty() ? QJsonValue() : QJsonValue(command);
    members[QStringLiteral("exit")] = exitCode;
    members[QStringLiteral("messages")] = messages;
    printOut(QString::fromUtf8(QJsonDocument(members).toJson(QJsonDocument::Indented)));
}

bool printedOut()
{
    return output().printed;
}

bool outputFailed()
{
    return output().failure != 0;
}

int finishOutput(int exitCode)
{
    OutputState &state = output();
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && state.failure == 0)
        state.failure = errno != 0 ? errno : EIO;
    if (state.failure == 0)
        return exitCode;
    printError(QStringLiteral("%1: the output could not be written: %2")
                   .arg(Program, QString::fromLocal8Bit(std::strerror(state.failure))),
               code::OutputFailed);
    return exitCode == ExitInterrupted ? exitCode : ExitNoUnit;
}

} // namespace ktv::cli
