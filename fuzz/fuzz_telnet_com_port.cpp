// What a device server sends on a telnet line: however the bytes are cut
// into pieces, the unit's bytes come out the same, and data escaped for the
// line comes back as it was.

#include "link/TelnetComPort.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const qsizetype cut = data[0] % (bytes.size() + 1);

    ktv::TelnetComPort whole;
    const ktv::TelnetComPort::Heard once = whole.feed(bytes);
    ktv::TelnetComPort pieces;
    ktv::TelnetComPort::Heard first = pieces.feed(bytes.left(cut));
    const ktv::TelnetComPort::Heard second = pieces.feed(bytes.mid(cut));
    if (once.data != first.data + second.data || once.data.size() > bytes.size())
        std::abort();

    ktv::TelnetComPort sender;
    ktv::TelnetComPort receiver;
    if (receiver.feed(sender.escape(bytes)).data != bytes)
        std::abort();
    return 0;
}
