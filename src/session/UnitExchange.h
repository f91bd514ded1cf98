#pragma once
// The one exchange: every question to the unit goes through here, and every
// answer that comes back is proven to answer its own question.
//
// The rules, for every question but the window's own exchanges (the
// identification, the panel's read-back run, Axis Define's address query,
// which keep their plan and timing and report what they placed through
// settle):
// 1. One question is outstanding at a time.
// 2. A reply counts only when it is whole (up to its CR), valid for its
//    question, single, and begins after the question was written, within
//    ReplySeconds. The same answer twice comes from two units: refused.
// 3. Bytes waiting before a question, and bytes after a line that has no
//    reply (a set command's acknowledgement) are strays, never values: the
//    first question after a write waits LateSeconds after that write, the
//    write's own 0.5 s included (at reply pace only settleSeconds: an
//    acknowledgement still to come then shows as a stray or a second reply,
//    and the question is asked again).
// 4. After a stray, a missed reply or half a reply the line is drained until
//    it has been quiet for LateSeconds, and the same question is asked again,
//    once; the monitor is told why. A second miss is "no answer".
// 6. A drain ends: a line that is not quiet within NoiseSeconds is noisy,
//    and nothing after the last proven reply counts (noisy()). Three
//    questions in a row that heard nothing at all mean the unit stopped
//    answering (stoppedAnswering()): nothing more is asked of it.
// 5. A reply answers one question only: answered() hands each question's
//    proven reply (or none) to whoever keeps track, the journal among them.

#include "link/SerialLink.h"
#include "protocol/Models.h"
#include "protocol/Outcome.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace ktv {

// How the panel's read-back run reads: with the window's own timing (a
// first character within 0.1 s), or by the exchange's rules (the tool).
enum class ReplyPolicy { Window, Tool };

// How the tool waits on the unit: the fixed waits of the window (0.5 s
// after each line of the identification and after each write, 0.05 s
// before each reply is read), or paced by the unit's replies: a wait ends
// when the reply's CR is there, and the line after a write follows after a
// short settle.
enum class Pace { Fixed, Reply };

class UnitExchange : public QObject
{
    Q_OBJECT
  public:
    static constexpr double ReplySeconds = 1.0;
    static constexpr double LateSeconds = 1.0;
    // The fixed pace's wait after each write.
    static constexpr double FixedWriteSeconds = 0.5;
    // Two units answering one question come within this of each other.
    static constexpr double SecondAnswerSeconds = 0.02;
    // The longest a drain waits for a quiet line.
    static constexpr double NoiseSeconds = 3.0;
    // Questions in a row that heard nothing before the unit counts as gone.
    static constexpr int SilentQuestions = 3;

    explicit UnitExchange(SerialLink &link, QObject *parent = nullptr);

    void setPolicy(ReplyPolicy policy) { policy_ = policy; }
    ReplyPolicy policy() const { return policy_; }
    void setPace(Pace pace) { pace_ = pace; }
    Pace pace() const { return pace_; }
    // After a write at reply pace, the next line follows after a few
    // character times at the line's rate: max(10 ms, 4 characters).
    double settleSeconds() const;
    // The time bytes take on the line at the rate in force.
    double wireSeconds(qsizetype bytes) const;
    // Waits settleSeconds (reply pace) or the fixed 0.5 s after a write.
    void settleAfterWrite();
    // A reply to a line written just now, for the identification at reply
    // pace: waits up to firstCharSeconds for its first character and then
    // for its CR, and a settle more for a second answer behind it (two
    // units). Everything read, as read.
    QString listen(double firstCharSeconds);
    // Watches the line for that long: true when it stayed quiet; what came
    // is a stray, dropped, and the next question drains first.
    bool quietFor(double seconds);
    // Lines that came unasked (dropped before a question, a second reply,
    // a reply that answered nothing) since the exchange began.
    int strays() const { return strays_; }
    // Questions that got no reply at all on an attempt.
    int misses() const { return misses_; }
    // The longest a proven reply took, from its question written to its CR.
    double slowestReplySeconds() const { return slowestReply_; }

