#pragma once
// What a line on the wire says, for the line monitor and the command-line
// trace: its bytes as readable text, and for a line the program writes, what
// it asks of the unit in the operator's words ("read Accel/Decel, profile 1").
// Queries and option lines are recognised by building each line the program
// can write with the command frame itself. A parameter send carries the text
// the operator typed, so it is recognised by its shape instead (address,
// letter, profile digit, "_"). Its letter, like every query letter and
// caption here, comes from the one vocabulary table the frame, the change
// tracker and the panels read too, so they cannot drift apart.

#include <QByteArray>
#include <QString>
#include <optional>

namespace ktv {

// The bytes as text: CR as the return sign (U+23CE), printable ASCII as it
// stands, every other byte as \xNN.
QString lineDisplayText(const QByteArray &bytes);

// The meaning of a written line (CR included); none for a line the program
// never writes.
std::optional<QString> lineMeaning(const QByteArray &line);

} // namespace ktv
