#pragma once
// Where a line is: a local serial device ("/dev/ttyUSB0", "COM3") or a serial
// device server on the plant's network, as "rfc2217://HOST:PORT" (the remote
// port's rate is set over the network) or "socket://HOST:PORT" (raw bytes at
// the rate the server is set to).

#include "protocol/Outcome.h"

#include <QString>

namespace ktv {

struct DeviceAddress
{
    enum class Kind { Local, Rfc2217, Socket };
    Kind kind = Kind::Local;
    QString path; // a local device; empty for a network line
    QString host; // a network line's host, without brackets
    quint16 port = 0;

    bool isNetwork() const { return kind != Kind::Local; }
    // The address as the operator writes it.
    QString text() const;
};

// True when the text is meant as an address on the network (it has a scheme);
// whether it is a good one is parseDeviceAddress's to say.
bool looksLikeNetworkAddress(const QString &device);

// Reads a device as given to --device, in the port map or in the window.
// Refused: an unknown scheme, no host, no port or one outside 1-65535, a user
// or password (the line's servers take none; a secret has no place in a
// setting), a path, query or fragment after the port.
Outcome<DeviceAddress> parseDeviceAddress(const QString &device);

// A raw network line: its rate is the server's, set on the server, and no
// rate asked here changes it.
bool rateIsTheServers(const QString &device);

} // namespace ktv
