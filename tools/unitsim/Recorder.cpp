#include "Recorder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace unitsim {

namespace {

QByteArray jsonString(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QByteArray hexBytes(const QByteArray &bytes)
{
    return bytes.toHex(' ').toUpper();
}

} // namespace

Recorder::~Recorder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Recorder::open(const QString &path)
{
    m_fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

QByteArray Recorder::jsonLine(double t, int baud, bool answered, const QByteArray &line)
{
    char head[96];
    std::snprintf(head, sizeof head, "{\"t\":%.6f,\"baud\":%d,\"answered\":%s,\"line\":", t, baud,
                  answered ? "true" : "false");
    return QByteArray(head) + jsonString(line) + ",\"hex\":\"" + hexBytes(line) + "\"}\n";
}

void Recorder::record(double t, int baud, bool answered, const QByteArray &line)
{
    if (m_fd < 0)
        return;
    // One write per record keeps records whole for a reader polling the file.
    const QByteArray text = jsonLine(t, baud, answered, line);
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(m_fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::perror("ktraveld-unitsim: record");
            return;
        }
        done += n;
    }
}

} // namespace unitsim
