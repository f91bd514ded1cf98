// Timing of a KTRA20 sheet save (both profiles) against the waits it cannot
// avoid, and what a journal row adds to a send. Prints figures and their
// goals; it asserts nothing.

#include "Helpers.h"
#include "RecordingView.h"
#include "UnitSimProcess.h"

#include "session/ChangeTracker.h"
#include "session/SheetOperations.h"
#include "session/UnitSession.h"
#include "store/Journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

QTextStream out(stdout);

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    UnitSimProcess unit; // KTRA20
    if (!unit.start())
        return 1;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    writeStore(store, 1, {{1, unit.devicePath()}});
    RecordingView view;
    UnitSession session(store);
    session.setView(&view);
    session.load();
    if (!session.state.UnitConnected)
        return 1;

    {
        SheetOperations operations(session, {QStringLiteral("KTRA20"), QStringLiteral("1.07")});
        const int runs = 10;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < runs; ++i) {
            if (!operations.readUnit().sheet)
                return 1;
        }
        const double each = clock.nsecsElapsed() / 1e9 / runs;
        // 14 queries of 0.05 s each; a reply that ends with its CR is taken
        // as soon as it is there.
        const double waits = 14 * 0.05;
        out << QStringLiteral("KTRA20 sheet save, both profiles (14 queries), mean of %1\n")
                   .arg(runs);
        out << QStringLiteral("  save time: %1 s\n").arg(each, 0, 'f', 3);
        out << QStringLiteral("  ratio to the 14 x 0.05 s waits: %1 (goal <= 1.10)\n")
                   .arg(each / waits, 0, 'f', 3);
    }

    {
        Journal journal(dir.filePath(QStringLiteral("journal.sqlite")));
        std::vector<double> ms;
        JournalEntry entry;
        entry.unitModel = QStringLiteral("KTRA20");
        entry.revision = QStringLiteral("1.07");
        entry.axis = QStringLiteral("0");
        entry.field = QStringLiteral("max-speed");
        entry.profile = QStringLiteral("1");
        entry.value = QStringLiteral("5000");
        entry.line = "@0M1_5000\r";
        entry.before = QStringLiteral("4000");
        entry.after = QStringLiteral("5000");
        entry.verdict = JournalVerdict::Confirmed;
        for (int i = 0; i < 100; ++i) {
            entry.time = QDateTime::currentDateTimeUtc();
            QElapsedTimer clock;
            clock.start();
            QString problem;
            if (!journal.append(entry, &problem)) {
                out << problem << '\n';
                return 1;
            }
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        out << QStringLiteral(
                   "Journal row per send, median of 100: %1 ms (max %2 ms, goal < 5 ms)\n")
                   .arg(median(ms), 0, 'f', 3)
                   .arg(*std::max_element(ms.begin(), ms.end()), 0, 'f', 3);
    }

    {
        // A whole Send (line, 0.5 s, read-back) with and without the tracker.
        auto sends = [&](int n) {
            std::vector<double> ms;
            view.boxes[{Model::KTRA20, ParamKey::Accel}] = QStringLiteral("12");
            for (int i = 0; i < n; ++i) {
                QElapsedTimer clock;
                clock.start();
                session.SendButtonClicked(Model::KTRA20, ParamKey::Accel,
                                          view.entriesOf(Model::KTRA20, session.state));
                ms.push_back(clock.nsecsElapsed() / 1e6);
            }
            return median(ms);
        };
        const double plain = sends(10);
        Journal journal(dir.filePath(QStringLiteral("journal2.sqlite")));
        ChangeTracker tracker(session, &journal);
        const double tracked = sends(10);
        out << QStringLiteral("Send with read-back, median of 10: %1 ms without the journal, %2 "
                              "ms with it\n")
                   .arg(plain, 0, 'f', 1)
                   .arg(tracked, 0, 'f', 1);
    }
    session.link.closePort();
    out.flush();
    return 0;
}
