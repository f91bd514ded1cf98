#pragma once
// The rate a serial line really runs at. On Linux the termios2 interface
// gives and takes any rate exactly (28800 is not among the classic B-rates).

namespace ktv {

// Sets the rate on an open line when it is not already in force; true when
// the line now runs at that rate (or the platform gives no way to check).
bool applyExactBaudRate(int fileDescriptor, int baudRate);

// The output rate in force on an open line, or -1 when it cannot be read.
int readBaudRate(int fileDescriptor);

} // namespace ktv
