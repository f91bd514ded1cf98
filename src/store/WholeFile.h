#pragma once
// A file the program hands out (a sheet, a report, an export) is written
// whole or not at all: into a file beside it that has no name until it is
// whole, then renamed over it, so that a full disk, a pulled stick or a
// killed program leaves the earlier file or none, never a piece that reads
// as a shorter one, nor a piece under a name of its own. A link is
// followed: the file it names is replaced. A named pipe, a device or a
// folder under the name is refused, never written into or replaced.

#include "protocol/Outcome.h"

#include <QByteArray>
#include <QString>

namespace ktv {

// On failure, the problem is why, as the system says it ("No space left on
// device"), or "it is a named pipe, not a file"; the caller names the file.
Outcome<void> writeWholeFile(const QString &path, const QByteArray &bytes);

// "a named pipe", "a device", "a folder", ... when something other than a
// plain file is under the name (a link followed); empty for a plain file
// or none.
QString notAFileKind(const QString &path);

} // namespace ktv
