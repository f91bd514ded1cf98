#include "session/UnitExchange.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ReplyDecoding.h"
#include "session/SessionTexts.h"

#include <algorithm>

namespace ktv {

UnitExchange::UnitExchange(SerialLink &link, QObject *parent) : QObject(parent), link_(link)
{
    connect(&link_, &SerialLink::lineWritten, this, &UnitExchange::onLineWritten);
}

QString UnitExchange::twoUnitsText()
{
    return QStringLiteral("two units answer at this address");
}

namespace {

// A line that asks the unit something ("@0VA1", "@0$", "@0!", "@%"); the
// others (set, motion, stop, a lone CR) have no reply.
bool asksSomething(const QByteArray &line)
{
    if (!line.startsWith('@'))
        return false;
    qsizetype at = 1;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9')
        ++at;
    QByteArray command = line.mid(at);
    if (command.endsWith('\r'))
        command.chop(1);
    return command == "$" || command == "!" || command == "%" || command.startsWith('V');
}

} // namespace

void UnitExchange::onLineWritten(const QByteArray &bytes)
{
    // A line that has no reply: whatever follows it is a stray until
    // LateSeconds have passed (a unit may acknowledge it).
    if (!asking_ && !asksSomething(bytes)) {
        sinceWrite_.start();
        writeSeconds_ = wireSeconds(bytes.size());
    }
}

double UnitExchange::settleSeconds() const
{
    const int baud = link_.baudRateInForce();
    // Ten bits a character: a start bit, eight data bits, a stop bit.
    return std::max(0.01, baud > 0 ? 4 * 10.0 / baud : 0.0);
}

double UnitExchange::wireSeconds(qsizetype bytes) const
{
    const int baud = link_.baudRateInForce();
    return baud > 0 ? bytes * 10.0 / baud : 0.0;
}

void UnitExchange::settleAfterWrite()
{
    // Written is not yet sent: the settle counts from the line's last byte.
    link_.WaitSeconds(pace_ == Pace::Reply ? writeSeconds_ + settleSeconds() : FixedWriteSeconds);
}

QString UnitExchange::listen(double firstCharSeconds)
{
    const SerialLink::Reply reply = link_.readCompleteReply(firstCharSeconds);
    QString raw = reply.text;
    if (reply.complete && link_.waitForInputWithin(settleSeconds()))
        raw += link_.readCompleteReply(settleSeconds()).text;
    return raw;
}

bool UnitExchange::quietFor(double seconds)
{
    if (!link_.ReplyWaiting() && !link_.waitForInputWithin(seconds))
        return true;
    link_.Input();
    ++strays_;
    silentQuestions_ = 0;
    owe();
    return false;
}

QString UnitExchange::noiseText() const
{
    return QStringLiteral("the line is noisy: %1 stray %2 in %3 s, nothing after the last "
                          "valid reply was trusted")
        .arg(noiseBytes_)
        .arg(noiseBytes_ == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"))
        .arg(noiseSeconds_, 0, 'f', 0);
}

bool UnitExchange::drain()
{
    // A reply the window's run left owed is dropped; bytes waiting that
    // nothing was owed for are strays.
    bool stray = link_.dropLateReplies();
    QElapsedTimer drained;
    drained.start();
    int bytes = stray ? 1 : 0;
    stray = stray || link_.ReplyWaiting();
    if (stray)
        bytes += int(link_.Input().size());
    // An acknowledgement of the last write may still be on its way; at
    // reply pace it is a stray when it comes, and the question is asked again.
    if (sinceWrite_.isValid()) {
        const double wait = pace_ == Pace::Reply ? writeSeconds_ + settleSeconds() : LateSeconds;
        const double left = wait - sinceWrite_.nsecsElapsed() / 1e9;
        QElapsedTimer clock;
        clock.start();
        while (left > 0 && !link_.isEnding() && link_.PortOpen() &&
               clock.nsecsElapsed() / 1e9 < left) {
            if (link_.waitForInputWithin(left - clock.nsecsElapsed() / 1e9)) {
                bytes += int(link_.Input().size());
                stray = true;
            }
        }
        sinceWrite_.invalidate();
    }
    if (stray) {
        ++strays_;
        silentQuestions_ = 0;
    }
    if (!stray && !quietOwed_)
        return true;
    // Quiet for the whole late window: nothing more of it can come. A line
    // that never goes quiet is noise, and the drain gives up on it.
    while (!link_.isEnding() && link_.PortOpen()) {
        const double left = NoiseSeconds - drained.nsecsElapsed() / 1e9;
        if (!link_.waitForInputWithin(std::min(LateSeconds, std::max(0.0, left))))
            break;
        bytes += int(link_.Input().size());
        silentQuestions_ = 0;
        if (left <= LateSeconds) {
            // Still talking at the bound: whatever it was, it is not a unit's reply.
            noisy_ = true;
            metNoise_ = true;
            noiseBytes_ = bytes;
            noiseSeconds_ = NoiseSeconds;
            link_.note(noiseText());
            return false;
        }
    }
    quietOwed_ = false;
    return true;
}

Outcome<QString> UnitExchange::ask(const QByteArray &question, const Validator &valid, Tries tries,
                                   double window)
{
    collided_ = false;
    noisy_ = false;
    stoppedAnswering_ = false;
    lastRaw_.clear();
    // Only the questions a unit must answer count towards its silence.
    if (tries != Tries::AskAgainOnce)
        silentQuestions_ = 0;
    int attempts = tries == Tries::Once ? 1 : 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!drain()) {
            emit answered(question, QString());
            return Outcome<QString>::failure(noiseText());
        }
        asking_ = true;
        const bool written = link_.write(question);
        asking_ = false;
        if (!written) {
            lastRaw_.clear();
            emit answered(question, QString());
            return Outcome<QString>::failure(QStringLiteral("no answer"));
        }
        QElapsedTimer clock;
        clock.start();
        // At reply pace the wait ends with the reply's CR.
        if (pace_ == Pace::Fixed)
            link_.WaitSeconds(0.05);
        const SerialLink::Reply reply = link_.readCompleteReply(window);
        const double took = clock.nsecsElapsed() / 1e9;
        QString raw = reply.text;
        // A second answer right behind the first: two units, or a stray. At
        // the fixed pace both have had the 0.05 s before the read to come.
        const double second = settleSeconds();
        if (reply.complete && link_.waitForInputWithin(second))
            raw += link_.readCompleteReply(second).text;
        lastRaw_ = raw;
        if (!raw.isEmpty())
            silentQuestions_ = 0;
        const QStringList answers = answersIn(raw);
        QString why;
        if (raw.isEmpty()) {
            ++misses_;
            why = QStringLiteral("no reply came in time");
            if (tries == Tries::AgainUnlessSilent)
                attempts = attempt + 1;
            if (tries == Tries::AskAgainOnce && ++silentQuestions_ >= SilentQuestions) {
                stoppedAnswering_ = true;
                owe();
                link_.note(QStringLiteral("the unit stopped answering: %1 questions in a row "
                                          "heard nothing")
                               .arg(silentQuestions_));
                break;
            }
        } else if (!raw.endsWith(QLatin1Char('\r'))) {
            why = QStringLiteral("only part of the reply came in time");
        } else if (answers.size() > 1) {
            if (answers.count(answers.first()) == answers.size()) {
                // The same answer twice: two units heard the question.
                collided_ = true;
                owe();
                link_.note(QStringLiteral("refused: two units answered the same question"));
                emit answered(question, QString());
                return Outcome<QString>::failure(twoUnitsText());
            }
            why = QStringLiteral("more than one reply came");
        } else if (std::optional<QString> value = valid(raw)) {
            slowestReply_ = std::max(slowestReply_, took);
            emit answered(question, raw);
            return *value;
        } else {
            why = QStringLiteral("the reply does not answer the question");
        }
        if (!raw.isEmpty())
            ++strays_;
        owe(); // the rest, or the reply itself, may still come
        if (link_.isEnding() || !link_.PortOpen())
            break;
        if (attempt + 1 < attempts)
            link_.note(QStringLiteral("asked again: ") + why);
    }
    emit answered(question, QString());
    return Outcome<QString>::failure(lastRaw_.isEmpty() ? QStringLiteral("no answer")
                                                        : replyProblemText(lastRaw_));
}

