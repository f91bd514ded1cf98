#pragma once
// The one place that touches the line: a serial port, or a device server
// on the network (NetworkLine) behind the same calls. It offers what the actions need
// of a port (open state, settings text, COM number, write, count of waiting
// characters, read-and-clear) and the routines built on them: OpenComPort,
// ReplyWaiting, ReadReply and WaitSeconds.
//
// The link library: SerialLink and the SharedState it records port failures
// in; BaudRate sets the exact rate; PortProbe and PortDiagnosis say why a port
// does not open and who holds it.
//
// Waiting is a nested event loop ended by a single-shot timer or by arriving
// data, never a spin: the operator can click, type and start other actions
// while a wait runs, and the program relies on that. Writing never waits: the
// bytes go to the port's buffer and the driver takes them from there. Only
// closing a port blocks, for at most the pending bytes' time on the wire
// plus 20 ms (under 40 ms for a command line at 9600 baud), so that a stop
// written just before leaves at the rate it was written at.

#include "link/NetworkLine.h"
#include "link/PortMap.h"
#include "link/SharedState.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <optional>

namespace ktv {

// A copy of the text without any carriage return; everything else stays, in order.
QString StripCarriageReturns(const QString &text);

class SerialLink : public QObject
{
    Q_OBJECT
  public:
    static constexpr int InputBufferSize = 1024;

    explicit SerialLink(SharedState &state, QObject *parent = nullptr);
    ~SerialLink() override;

    // COM n opens the device the port map names, else the platform's default.
    void setPortMap(const QMap<int, QString> &map) { portMap_ = map; }
    const QMap<int, QString> &portMap() const { return portMap_; }
    QString deviceForPort(int comPort) const;

    // The port's own properties.
    bool PortOpen() const;
    void setSettings(const QString &settingsText) { settings_ = settingsText; }
    QString settings() const { return settings_; }
    void setCommPort(int comPort) { commPort_ = comPort; }
    int commPort() const { return commPort_; }
    // Opens CommPort with Settings; on failure *reason tells why.
    bool openPort(QString *reason = nullptr);
    void closePort();
    // Counts the successful openings, so an owner can tell whether the port
    // open now is still the one it opened.
    int openings() const { return openings_; }
    // The device and the system's words when the last opening failed at the
    // device itself; none after an opening that worked.
    struct OpenFailure
    {
        QString device;
        QString systemError;
    };
    const std::optional<OpenFailure> &lastOpenFailure() const { return lastOpenFailure_; }
    // Writes a whole line at once. A closed or failed port takes nothing and
    // returns false; it never ends the program. A full output buffer is not a
    // failure: the bytes wait there for the line.
    bool write(const QByteArray &bytes);
    int InBufferCount() const;
    QString Input(); // every waiting character; empties the buffer
    // The rate on the line: the port's own, the rate a network server
    // confirmed, or on a raw network line the rate asked (the server's own
    // is not known here).
    int baudRateInForce() const;
    QString deviceInUse() const;
    // The line goes through a device server on the network.
    bool onNetwork() const { return onNetwork_; }
    // The network's round trip when the line opened, in ms; 0 on a local port.
    double networkRoundTripMs() const { return onNetwork_ ? net_.roundTripMs() : 0; }

