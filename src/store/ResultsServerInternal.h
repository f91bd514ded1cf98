#pragma once
// What the parts of ResultsServer share (ResultsServer.cpp: the connection
// and the probe; ResultsServerSetting.cpp: the setting read by libpq and the
// host's lookup; ResultsServerQueries.cpp: the reads; ResultsServerSend.cpp:
// a check sent). Not for use outside them.

#include "store/ResultsServer.h"

#include <QSqlDatabase>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>

class QDateTime;
class QSqlError;

namespace ktv {

struct ResultsServer::Connection
{
    Connection()
        : name(QStringLiteral("ktv-results-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    QString name;
    bool ready = false;    // opened
    bool upgraded = false; // and the schema current
};

namespace results {

// The longest the bench waits for a connection, the host name's lookup
// included; libpq's own connect_timeout counts from the address on, and
// again for each address a name gives.
constexpr int ConnectMilliseconds = 5000;
// Of that, the most the lookup may take: libpq waits at least 2 s.
constexpr int LookupMilliseconds = 3000;

// "The results database setting cannot be read: why. Write it as ..."
QString unreadableSetting(const QString &why);
// A value as libpq reads it back, always quoted.
QString quoted(const QString &value);
// The host's first address within waitMs; empty, and problem said, when
// it was not found in time.
QString lookUp(const QString &host, int waitMs, QString *problem);
// Whether host is written as an address (no lookup needed).
bool isAddress(const QString &host);
// The connect_timeout written, in seconds, within the bench's bound.
qint64 givenTimeout(const ConnectionSetting &setting);

// The server's own words for a statement that failed, and its code.
QString statementError(const QSqlError &error);
// The driver binds a null QString as NULL; an empty text is a text.
QVariant text(const QString &value);
QVariant nullableText(const std::optional<QString> &value);
// A time with its offset from UTC, as the server reads it.
QString isoText(const QDateTime &time);

} // namespace results

} // namespace ktv