Outcome<QString> UnitExchange::askField(const QString &address, Field field, const QString &profile)
{
    return ask(frame::queryLine(address, field, profile),
               [field](const QString &raw) { return decode::validReply(field, raw); });
}

QString UnitExchange::glance(const QByteArray &question, double firstCharSeconds)
{
    if (!drain())
        return {};
    asking_ = true;
    const bool written = link_.write(question);
    asking_ = false;
    if (!written)
        return {};
    const SerialLink::Reply reply = link_.readCompleteReply(firstCharSeconds);
    QString raw = reply.text;
    if (reply.complete && link_.waitForInputWithin(SecondAnswerSeconds))
        raw += link_.readCompleteReply(SecondAnswerSeconds).text;
    // Half an answer, or two: more of it may still come.
    if (!raw.isEmpty() && (!reply.complete || answersIn(raw).size() != 1))
        owe();
    return raw;
}

Outcome<QString> UnitExchange::askModel(const QString &address, Tries tries, double window)
{
    return ask(
        frame::modelQuery(address),
        [](const QString &raw) -> std::optional<QString> {
            const std::optional<QString> text = decode::wholeReply(raw);
            if (text && parseIdentityReply(*text))
                return text;
            return std::nullopt;
        },
        tries, window);
}

} // namespace ktv
