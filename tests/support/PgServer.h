#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary
// folder, listening on 127.0.0.1 at a free port and on a socket in that
// folder, never a server of the machine. initdb refuses root, so as root the
// server runs as "nobody", its folder given to that user.
//
// The destructor stops it at once (pg_ctl stop -m immediate). A watchdog in
// its own session does the same, and removes the folder, when the test
// program dies without its destructor running.
//
// Roles: "ktv", the superuser, trusted; "guarded", which must give its
// password (scram-sha-256) over TCP.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ktv::test {

class PgServer
{
  public:
    // durable: the server syncs its writes to disk, as a plant's does (a
    // bench's figures); tests go without, for speed.
    explicit PgServer(bool durable = false);
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    bool ok() const { return problem_.isEmpty(); }
    QString problem() const { return problem_; }
    int port() const { return port_; }
    QString folder() const { return dir_.path(); }

    // "host=127.0.0.1 port=N dbname=NAME user=USER"
    QString setting(const QString &dbname, const QString &user = QStringLiteral("ktv")) const;
    // A new empty database, its name unique in this server.
    QString createDatabase();

    bool stop(); // a fast shutdown, for a server that goes away mid-run
    bool start();

    // As the superuser on dbname; rows() joins each row's columns with "|".
    bool exec(const QString &dbname, const QString &sql);
    QStringList rows(const QString &dbname, const QString &sql);

  private:
    bool run(const QString &tool, const QStringList &arguments, QString *output = nullptr);
    bool startOnce();

    QTemporaryDir dir_;
    QString bin_;
    bool asNobody_ = false;
    int port_ = 0;
    int databases_ = 0;
    bool running_ = false;
    bool durable_ = false;
    QString problem_;
    QProcess watchdog_;
};

} // namespace ktv::test