    // The text of a whole reply valid for the question, CR removed; none
    // when the reply does not answer it.
    using Validator = std::function<std::optional<QString>(const QString &raw)>;
    // Asks and proves the answer by the rules above: the valid text, or why
    // there is none ("no answer", "unreadable reply \"77\"", two units).
    // A question that may go unanswered as a matter of course (is a unit
    // there at all?) is asked once: its next asking is the second try. One
    // whose silence is an answer (nobody listens at this rate or address)
    // is asked again only after a reply that did not answer it.
    enum class Tries { AskAgainOnce, Once, AgainUnlessSilent };
    Outcome<QString> ask(const QByteArray &question, const Validator &valid,
                         Tries tries = Tries::AskAgainOnce, double window = ReplySeconds);
    // A parameter or drive setting at an address.
    Outcome<QString> askField(const QString &address, Field field, const QString &profile);
    // The model query: the whole identity reply ("KTRA20  1.07"), CR removed.
    Outcome<QString> askModel(const QString &address, Tries tries = Tries::AskAgainOnce,
                              double window = ReplySeconds);

    // A sweep's quick look: the question after a drain, and what comes
    // within firstCharSeconds (then up to its CR), as read. Nothing read
    // here is a value: the sweep asks every address that answered again with
    // ask() before it counts. Silence owes nothing, so the sweep's next
    // question follows at once; an answer that came late to an earlier
    // question shows up there, and the asking again finds it out.
    QString glance(const QByteArray &question, double firstCharSeconds);

    // What the last ask read on its last attempt, as read (CRs included).
    const QString &lastRaw() const { return lastRaw_; }
    // The last ask met the same answer twice: two units at the address.
    bool collided() const { return collided_; }
    // The last ask found a line that never went quiet: no value after the
    // last proven reply can be trusted. noiseText() says how noisy.
    bool noisy() const { return noisy_; }
    QString noiseText() const;
    // A drain gave up on a noisy line since forgetNoise().
    bool metNoise() const { return metNoise_; }
    void forgetNoise() { metNoise_ = false; }
    // The last ask was the third question in a row that heard nothing.
    bool stoppedAnswering() const { return stoppedAnswering_; }

    // Before a question: drops what is waiting and waits out what may still
    // come (a write's acknowledgement, a late or cut reply). False when the
    // line stayed noisy for NoiseSeconds.
    bool drain();
    // A reply may still come: the next question first drains the line until
    // it has been quiet for LateSeconds.
    void owe() { quietOwed_ = true; }

    // The window's own exchanges report what they placed: the reply (as
    // read) they took as the question's answer, or empty when none.
    void settle(const QByteArray &question, const QString &reply)
    {
        emit answered(question, reply);
    }

    static QString twoUnitsText();

  signals:
    // Every question's answer as proven, as read (CR included); empty when
    // the question got none.
    void answered(const QByteArray &question, const QString &reply);

  private:
    void onLineWritten(const QByteArray &bytes);

    SerialLink &link_;
    ReplyPolicy policy_ = ReplyPolicy::Window;
    Pace pace_ = Pace::Fixed;
    int strays_ = 0;
    int misses_ = 0;
    double slowestReply_ = 0;
    bool asking_ = false;
    bool quietOwed_ = false;
    QElapsedTimer sinceWrite_; // since the last line that has no reply
    double writeSeconds_ = 0;  // that line's own time on the wire
    QString lastRaw_;
    bool collided_ = false;
    bool noisy_ = false;
    bool metNoise_ = false;
    int noiseBytes_ = 0;
    double noiseSeconds_ = 0;
    int silentQuestions_ = 0;
    bool stoppedAnswering_ = false;
};

} // namespace ktv
