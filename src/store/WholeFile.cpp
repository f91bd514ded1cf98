#include "store/WholeFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace ktv {

Outcome<void> writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // Unbuffered, so that a short write is seen here: a buffered one is
    // written out by commit(), which takes a short count for success and
    // renames the piece into place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome<void>::failure(file.errorString());
    errno = 0;
    const qint64 written = file.write(bytes);
    const int error = errno;
    if (written == bytes.size() && file.commit())
        return {};
    // A short count carries no error of Qt's own: the system's says why.
    if (written >= 0 && written < bytes.size() && error != 0)
        return Outcome<void>::failure(QString::fromLocal8Bit(std::strerror(error)));
    return Outcome<void>::failure(file.errorString());
}

} // namespace ktv
