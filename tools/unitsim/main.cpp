// ktraveld-unitsim: a simulated unit on a pseudo-terminal or a real port.

#include "Simulator.h"
#include "Unit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace unitsim;

namespace {

const char *const kDescription = R"(A simulated KTRA/VELD unit on a serial line.

It opens a pseudo-terminal (or the real port given with --device), prints the
device the program should open as the first line on stdout, and answers the
command lines it hears like a unit of the given model, revision, axis address
and baud rate. It runs until SIGTERM or SIGINT, or until a real port ends.

The line: on a pseudo-terminal the unit answers only while the program has set
the line to the unit's --baud (the rate is read from the kernel when the bytes
arrive, exact also for 28800). Until the program sets a rate the line stands at
50 baud, which no unit uses. Bytes at another rate are recorded, never answered.
A reply that comes while the program has the port closed is lost, as on a real
port. With --device the unit sets that port to --baud itself and answers
whatever arrives.

Unplugging: SIGUSR1 makes the line vanish like a USB adapter pulled out: the
line closes (the program's open port fails, the pseudo-terminal's device goes),
the --link is removed and replies on their way are lost. SIGUSR2 plugs it back
in: a new pseudo-terminal, its path printed on stdout as a new line, and the
--link pointing at it again. The unit keeps its address, parameters and
settings. With --device the real port is closed and opened again.

Command lines: "@", the address, the command, the value, CR (no LF). The
address is compared as a number ("07" reaches unit 7); lines for other
addresses are ignored. "@%" CR (answer: the address) and "@~nn" CR (take
address nn, no answer) carry no address and reach every unit. With
--also-address a second unit of the same kind (or of --also-model) shares the
line and answers its own address (both answer "@%" and both take "@~nn"); at
the first unit's own address both answer every line, the first one first.
  $              model id, two blanks, revision ("KTRA20  1.07")
  !              error code ("0")
  VA<p> .. VU<p> parameter A, B, M, N, T, L or U of profile p (1-4), as stored
  V+ VC VD VE    direction (1 = CW), reduced current, ramp down, analog speed
  VR             microstep resolution ("8")
  + -            direction CW / CCW
  C1 C0  D1 D0  E1 E0   reduced current, ramp down, analog speed on / off
  R<n>           microstep resolution (any number)
  A<p>_<text> (also B M N T L U)   store <text> as it came for profile p
  G<p>  S  H     begin motion, soft stop, hard stop
Every reply ends in CR. Set, motion and stop commands are not answered unless
--ack is given (then "OK", or the --ack-text, after --ack-ms). Unknown lines and
a lone CR get no answer. With --deaf-ms the unit hears nothing for that long
after each set, motion or stop line, heard or not (the lines it misses are
recorded as not answered).

Factory state: direction CW, reduced current off, resolution 8, ramp down off,
analog speed off, error code 0. Profile 1: A 10000 (KTRA10 and KTRA20: 10),
B 500, M 5000, N 0, T 50, L 1000, U 20000; profile p adds 100*(p-1) to each
(profile 2 base speed is 600).

Modes:
  normal   answer at once
  silent   never answer (the unit still hears and records)
  slow     answer after --slow-ms (with --slow-count N only the first N replies)
  split    answer in two pieces, --split-gap apart
  garbage  answer with 16 random bytes (bytes above 127, CR, LF, NUL and "@")
  flood    before each answer send 1 MB without pause
  fixed    answer "$" with the model id and every other query with --fixed-reply
  stall    never read the line, so the program's output backs up behind it
With --only, the mode applies to the replies to those commands alone (a
comma-separated list such as "V+,VC,VR,VD,VE" or "VA1"); every other line is
answered as in normal mode.

Record (--record FILE): one JSON object per received line, appended and flushed
at once: {"t": CLOCK_MONOTONIC seconds at the line's end, "baud": rate in force
when it arrived, "answered": true|false, "line": text with JSON escapes (CR as
\r, bytes above 127 as \u0080..\u00ff), "hex": "40 30 24 0D"}. A line ends at
its CR; bytes at another rate than the earlier bytes of the line start a new
record.

Control (--control FILE): the unit obeys lines appended to FILE (made empty
when missing; looked at every 100 ms), and says "control: " and the order on
stdout once it holds:
  remove                 the unit is taken off the line: it hears nothing and
                         answers nothing (a reply on its way is cut off); the
                         line stays open, like a cable with no unit on it, and
                         the record still shows every line that reaches it
  insert MODEL ADDRESS   a new unit of MODEL at ADDRESS (0-99) with factory
                         settings, at the same baud, revision and mode,
                         answers from now on (it replaces any unit there was)
  insert MODEL ADDRESS keep-nothing
                         the same, a faulty unit that takes set commands and
                         keeps none of them
