#pragma once
// What a unit does with one command line: it keeps the drive settings and the
// four stored profiles, and knows which lines it answers and with what. No port,
// no timing and no rate here; Simulator decides whether the line was heard at all.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <array>
#include <optional>

namespace unitsim {

// Models a unit can be; "$" answers with one of these ids.
const QList<QByteArray> &knownModels();

struct UnitConfig
{
    QByteArray model = "KTRA20";
    QByteArray revision = "1.07";
    int address = 0;
    // Set, motion and stop commands are acknowledged with "OK" CR (or with
    // ackText and CR when that is set).
    bool acknowledge = false;
    QByteArray ackText = "OK";
    // When set, every query but "$" is answered with this text and CR.
    std::optional<QByteArray> fixedReply;
    // When not empty, the reply mode (fixed, slow, split, garbage) applies
    // only to these commands ("V+", "VC", "VA1", "%"); the rest are answered
    // at once and as stored.
    QList<QByteArray> only;
    // When set, "$" is answered with this text and CR instead of the model
    // id and revision (a unit of an unknown kind, or a damaged reply).
    std::optional<QByteArray> modelReply;
    // A unit that takes every set command and keeps none of them: it goes
    // on answering its factory values.
    bool keepNothing = false;
    // A unit that restarts at its N-th setting write (0: never): that write
    // is lost and every value is back to its factory setting.
    int resetAfter = 0;
    // A unit that holds each value written for this long only, then falls
    // back to its factory setting (0: for ever).
    int keepMs = 0;
    // Sent with its CR behind every reply to a value query ("~").
    QByteArray afterReply;
};

class Unit
{
  public:
    explicit Unit(const UnitConfig &config);

    // Handles one received line, given without its closing CR. Returns the
    // reply (CR included), or nothing when the unit stays quiet.
    // now: monotonic seconds, for values held only a while.
    std::optional<QByteArray> handleLine(const QByteArray &line, double now = 0);

    int address() const { return m_address; }
    // The command of a line ("@12VA1" -> "VA1", "@%" -> "%").
    static QByteArray commandOf(const QByteArray &line);
    // A line that sets, moves or stops (no query): "@0A1_500", "@~7", "@0G1".
    static bool isWrite(const QByteArray &line);

  private:
    // Profile parameters in the order A, B, M, N, T, L, U.
    static constexpr int kParameterCount = 7;
    static constexpr int kProfileCount = 4;

    std::optional<QByteArray> handleCommand(const QByteArray &command);
    std::optional<QByteArray> handleQuery(const QByteArray &item);
    std::optional<QByteArray> handleSet(const QByteArray &command);
    std::optional<QByteArray> queryReply(QByteArray text) const;
    bool modeApplies(const QByteArray &command) const;
    std::optional<QByteArray> setReply() const;
    void setFactory();
    // A setting write taken: counts it (a restart loses it) and notes when
    // the value named by item ("+", "R", "M2") was set.
    bool takeWrite(const QByteArray &item);
    // Values held longer than keepMs fall back to the factory setting.
    void forgetOldValues();

    UnitConfig m_config;
    int m_address = 0;
    bool m_fixedNow = false; // the line being handled gets the fixed reply
    bool m_clockwise = true;
    bool m_reducedCurrent = false;
    QByteArray m_resolution = "8";
    bool m_rampDown = false;
    bool m_analogSpeed = false;
    QByteArray m_errorCode = "0";
    std::array<std::array<QByteArray, kParameterCount>, kProfileCount> m_profiles;
    int m_writes = 0;
    double m_now = 0;
    QMap<QByteArray, double> m_setAt; // item -> when it was written
};

} // namespace unitsim
