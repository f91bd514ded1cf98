#include "SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ktv::test {

SilentServer::SilentServer()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket_ < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(socket_, 64) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
}

SilentServer::~SilentServer()
{
    if (socket_ >= 0)
        ::close(socket_);
}

QString SilentServer::setting() const
{
    return QStringLiteral("host=127.0.0.1 port=%1 dbname=results user=bench").arg(port_);
}

} // namespace ktv::test
