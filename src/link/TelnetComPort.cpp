#include "link/TelnetComPort.h"

namespace ktv {

namespace {
QByteArray command(unsigned char verb, unsigned char option)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(TelnetComPort::Iac));
    bytes.append(static_cast<char>(verb));
    bytes.append(static_cast<char>(option));
    return bytes;
}

QByteArray subnegotiation(unsigned char code, const QByteArray &value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(TelnetComPort::Iac));
    bytes.append(static_cast<char>(TelnetComPort::Sb));
    bytes.append(static_cast<char>(TelnetComPort::OptionComPort));
    bytes.append(static_cast<char>(code));
    for (char c : value) {
        bytes.append(c);
        if (static_cast<unsigned char>(c) == TelnetComPort::Iac)
            bytes.append(c);
    }
    bytes.append(static_cast<char>(TelnetComPort::Iac));
    bytes.append(static_cast<char>(TelnetComPort::Se));
    return bytes;
}
} // namespace

bool TelnetComPort::ours(unsigned char option) const
{
    return option == OptionBinary || option == OptionSuppressGoAhead || option == OptionComPort;
}

QByteArray TelnetComPort::opening()
{
    QByteArray bytes;
    for (unsigned char option : {OptionComPort, OptionBinary, OptionSuppressGoAhead}) {
        weWill_[option] = true;
        bytes += command(Will, option);
    }
    for (unsigned char option : {OptionBinary, OptionSuppressGoAhead}) {
        weDo_[option] = true;
        bytes += command(Do, option);
    }
    return bytes;
}

QByteArray TelnetComPort::escape(const QByteArray &data) const
{
    QByteArray bytes;
    bytes.reserve(data.size() + 8);
    for (char c : data) {
        bytes.append(c);
        if (static_cast<unsigned char>(c) == Iac)
            bytes.append(c);
        else if (c == '\r' && !binaryOut_)
            bytes.append('\0');
    }
    return bytes;
}

QByteArray TelnetComPort::setLine(quint32 baudRate)
{
    QByteArray rate;
    for (int shift = 24; shift >= 0; shift -= 8)
        rate.append(static_cast<char>((baudRate >> shift) & 0xFF));
    return subnegotiation(SetBaudRate, rate) +
           subnegotiation(SetDataSize, QByteArray(1, static_cast<char>(8))) +
           subnegotiation(SetParity, QByteArray(1, static_cast<char>(ParityNone))) +
           subnegotiation(SetStopSize, QByteArray(1, static_cast<char>(StopSizeOne)));
}

TelnetComPort::Heard TelnetComPort::feed(const QByteArray &bytes)
{
    Heard heard;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (state_) {
        case State::Cr:
            state_ = State::Data;
            if (byte == 0)
                break; // CR NUL is a CR
            [[fallthrough]];
        case State::Data:
            if (byte == Iac) {
                state_ = State::Iac;
            } else {
                heard.data.append(c);
                if (c == '\r' && !binaryIn_)
                    state_ = State::Cr;
            }
            break;
        case State::Iac:
            if (byte == Iac) {
                heard.data.append(c);
                state_ = State::Data;
            } else if (byte >= Will && byte <= Dont) {
                verb_ = byte;
                state_ = State::Verb;
            } else if (byte == Sb) {
                sub_.clear();
                state_ = State::Sub;
            } else {
                state_ = State::Data; // NOP, go-ahead and the like
            }
            break;
        case State::Verb:
            onNegotiation(verb_, byte, heard);
            state_ = State::Data;
            break;
        case State::Sub:
            if (byte == Iac)
                state_ = State::SubIac;
            else if (sub_.size() < 64) // a subnegotiation is a few bytes; the rest is noise
                sub_.append(c);
            break;
        case State::SubIac:
            if (byte == Se) {
                onSubnegotiation(heard);
                state_ = State::Data;
            } else {
                if (byte == Iac && sub_.size() < 64)
                    sub_.append(c);
                state_ = byte == Iac ? State::Sub : State::Data;
            }
            break;
        }
    }
    return heard;
}

void TelnetComPort::onNegotiation(unsigned char verb, unsigned char option, Heard &heard)
{
    switch (verb) {
    case Do:
        if (option == OptionBinary)
            binaryOut_ = true;
        if (option == OptionComPort)
            comPort_ = Option::Accepted;
        if (ours(option)) {
            if (!weWill_[option]) {
                weWill_[option] = true;
                heard.answer += command(Will, option);
            }
        } else {
            heard.answer += command(Wont, option);
        }
        break;
    case Dont:
        if (option == OptionBinary)
            binaryOut_ = false;
        if (option == OptionComPort)
            comPort_ = Option::Refused;
        if (weWill_[option]) {
            weWill_[option] = false;
            heard.answer += command(Wont, option);
        }
        break;
    case Will:
        if (option == OptionBinary || option == OptionSuppressGoAhead) {
            if (option == OptionBinary)
                binaryIn_ = true;
            if (!weDo_[option]) {
                weDo_[option] = true;
                heard.answer += command(Do, option);
            }
        } else {
            // An echo of our own bytes, or anything else, is not wanted.
            heard.answer += command(Dont, option);
        }
        break;
    case Wont:
        if (option == OptionBinary)
            binaryIn_ = false;
        if (weDo_[option]) {
            weDo_[option] = false;
            heard.answer += command(Dont, option);
        }
        break;
    default:
        break;
    }
}

void TelnetComPort::onSubnegotiation(Heard &heard)
{
    if (sub_.size() < 2 || static_cast<unsigned char>(sub_.at(0)) != OptionComPort)
        return;
    const auto code = static_cast<unsigned char>(sub_.at(1));
    const QByteArray value = sub_.mid(2);
    if (code == ServerOffset + SetBaudRate && value.size() == 4) {
        quint32 rate = 0;
        for (char c : value)
            rate = (rate << 8) | static_cast<unsigned char>(c);
        heard.rateConfirmed = rate;
    } else if (code == ServerOffset + SetDataSize || code == ServerOffset + SetParity ||
               code == ServerOffset + SetStopSize) {
        ++heard.settingsConfirmed;
    }
    // Line and modem state notices, flow control and the rest change nothing here.
}

} // namespace ktv
