#pragma once
// A file the program hands out (a sheet, a report, an export) is written
// whole or not at all: into a file beside it, then renamed over it, so that
// a full disk or a pulled stick leaves the earlier file or none, never a
// piece that reads as a shorter one.

#include "protocol/Outcome.h"

#include <QByteArray>
#include <QString>

namespace ktv {

// On failure, the problem is why, as the system says it ("No space left on
// device"); the caller names the file.
Outcome<void> writeWholeFile(const QString &path, const QByteArray &bytes);

} // namespace ktv
