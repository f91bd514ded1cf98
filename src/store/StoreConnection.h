#pragma once
// One SQLite connection per use, removed when it goes out of scope, so a store
// can be read and written from anywhere without a long-lived handle. Tests and
// tools that build a store use the same helper.

#include <QSqlDatabase>
#include <QString>

#include <functional>

class QSqlQuery;

namespace ktv {

class StoreConnection
{
  public:
    enum class Mode { ReadOnly, ReadWrite };
    // busyMilliseconds: how long a statement waits for another process's
    // lock on the file before it fails.
    StoreConnection(const QString &path, Mode mode, int busyMilliseconds = 500);
    ~StoreConnection();
    StoreConnection(const StoreConnection &) = delete;
    StoreConnection &operator=(const StoreConnection &) = delete;

    bool opened() const { return opened_; }
    QString error() const { return error_; }
    QSqlDatabase db() const;

  private:
    QString name_;
    bool opened_ = false;
    QString error_;
};

// Writes one table of the configuration store in one transaction: work
// runs its statements on the query and returns whether they all ran. False,
// with *problem saying why, when the file is missing, cannot be opened, or
// a statement fails (nothing of it is then kept).
bool writeStoreTable(const QString &storePath, const std::function<bool(QSqlQuery &)> &work,
                     QString *problem);

} // namespace ktv
