#include "LineRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace unitsim {

namespace {

speed_t standardCode(int baud)
{
    struct Standard
    {
        int baud;
        speed_t code;
    };
    static constexpr Standard standards[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},      {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},    {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},  {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}};
    for (const Standard &standard : standards) {
        if (standard.baud == baud)
            return standard.code;
    }
    return BOTHER;
}

} // namespace

int lineRate(int fd)
{
    struct termios2 tio
    {
    };
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return -1;
    return static_cast<int>(tio.c_ospeed);
}

int queuedInput(int fd)
{
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void discardInput(int fd)
{
    ioctl(fd, TCFLSH, TCIFLUSH);
}

bool setRawLine(int fd, int baud)
{
    struct termios2 tio
    {
    };
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    // A rate with a B constant is set by its constant, so that a program which
    // saves and later restores the settings through the old interface restores
    // the rate too. Others (28800) go by number.
    const speed_t code = standardCode(baud);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | code | (code << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace unitsim
