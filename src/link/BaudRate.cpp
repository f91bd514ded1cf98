#include "link/BaudRate.h"

#ifdef __linux__
// Kept apart from <termios.h>, whose structures clash with the kernel's.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace ktv {

int readBaudRate(int fileDescriptor)
{
#ifdef __linux__
    if (fileDescriptor < 0)
        return -1;
    struct termios2 settings
    {
    };
    if (ioctl(fileDescriptor, TCGETS2, &settings) != 0)
        return -1;
    return static_cast<int>(settings.c_ospeed);
#else
    (void)fileDescriptor;
    return -1;
#endif
}

bool applyExactBaudRate(int fileDescriptor, int baudRate)
{
#ifdef __linux__
    if (fileDescriptor < 0)
        return false;
    struct termios2 settings
    {
    };
    if (ioctl(fileDescriptor, TCGETS2, &settings) != 0)
        return true; // not a terminal we can ask; trust the serial layer
    if (static_cast<int>(settings.c_ospeed) == baudRate &&
        static_cast<int>(settings.c_ispeed) == baudRate)
        return true;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ospeed = static_cast<speed_t>(baudRate);
    settings.c_ispeed = static_cast<speed_t>(baudRate);
    if (ioctl(fileDescriptor, TCSETS2, &settings) != 0)
        return false;
    return readBaudRate(fileDescriptor) == baudRate;
#else
    (void)fileDescriptor;
    (void)baudRate;
    return true;
#endif
}

} // namespace ktv
