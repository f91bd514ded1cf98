#include "store/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ktv {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file a link names, through every link (a link to a link); the path
// itself when it is no link.
QString followed(const QString &path)
{
    QString at = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(at);
        if (!info.isSymLink())
            break;
        at = info.symLinkTarget();
    }
    return at;
}

#ifdef Q_OS_UNIX

// A piece with a name (where the file system cannot make one without) is
// "<name>.<host>-<pid>-<n>.part". One whose program has ended on this host
// was left by a program killed while writing: it goes.
void removeStalePieces(const QString &folder, const QString &name, const QString &host)
{
    const QDir dir(folder);
    const QStringList pieces = dir.entryList({name + QStringLiteral(".*.part")},
                                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &piece : pieces) {
        const QString middle = piece.mid(name.size() + 1).chopped(5);
        const QStringList parts = middle.split(QLatin1Char('-'));
        if (parts.size() < 3 || parts.mid(0, parts.size() - 2).join(QLatin1Char('-')) != host)
            continue;
        bool number = false;
        const qint64 pid = parts.at(parts.size() - 2).toLongLong(&number);
        if (number && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlink(QFile::encodeName(dir.filePath(piece)).constData());
    }
}

Outcome<void> writeUnix(const QString &target, const QByteArray &bytes)
{
    static std::atomic<int> counter{0};
    const QFileInfo info(target);
    const QByteArray name = QFile::encodeName(info.fileName());
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return Outcome<void>::failure(systemText(errno));
    struct stat old
    {
    };
    const bool existed = ::fstatat(dir, name.constData(), &old, 0) == 0;
    const QString host = QSysInfo::machineHostName().remove(QLatin1Char('/'));
    const QByteArray piece = name + '.' + QFile::encodeName(host) + '-' +
                             QByteArray::number(qint64(::getpid())) + '-' +
                             QByteArray::number(++counter) + ".part";
    // A piece a killed writer left (it has a name for the moment between
    // being whole and taking the target's) goes before anything is written.
    removeStalePieces(info.absolutePath(), info.fileName(), host);
    bool named = false;
    int fd = -1;
#ifdef O_TMPFILE
    // Without a name until it is whole: a program killed meanwhile leaves
    // nothing behind.
    fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        fd = ::openat(dir, piece.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        named = fd >= 0;
    }
    if (fd < 0) {
        const int error = errno;
        ::close(dir);
        return Outcome<void>::failure(systemText(error));
    }
    auto fail = [&](int error) {
        ::close(fd);
        if (named)
            ::unlinkat(dir, piece.constData(), 0);
        ::close(dir);
        return Outcome<void>::failure(systemText(error));
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            return fail(ENOSPC);
        done += n;
    }
    // The permissions the old file had; a new one's as the umask leaves them.
    if (existed && ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (!named) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, self.constData(), dir, piece.constData(), AT_SYMLINK_FOLLOW) != 0)
            return fail(errno);
        named = true;
    }
    if (::renameat(dir, piece.constData(), dir, name.constData()) != 0)
        return fail(errno);
    ::close(fd);
    ::close(dir);
    return {};
}

#endif

} // namespace

QString notAFileKind(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("a device");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QStringLiteral("a folder")
                        : QStringLiteral("something other than a file");
#endif
}

Outcome<void> writeWholeFile(const QString &path, const QByteArray &bytes)
{
    const QString target = followed(path);
    if (const QString kind = notAFileKind(target); !kind.isEmpty())
        return Outcome<void>::failure(QStringLiteral("it is %1, not a file").arg(kind));
#ifdef Q_OS_UNIX
    return writeUnix(target, bytes);
#else
    // Unbuffered, so that a short write is seen here: a buffered one is
    // written out by commit(), which takes a short count for success and
    // renames the piece into place.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome<void>::failure(file.errorString());
    errno = 0;
    const qint64 written = file.write(bytes);
    const int error = errno;
    if (written == bytes.size() && file.commit())
        return {};
    // A short count carries no error of Qt's own: the system's says why.
    if (written >= 0 && written < bytes.size() && error != 0)
        return Outcome<void>::failure(systemText(error));
    return Outcome<void>::failure(file.errorString());
#endif
}

} // namespace ktv
