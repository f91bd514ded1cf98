#pragma once
// Small helpers every kind of test uses: a store file, and waiting for a
// condition while the event loop runs.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace ktv::test {

// Writes a store: "Main Table" with the COM port in its third field, and a
// "Port Map" for the given ports. A null QVariant writes NULL.
bool writeStore(const QString &path, const QVariant &comPort, const QMap<int, QString> &portMap);

// The bytes of a file, to check that a failure left it as it was.
QByteArray fileBytes(const QString &path);

// The change journal's rows, oldest first: the chosen columns (SQL) joined
// by "|", a NULL as "null"; none when nothing was ever recorded.
QStringList journalRows(const QString &path, const QString &columns);

// A TCP port on 127.0.0.1 that nobody listens at just now (0 when none).
int freePort();

// Waits until a condition holds, running the event loop in short slices.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// A report written on its own thread: waits (up to 10 s) until it has been
// renamed into place, whole, then gives its bytes.
QByteArray writtenFile(const QString &path);

} // namespace ktv::test
