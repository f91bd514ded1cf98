#pragma once
// What every command of ktraveld-cli prints with: stdout and stderr lines,
// tables in columns, line bytes made visible, and the usage error.

#include <QList>
#include <QString>
#include <QStringList>

namespace ktv::cli {

inline const QString Program = QStringLiteral("ktraveld-cli");

// The text on stdout as it stands (no newline added).
void printOut(const QString &text);
// Progress goes to stderr only when a person watches it there.
bool stderrIsTerminal();
// Rows of text in columns two blanks apart, no blanks at the ends of lines.
QString table(const QList<QStringList> &rows);
// "ktraveld-cli: TEXT" and where to find help, on stderr; returns ExitUsage.
int usageError(const QString &text, const QString &command = {});

} // namespace ktv::cli
