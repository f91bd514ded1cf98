#pragma once
// The simulated unit on its line: a pseudo-terminal (or a real port) that hears
// command lines and answers like a unit of the chosen model.
//
// On a pseudo-terminal the unit answers only while the program has set the line
// to the unit's rate; bytes written at any other rate are recorded but never
// answered, as a real unit would only see noise. The rate is read from the
// master side at the moment the bytes arrive. The unit keeps a slave descriptor
// of its own open, so the line and its settings survive the program closing and
// reopening the port.

#include "ControlFile.h"
#include "Recorder.h"
#include "Unit.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <optional>

namespace unitsim {

enum class ReplyMode { Normal, Silent, Slow, Split, Garbage, Flood, Fixed, Stall };

struct SimulatorOptions
{
    UnitConfig unit;
    int baud = 9600;
    ReplyMode mode = ReplyMode::Normal;
    int splitGapMs = 10;
    int slowMs = 150;
    int slowCount = 0;    // mode slow: only the first N replies it applies to; 0: all
    int ackMs = 0;        // acknowledgements go out this long after their line
    int deafMs = 0;       // after each write the unit hears nothing this long
    int vanishAfter = 0;  // 0: never
    int noiseMs = 0;      // a stray 0xFF on the line every this long; 0: never
    int muteAfter = 0;    // after N received lines the unit hears nothing; 0: never
    int alsoAddress = -1; // 0-99: a second unit at this address (the first's too)
    QByteArray alsoModel; // the second unit's model; empty: the first unit's
    QString devicePath;   // empty: a new pseudo-terminal
    QString linkPath;
    QString recordPath;
    QString controlPath; // empty: no control file
};

class Simulator
{
  public:
    explicit Simulator(const SimulatorOptions &options);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Opens the line (and the record); on failure returns false with a reason.
    bool open(QString *error);
    // The device the program opens: the slave path, or the --device path.
    QString linePath() const { return m_linePath; }
    // Serves the line until SIGTERM/SIGINT, the end of a real port, or the
    // --vanish-after count. Returns the exit code.
    int run();

    static QByteArray garbageReply();

  private:
    struct Chunk
    {
        QByteArray bytes;
        qsizetype offset = 0;
        double notBefore = 0;        // monotonic seconds
        double gapAfterPrevious = 0; // seconds after the previous chunk went out
    };

    void receive(const QByteArray &bytes, int rate, double now);
    void endLine(double now);
    void scheduleReply(const QByteArray &reply, double now, ReplyMode mode);
    double headReadyAt() const;
    bool writePending();
    bool watchForClose() const;
    void dropIfPortClosed();
    void closeLine();
    bool openLine(QString *error);
    void unplug();
    void replug();
    bool takeSignal();
    // Carries out the orders appended to the control file since the last look.
    void obeyControl();
    double sendNoiseWhenDue();

    SimulatorOptions m_options;
    Unit m_unit;
    std::optional<Unit> m_second; // --also-address
    Recorder m_recorder;
    ControlFile m_control;
    bool m_present = true; // false after "remove": the line has no unit on it
    int m_fd = -1;         // pty master, or the real port
    int m_slaveFd = -1;    // held open for the life of the pty
    int m_signalFd = -1;
    QString m_linePath;
    bool m_linkMade = false;

    QByteArray m_partial;
    int m_partialRate = 0;
    int m_lineCount = 0;
    bool m_vanish = false;
    bool m_lineLost = false;

    std::deque<Chunk> m_output;
    double m_lastChunkDone = 0;
    double m_deafUntil = 0;
    double m_muteUntil = 0; // "mute": nothing heard nor answered before then
    int m_slowDone = 0;
    double m_nextNoise = 0;
};

double monotonicSeconds();

} // namespace unitsim
