#include "store/SheetFiles.h"

#include "store/WholeFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ktv {

QString nothingSavedText(const QString &path)
{
    return QStringLiteral("Nothing was saved to %1.").arg(path);
}

QString heldValuesRefusedText(const QStringList &refusalLines)
{
    return QStringLiteral("The unit holds values a load would refuse:\n") +
           refusalLines.join(QLatin1Char('\n'));
}

namespace {

// No sheet comes near this; a larger file is not one.
constexpr qint64 LargestSheet = 1 << 20;

#ifdef Q_OS_UNIX
// What a path is when it is no regular file, for the messages; empty for a
// regular file.
QString kindOfNonFile(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISLNK(mode))
        return QStringLiteral("a link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

} // namespace

SheetReadResult readSheetFile(const QString &path, QByteArray *bytesRead)
{
#ifdef Q_OS_UNIX
    // A named pipe or a device would block the read or never end it, so the
    // kind is asked before anything is opened, and again of what was opened
    // (without blocking), in case the path changed in between.
    auto notAFile = [&path](const QString &kind) {
        return SheetReadResult{
            std::nullopt,
            QStringLiteral("%1 is not a parameter sheet: it is %2, not a file.").arg(path, kind)};
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0)
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, systemText(errno))};
    if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty())
        return notAFile(kind);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, systemText(errno))};
    QByteArray bytes;
    QString problem;
    if (::fstat(fd, &info) != 0) {
        problem = QStringLiteral("%1 cannot be read: %2.").arg(path, systemText(errno));
    } else if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty()) {
        ::close(fd);
        return notAFile(kind);
    } else {
        // One byte past the bound tells a file that is too large.
        bytes.resize(LargestSheet + 1);
        qint64 got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                problem = QStringLiteral("%1 cannot be read: %2.").arg(path, systemText(errno));
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    if (!problem.isEmpty())
        return {std::nullopt, problem};
#else
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return {std::nullopt,
                QStringLiteral("%1 is not a parameter sheet: it is not a file.").arg(path)};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, file.errorString())};
    const QByteArray bytes = file.read(LargestSheet + 1);
#endif
    if (bytes.size() > LargestSheet)
        return {std::nullopt,
                QStringLiteral("%1 is not a parameter sheet: it is larger than 1 MB.").arg(path)};
    if (bytesRead)
        *bytesRead = bytes;
    return readParameterSheet(bytes, path);
}

QString sheetTargetProblem(const QString &path)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    auto cannot = [&path](const QString &why) {
        return QStringLiteral("%1 cannot be written: %2.").arg(path, why);
    };
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return cannot(QStringLiteral("the folder %1 does not exist").arg(folder));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return cannot(
            QStringLiteral("the folder %1 is not writable (%2)").arg(folder, systemText(errno)));
    // A link is followed: the sheet replaces the file it names.
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) == 0) {
        if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty())
            return cannot(QStringLiteral("it is %1, not a file").arg(kind));
        if (::access(name.constData(), W_OK) != 0)
            return cannot(QStringLiteral("the file is not writable (%1)").arg(systemText(errno)));
    }
#else
    if (!QFileInfo(folder).isDir())
        return cannot(QStringLiteral("the folder %1 does not exist").arg(folder));
    if (target.exists() && !target.isFile())
        return cannot(QStringLiteral("it is not a file"));
#endif
    return {};
}

bool writeSheetFile(const QString &path, const ParameterSheet &sheet, QString *problem)
{
    // QSaveFile writes a pipe or a device in place, and would wait on a pipe.
    if (const QString refused = sheetTargetProblem(path); !refused.isEmpty()) {
        if (problem)
            *problem = refused;
        return false;
    }
    // A sheet that a load or a check would refuse is not written: the unit
    // holds a value outside its limits, and the file would pass it on.
    if (const std::vector<SheetRefusal> refusals = validateParameterSheet(sheet, sheet.unitModel);
        !refusals.empty()) {
        if (problem) {
            QStringList lines;
            for (const SheetRefusal &refusal : refusals)
                lines << refusalLine(refusal);
            *problem = heldValuesRefusedText(lines) + QLatin1Char('\n') + nothingSavedText(path);
        }
        return false;
    }
    if (const Outcome<void> written = writeWholeFile(path, writeParameterSheet(sheet)); !written) {
        if (problem)
            *problem = QStringLiteral("%1 cannot be written: %2.").arg(path, written.problem());
        return false;
    }
    return true;
}

} // namespace ktv
