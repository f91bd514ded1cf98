#pragma once
// The line's baud rate as the kernel holds it. The rate is read and set through
// the termios2 interface, which carries the exact number of bits per second, so
// rates without a B constant (28800) come through unchanged. Kept apart from
// <termios.h>, whose struct termios clashes with the kernel's.

namespace unitsim {

// The output rate of the line behind fd; -1 when it cannot be read. On a
// pseudo-terminal master this is the rate the program set on the slave.
int lineRate(int fd);

// Bytes waiting to be read on fd, and discarding them.
int queuedInput(int fd);
void discardInput(int fd);

// Raw 8N1 without echo, CR/NL translation or flow control, at the given rate.
bool setRawLine(int fd, int baud);

} // namespace unitsim
