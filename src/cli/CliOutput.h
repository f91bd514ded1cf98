#pragma once
// What every command of ktraveld-cli prints with: stdout and stderr lines,
// tables in columns, the usage error, and the JSON document.
//
// Every message for the operator goes through printError with a stable code
// (a script tests the code, a person reads the text). stderr is one per
// process, and so is the record of what went to it: the JSON document's
// "messages" is that record, so nothing said on stderr is missing from it.
// Progress and trace lines are not messages and are not kept.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace ktv::cli {

inline const QString Program = QStringLiteral("ktraveld-cli");

// The version of the JSON documents the commands print; it grows when a
// member changes its meaning or goes away, not when one is added.
inline constexpr int DocumentFormat = 1;

// The codes of the messages (docs/operator.md lists them).
namespace code {
inline const QString Message = QStringLiteral("message"); // none more precise
inline const QString UsageError = QStringLiteral("usage-error");
inline const QString PortOpenFailed = QStringLiteral("port-open-failed");
inline const QString PortDiagnosis = QStringLiteral("port-diagnosis");
inline const QString NoUnit = QStringLiteral("no-unit");
inline const QString NotConnected = QStringLiteral("not-connected");
inline const QString Error = QStringLiteral("error"); // a failure with no code of its own
inline const QString ValueRefused = QStringLiteral("value-refused");
inline const QString ValueNotHeld = QStringLiteral("value-not-held");
inline const QString NoAnswer = QStringLiteral("no-answer");
inline const QString SheetUnreadable = QStringLiteral("sheet-unreadable");
inline const QString SheetRefused = QStringLiteral("sheet-refused");
inline const QString SerialRefused = QStringLiteral("serial-refused");
inline const QString SheetNotWritable = QStringLiteral("sheet-not-writable");
inline const QString StoreNotice = QStringLiteral("store-notice");
inline const QString StoreProblem = QStringLiteral("store-problem");
inline const QString JournalWarning = QStringLiteral("journal-warning");
inline const QString ResultsWaiting =
    QStringLiteral("results-waiting"); // kept until the server answers
inline const QString ResultsUnavailable =
    QStringLiteral("results-unavailable"); // read here instead
inline const QString Notice = QStringLiteral("notice");
inline const QString Status = QStringLiteral("status");
inline const QString Interrupted = QStringLiteral("interrupted");
inline const QString OutputFailed = QStringLiteral("output-failed");
} // namespace code

struct CliMessage
{
    QString code;
    QString text;
};

// The text on stdout as it stands (no newline added). A failed write is
// remembered: the run then ends with exit 1.
void printOut(const QString &text);
// One message on stderr (its text and a newline), kept for the JSON document.
void printError(const QString &text, const QString &code = code::Message);
// A progress or trace line on stderr; not a message, not kept.
void printProgress(const QString &text);
// The messages printed so far, in order.
const QList<CliMessage> &printedMessages();

// Progress goes to stderr only when a person watches it there.
bool stderrIsTerminal();
// Rows of text in columns two blanks apart, no blanks at the ends of lines;
// control characters in a cell read "\x1b".
QString table(const QList<QStringList> &rows);
// "ktraveld-cli: TEXT" and where to find help, one message on stderr;
// returns ExitUsage.
int usageError(const QString &text, const QString &command = {});

// The JSON document on stdout: the command's members and "format",
// "command", "exit" and "messages". An empty command is null.
void printDocument(const QString &command, int exitCode, QJsonObject members = {});
// Whether anything went to stdout.
bool printedOut();
// Whether a write to stdout failed (a full disk, a reader that went).
bool outputFailed();
// Flushes stdout; when any output could not be written, says so and gives
// the exit code for it (1, or 130 after an interrupt), else exitCode.
int finishOutput(int exitCode);

} // namespace ktv::cli