Other lines are reported on stderr and ignored.)";

int fail(const QString &message)
{
    std::fprintf(stderr, "ktraveld-unitsim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ktraveld-unitsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("KTRA10|KTRA20|KTRA30|VELD10|VELD20|VELD30|"
                                                  "VELD40|VELD50 (default KTRA20)."),
                                   QStringLiteral("MODEL"), QStringLiteral("KTRA20"));
    const QCommandLineOption revision(QStringLiteral("revision"),
                                      QStringLiteral("Revision text (default 1.07)."),
                                      QStringLiteral("TEXT"), QStringLiteral("1.07"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Axis address 0-99 (default 0)."),
                                     QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("The unit's baud rate (default 9600)."),
                                  QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Use this real serial port instead of a "
                                                   "pseudo-terminal."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also make a symbolic link at PATH to the line."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Record every received line to FILE."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mode(
        QStringLiteral("mode"),
        QStringLiteral("normal|silent|slow|split|garbage|flood|fixed|stall "
                       "(default normal)."),
        QStringLiteral("MODE"), QStringLiteral("normal"));
    const QCommandLineOption splitGap(QStringLiteral("split-gap"),
                                      QStringLiteral("Pause inside a split reply (default 10)."),
                                      QStringLiteral("MS"), QStringLiteral("10"));
    const QCommandLineOption slow(QStringLiteral("slow-ms"),
                                  QStringLiteral("Delay of a slow reply (default 150)."),
                                  QStringLiteral("MS"), QStringLiteral("150"));
    const QCommandLineOption slowCount(
        QStringLiteral("slow-count"),
        QStringLiteral("Mode slow delays only the first N replies (default 0: all)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption ackText(
        QStringLiteral("ack-text"),
        QStringLiteral("Acknowledge set, motion and stop commands with TEXT (implies --ack)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption ackMs(QStringLiteral("ack-ms"),
                                   QStringLiteral("Delay of an acknowledgement (default 0)."),
                                   QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption deafMs(
        QStringLiteral("deaf-ms"),
        QStringLiteral("Hear nothing for MS after each set, motion or stop line (default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption fixedReply(QStringLiteral("fixed-reply"),
                                        QStringLiteral("Reply text of mode fixed."),
                                        QStringLiteral("TEXT"));
    const QCommandLineOption ack(QStringLiteral("ack"),
                                 QStringLiteral("Answer set, motion and stop commands with OK."));
    const QCommandLineOption vanish(
        QStringLiteral("vanish-after"),
        QStringLiteral("After N received lines (the last one unanswered) close the line and "
                       "exit."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption keepNothing(
        QStringLiteral("keep-nothing"),
        QStringLiteral("Take every set command and keep none: the unit goes on answering its "
                       "factory values."));
    const QCommandLineOption modelReply(
        QStringLiteral("model-reply"),
        QStringLiteral("Answer \"$\" with TEXT and CR instead of the model id and revision."),
        QStringLiteral("TEXT"));
    const QCommandLineOption alsoAddress(
        QStringLiteral("also-address"),
        QStringLiteral("A second unit of the same model, revision and mode on the line, at "
                       "address N (0-99)."),
        QStringLiteral("N"));
    const QCommandLineOption alsoModel(
        QStringLiteral("also-model"),
        QStringLiteral("The second unit's model (default: the first unit's)."),
        QStringLiteral("MODEL"));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Apply the mode only to the replies to these commands (\"V+,VC\")."),
        QStringLiteral("LIST"));
    const QCommandLineOption control(
        QStringLiteral("control"),
        QStringLiteral("Obey \"remove\" and \"insert MODEL ADDRESS\" lines appended to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption resetAfter(
        QStringLiteral("reset-after"),
        QStringLiteral("Restart at the N-th setting write: that write is lost and every value "
                       "is back to its factory setting (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption keepMs(
        QStringLiteral("keep-ms"),
        QStringLiteral("Hold each value written for MS only, then the factory setting again "
                       "(default 0: for ever)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption noiseMs(
        QStringLiteral("noise-ms"),
        QStringLiteral("A stray byte 0xFF (no CR) on the line every MS (default 0: never)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption muteAfter(
        QStringLiteral("mute-after"),
        QStringLiteral("After N received lines hear and answer nothing more, the line left "
                       "open (a cable pulled at the unit; default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption afterReply(
        QStringLiteral("after-reply"),
        QStringLiteral("Send TEXT and CR behind every reply to a query but \"$\"."),
        QStringLiteral("TEXT"));
    parser.addOptions({model,      revision,    address,    baud,      device,     link,
                       record,     mode,        splitGap,   slow,      fixedReply, ack,
                       ackText,    ackMs,       deafMs,     slowCount, vanish,     keepNothing,
                       modelReply, alsoAddress, alsoModel,  only,      control,    resetAfter,
                       keepMs,     noiseMs,     afterReply, muteAfter});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));

    auto number = [&](const QCommandLineOption &option, int low, int high, int *out) {
        bool ok = false;
        *out = parser.value(option).toInt(&ok);
        return ok && *out >= low && *out <= high;
    };

    SimulatorOptions options;
    options.unit.model = parser.value(model).toLatin1();
    if (!knownModels().contains(options.unit.model))
        return fail(QStringLiteral("unknown model %1").arg(parser.value(model)));
    options.unit.revision = parser.value(revision).toLatin1();
    options.unit.acknowledge = parser.isSet(ack) || parser.isSet(ackText);
    if (parser.isSet(ackText))
        options.unit.ackText = parser.value(ackText).toLatin1();
    options.unit.keepNothing = parser.isSet(keepNothing);
    if (parser.isSet(modelReply))
        options.unit.modelReply = parser.value(modelReply).toLatin1();
    if (!number(address, 0, 99, &options.unit.address))
        return fail(QStringLiteral("the address must be 0 to 99"));
    if (parser.isSet(alsoAddress) && !number(alsoAddress, 0, 99, &options.alsoAddress))
        return fail(QStringLiteral("the second address must be 0 to 99"));
    if (parser.isSet(alsoModel)) {
        options.alsoModel = parser.value(alsoModel).toLatin1();
        if (!knownModels().contains(options.alsoModel))
            return fail(QStringLiteral("unknown model %1").arg(parser.value(alsoModel)));
    }
    if (!number(baud, 1, 4000000, &options.baud))
        return fail(QStringLiteral("bad baud rate %1").arg(parser.value(baud)));
    if (!number(splitGap, 0, 60000, &options.splitGapMs) ||
        !number(slow, 0, 60000, &options.slowMs) || !number(ackMs, 0, 60000, &options.ackMs) ||
        !number(deafMs, 0, 60000, &options.deafMs) ||
        !number(slowCount, 0, 1 << 30, &options.slowCount))
        return fail(QStringLiteral("bad delay"));
    if (!number(resetAfter, 0, 1 << 30, &options.unit.resetAfter) ||
        !number(keepMs, 0, 1 << 30, &options.unit.keepMs) ||
        !number(noiseMs, 0, 60000, &options.noiseMs) ||
        !number(muteAfter, 0, 1 << 30, &options.muteAfter))
        return fail(QStringLiteral("bad --reset-after, --keep-ms, --noise-ms or --mute-after"));
    options.unit.afterReply = parser.value(afterReply).toLatin1();
    if (!number(vanish, 0, 1 << 30, &options.vanishAfter))
        return fail(QStringLiteral("bad --vanish-after count"));

    const QString modeName = parser.value(mode);
    if (modeName == QLatin1String("normal")) {
        options.mode = ReplyMode::Normal;
    } else if (modeName == QLatin1String("silent")) {
        options.mode = ReplyMode::Silent;
    } else if (modeName == QLatin1String("slow")) {
        options.mode = ReplyMode::Slow;
    } else if (modeName == QLatin1String("split")) {
        options.mode = ReplyMode::Split;
    } else if (modeName == QLatin1String("garbage")) {
        options.mode = ReplyMode::Garbage;
    } else if (modeName == QLatin1String("flood")) {
        options.mode = ReplyMode::Flood;
    } else if (modeName == QLatin1String("fixed")) {
        options.mode = ReplyMode::Fixed;
        options.unit.fixedReply = parser.value(fixedReply).toLatin1();
    } else if (modeName == QLatin1String("stall")) {
        options.mode = ReplyMode::Stall;
    } else {
        return fail(QStringLiteral("unknown mode %1").arg(modeName));
    }
    if (parser.isSet(only))
        options.unit.only = parser.value(only).toLatin1().split(',');
    options.devicePath = parser.value(device);
    options.linkPath = parser.value(link);
    options.recordPath = parser.value(record);
    options.controlPath = parser.value(control);

    Simulator simulator(options);
    QString error;
    if (!simulator.open(&error))
        return fail(error);
    std::printf("%s\n", qPrintable(simulator.linePath()));
    std::fflush(stdout);
    return simulator.run();
}
