#include "ControlFile.h"

#include "Unit.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace unitsim {

std::optional<ControlOrder> parseControlLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words == QList<QByteArray>{"remove"})
        return ControlOrder{ControlOrder::Kind::Remove, {}, 0, false};
    if (words.size() == 2 && words[0] == "mute") {
        bool ok = false;
        const int ms = words[1].toInt(&ok);
        if (!ok || ms <= 0)
            return std::nullopt;
        return ControlOrder{ControlOrder::Kind::Mute, {}, 0, false, ms};
    }
    const bool keepNothing = words.size() == 4 && words[3] == "keep-nothing";
    if ((words.size() != 3 && !keepNothing) || words[0] != "insert" ||
        !knownModels().contains(words[1]))
        return std::nullopt;
    bool ok = false;
    const int address = words[2].toInt(&ok);
    if (!ok || address < 0 || address > 99)
        return std::nullopt;
    return ControlOrder{ControlOrder::Kind::Insert, words[1], address, keepNothing, 0};
}

ControlFile::~ControlFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ControlFile::open(const QString &path)
{
    m_fd =
        ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (m_fd < 0)
        return false;
    // Orders written before the start are not orders for this unit.
    ::lseek(m_fd, 0, SEEK_END);
    return true;
}

std::vector<QByteArray> ControlFile::newLines()
{
    std::vector<QByteArray> lines;
    if (m_fd < 0)
        return lines;
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) == 0 && st.st_size < ::lseek(m_fd, 0, SEEK_CUR)) {
        ::lseek(m_fd, 0, SEEK_SET);
        m_partial.clear();
    }
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        m_partial.append(buffer, n);
    }
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        lines.push_back(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
    return lines;
}

} // namespace unitsim