    // Opens ComPortNumber at a baud rate with ",N,8,1"; on failure leaves the
    // reason in ConnectErrorText (and MessageText when already open).
    bool OpenComPort(int comPort, double baudRate);
    bool ReplyWaiting() const { return InBufferCount() > 0; }
    // Waits strictly more than 0.1 s for the first character, then until the
    // count stops changing over one 0.02 s step; returns everything waiting.
    QString ReadReply();
    // A whole reply, read the way everything but the panel's own read-back
    // run reads: the unit's answer ends with a CR, and it is taken the moment
    // that CR is there, so a quick unit costs no more than its answer. A
    // slow one is waited for: the first character may come up to
    // firstCharSeconds after the call, the CR up to CompleteReplyBoundSeconds
    // after it. complete is false when the CR had not come by then; text then
    // holds what did come (empty: no answer at all).
    static constexpr double CompleteReplyBoundSeconds = 1.0;
    struct Reply
    {
        QString text; // as read, CR included
        bool complete = false;
    };
    Reply readCompleteReply(double firstCharSeconds = CompleteReplyBoundSeconds);
    // A reply to the last line written may still come (none came in time, or
    // it came without its CR): until a second after that line went out,
    // whatever arrives belongs to it. readCompleteReply notes it by itself
    // for a reply without its CR.
    void noteReplyOwed();
    // Before a question whose answer must not be mistaken for an earlier
    // one's: waits out any reply still owed (up to a second after its line)
    // and drops it with whatever else is waiting. True when bytes were
    // waiting while no reply was owed: strays.
    bool dropLateReplies();
    // True when the last ReadReply got nothing within its limit.
    bool replyMissing() const { return replyMissing_; }
    // After a reply that did not come in time: waits up to the given time for
    // it to arrive after all and throws it away, so it is not read as the
    // answer to the next question. True when something came and was dropped.
    bool discardLateReply(double seconds);
    // Returns after at least the given time, handling events meanwhile.
    void WaitSeconds(double seconds);
    // Returns once a character is waiting, the line is lost, the program
    // ends or the time is up; true when a character is waiting.
    bool waitForInputWithin(double seconds);
    // A word for whoever watches the line (a monitor): why a question is
    // asked again, what was dropped.
    void note(const QString &text) { emit noted(text); }

    // Once the program ends: nothing is written any more and waits return at once.
    void setEnding();
    bool isEnding() const { return ending_; }

    // The texts the link reports, with the port number after one blank.
    static QString alreadyOpenText(int comPort);
    static QString openFailedText(int comPort);
    static QString noDataText();

  signals:
    // Every line handed to the port and every reply taken from it, as bytes,
    // for a trace or a line monitor.
    void lineWritten(const QByteArray &bytes);
    void replyRead(const QByteArray &bytes);
    // A word about the exchange on the line (see note).
    void noted(const QString &text);
    // The port has just been opened (a monitor's times count from here).
    void portOpened();
    // The port failed while open (adapter unplugged, device gone); it has been closed.
    void lineLost(const QString &reason);

  private:
    void onError(QSerialPort::SerialPortError error);
    qint64 pendingOutput() const;
    void noteWritten(const QByteArray &bytes);
    // Everything that arrives, once the first character has come within the
    // limit and the count has stopped changing over 0.02 s; none otherwise.
    std::optional<QString> readWithin(qint64 limitNs);
    // Returns once a character arrives, the line is lost or the time is up.
    void waitForInput(qint64 ns);
    bool inputEndsWithCr();
    bool deviceStillThere() const;
    // The device the line's bytes go through: the serial port or the network line.
    QIODevice &line() { return onNetwork_ ? static_cast<QIODevice &>(net_) : port_; }
    const QIODevice &line() const
    {
        return onNetwork_ ? static_cast<const QIODevice &>(net_) : port_;
    }
    bool openNetworkLine(const DeviceAddress &address, int baudRate, QString *reason);

    SharedState &state_;
    QSerialPort port_;
    NetworkLine net_;
    bool onNetwork_ = false;
    int askedRate_ = 0;
    QMap<int, QString> portMap_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int commPort_ = 1;
    bool ending_ = false;
    QElapsedTimer lastWrite_;
    qint64 lastWriteDurationNs_ = 0;
    int openings_ = 0;
    bool writing_ = false;
    bool replyMissing_ = false;
    QElapsedTimer linkClock_;
    qint64 owedUntilNs_ = 0; // on linkClock_; 0: nothing owed
    std::optional<OpenFailure> lastOpenFailure_;
};

} // namespace ktv
