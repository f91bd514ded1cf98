#pragma once
// Texts that leave the program in cells: a CSV file a spreadsheet opens, a
// table printed on a terminal. A station name, an operator's name or a
// unit's reply can hold anything; these make sure it stays one cell of
// text.

#include <QString>

namespace ktv {

// One CSV cell. A text that begins with "=", "+", "-", "@" (or their
// full-width forms), a tab, a line break, a space or a no-break space could
// be taken by a spreadsheet for a formula: it gets a "'" in front
// ("-5" too: a cell here is text, and a spreadsheet reads "'-5" as -5 shown
// as text). A cell with a comma, a quote, a line break or a space at either
// end is quoted, its quotes doubled.
QString csvCell(const QString &text);

// A table cell on a terminal: each control character (C0, DEL, C1) as
// "\xNN", so a name cannot end a row or send an escape sequence.
QString terminalCell(const QString &text);

} // namespace ktv
