#pragma once
// The client's half of a telnet line to a serial device server that takes
// the COM port option: the remote port's rate and framing are set over the
// network and the server confirms each setting. Bytes only: the codec reads
// what the server sends (keeping an unfinished sequence for the next call)
// and says what to send; the network is someone else's.
//
// Data bytes of 255 travel doubled both ways. Both directions are asked to be
// binary, so a CR goes as it is; a server that refuses binary gets CR NUL, as
// telnet wants, and its CR NUL comes back as CR.

#include <QByteArray>

#include <array>
#include <optional>

namespace ktv {

class TelnetComPort
{
  public:
    enum : unsigned char {
        Se = 240,
        Sb = 250,
        Will = 251,
        Wont = 252,
        Do = 253,
        Dont = 254,
        Iac = 255,
        OptionBinary = 0,
        OptionEcho = 1,
        OptionSuppressGoAhead = 3,
        OptionComPort = 44,
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        ServerOffset = 100, // a server's answer to command n is n + 100
        ParityNone = 1,
        StopSizeOne = 1,
    };

    // What the client says first: it will speak the COM port option and binary.
    QByteArray opening();
    // Data as it goes on the network.
    QByteArray escape(const QByteArray &data) const;
    // Ask the server to set its port to the rate, 8 data bits, no parity, one stop bit.
    static QByteArray setLine(quint32 baudRate);

    struct Heard
    {
        QByteArray data;                      // the unit's bytes
        QByteArray answer;                    // negotiation to send back at once
        std::optional<quint32> rateConfirmed; // the rate the server says is in force
        int settingsConfirmed = 0;            // data size, parity and stop size confirmed
    };
    Heard feed(const QByteArray &bytes);

    enum class Option { Unknown, Accepted, Refused };
    // Whether the server takes the COM port option (a server that never says:
    // Unknown).
    Option comPort() const { return comPort_; }

  private:
    void onNegotiation(unsigned char verb, unsigned char option, Heard &heard);
    void onSubnegotiation(Heard &heard);
    bool ours(unsigned char option) const;

    enum class State { Data, Iac, Verb, Sub, SubIac, Cr };
    State state_ = State::Data;
    unsigned char verb_ = 0;
    QByteArray sub_;
    std::array<bool, 256> weWill_{}; // we have said WILL (and not been told DONT)
    std::array<bool, 256> weDo_{};   // we have said DO (and not been told WONT)
    bool binaryOut_ = false;         // the server said DO BINARY
    bool binaryIn_ = false;          // the server said WILL BINARY
    Option comPort_ = Option::Unknown;
};

} // namespace ktv
