// Parameter sheets against the simulated unit: a save reads every profile
// and setting and leaves the operator's profile as it was, a compare finds
// what changed, a load writes the panel's own lines and a refused or damaged
// sheet puts nothing on the line.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/SheetOperations.h"
#include "session/UnitSession.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const UnitDescription Ktra20{QStringLiteral("KTRA20"), QStringLiteral("1.07")};

QStringList differing(const std::vector<SheetComparisonRow> &rows)
{
    QStringList out;
    for (const SheetComparisonRow &row : rows) {
        if (row.differs)
            out << row.caption + QLatin1String(": ") + row.sheetValue + QLatin1String(" / ") +
                       row.unitValue;
    }
    return out;
}

} // namespace

class TestSheets : public QObject
{
    Q_OBJECT
  private slots:
    void saveCompareLoadCompare();
    void refusedSheetSendsNothing();
    void damagedFileSendsNothing();
    void cancelStopsBetweenValues();
    void badRepliesAreNoValues_data();
    void badRepliesAreNoValues();
    void valueWithoutQueryIsNotVerifiable();
};

void TestSheets::saveCompareLoadCompare()
{
    UnitOnLine bench; // a KTRA20, revision 1.07, axis 0
    bench.connect();
    QVERIFY(bench.started);
    QVERIFY(bench.session->state.UnitConnected);
    SheetOperations operations(*bench.session, Ktra20);
    QStringList progress;
    operations.setProgress([&](const QString &value, int done, int total) {
        progress << QStringLiteral("%1 %2/%3").arg(value).arg(done).arg(total);
    });

    const SheetOperations::ReadResult saved = operations.readUnit();
    QCOMPARE(saved.problem, QString());
    QVERIFY(saved.outcome == SheetOperations::Outcome::Done);
    QCOMPARE(bench.unit.receivedBytes(), Ktra20SheetQueries);
    QCOMPARE(bench.session->state.SelectedProfile, QStringLiteral("1"));
    QCOMPARE(progress.size(), 14);
    QCOMPARE(progress.first(), QStringLiteral("Profile 1, Accel/Decel 0/14"));
    QCOMPARE(progress.last(), QStringLiteral("Ramp Down 13/14"));
    const ParameterSheet &sheet = *saved.sheet;
    QCOMPARE(*sheet.value(2, ParamKey::Base), QStringLiteral("600"));
    QCOMPARE(*sheet.value(2, ParamKey::Upper), QStringLiteral("20100"));
    QCOMPARE(sheet.settings.at(SettingGroup::RampDown), QStringLiteral("no"));
    QCOMPARE(sheet.settings.at(SettingGroup::Resolution), QStringLiteral("8"));

    const QString path = bench.dir.filePath(QStringLiteral("unit.json"));
    QString problem;
    QVERIFY(writeSheetFile(path, sheet, &problem));
    const SheetReadResult reread = readSheetFile(path);
    QVERIFY(reread.sheet.has_value());
    QVERIFY(*reread.sheet == sheet);

    // Two values change behind the sheet's back.
    bench.session->link.write("@0M2_5200\r");
    bench.session->link.write("@0E1\r");
    QVERIFY(bench.unit.waitForLineCount(16));
    bench.unit.clearRecord();

    const SheetOperations::CompareResult before = operations.compare(sheet);
    QCOMPARE(before.differences(), 2);
    QCOMPARE(differing(before.rows),
             (QStringList{"Profile 2, Max Speed: 5100 / 5200", "Analog Speed: off / on"}));
    bench.unit.clearRecord();

    const SheetOperations::LoadResult loaded = operations.load(*reread.sheet);
    QCOMPARE(loaded.problem, QString());
    QVERIFY(loaded.outcome == SheetOperations::Outcome::Done);
    QCOMPARE(loaded.written, 14);
    QCOMPARE(differing(loaded.readBack), QStringList{});
    const Lines writes = {"@0A1_10\r",  "@0B1_500\r", "@0M1_5000\r", "@0L1_1000\r", "@0U1_20000\r",
                          "@0A2_110\r", "@0B2_600\r", "@0M2_5100\r", "@0L2_1100\r", "@0U2_20100\r",
                          "@0E0\r",     "@0C0\r",     "@0R8\r",      "@0D0\r"};
    QCOMPARE(bench.unit.receivedBytes(), writes + Ktra20SheetQueries);
    QCOMPARE(bench.session->state.SelectedProfile, QStringLiteral("1"));

    const SheetOperations::CompareResult after = operations.compare(sheet);
    QVERIFY(after.outcome == SheetOperations::Outcome::Done);
    QCOMPARE(after.rows.size(), std::size_t(14));
    QCOMPARE(after.differences(), 0);
}

void TestSheets::refusedSheetSendsNothing()
{
    UnitOnLine bench; // a KTRA20, revision 1.07, axis 0
    bench.connect();
    QVERIFY(bench.started);
    SheetOperations operations(*bench.session, Ktra20);
    const SheetOperations::ReadResult saved = operations.readUnit();
    QVERIFY(saved.sheet.has_value());
    bench.unit.clearRecord();

    ParameterSheet sheet = *saved.sheet;
    sheet.profiles[1].values[ParamKey::Max] = QStringLiteral("50001");
    const SheetOperations::LoadResult loaded = operations.load(sheet);

    QVERIFY(loaded.outcome == SheetOperations::Outcome::Refused);
    QCOMPARE(loaded.refusals.size(), std::size_t(1));
    QCOMPARE(refusalLine(loaded.refusals.front()),
             QStringLiteral("Profile 2, Max Speed: Waring: The Max Speed upper limit is 50,000"));
    QCOMPARE(loaded.written, 0);
    QTest::qWait(200); // nothing reaches the line, not even late
    QCOMPARE(bench.unit.receivedBytes(), Lines{});
    QCOMPARE(bench.view.messageTexts(), QStringList{});
}

void TestSheets::damagedFileSendsNothing()
{
    UnitOnLine bench; // a KTRA20, revision 1.07, axis 0
    bench.connect();
    QVERIFY(bench.started);
    SheetOperations operations(*bench.session, Ktra20);
    const QString path = bench.dir.filePath(QStringLiteral("cut.json"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"format\": \"ktraveld-sheet\", \"version\": 1, \"model\": \"KTR");
    }
    const SheetOperations::LoadResult loaded = operations.loadFile(path);

    QVERIFY(loaded.outcome == SheetOperations::Outcome::Failed);
    QCOMPARE(loaded.problem, path + QStringLiteral(" is damaged or incomplete: unterminated "
                                                   "string at character 57."));
    QCOMPARE(loaded.written, 0);
    QTest::qWait(200); // nothing reaches the line, not even late
    QCOMPARE(bench.unit.receivedBytes(), Lines{});
}

void TestSheets::cancelStopsBetweenValues()
{
    UnitOnLine bench; // a KTRA20, revision 1.07, axis 0
    bench.connect();
    QVERIFY(bench.started);
    SheetOperations operations(*bench.session, Ktra20);
    const SheetOperations::ReadResult saved = operations.readUnit();
    QVERIFY(saved.sheet.has_value());
    bench.unit.clearRecord();

    // The operator cancels while the second value's wait runs.
    operations.setProgress([&](const QString &, int done, int) {
        if (done == 1)
            QTimer::singleShot(100, [&] { operations.cancel(); });
    });
    const SheetOperations::LoadResult loaded = operations.load(*saved.sheet);

    QVERIFY(loaded.outcome == SheetOperations::Outcome::Cancelled);
    QCOMPARE(loaded.written, 2);
    QVERIFY(bench.unit.waitForLineCount(2));
    QTest::qWait(200); // nothing follows the cancel
    QCOMPARE(bench.unit.receivedBytes(), (Lines{"@0A1_10\r", "@0B1_500\r"}));
    QCOMPARE(bench.session->state.SelectedProfile, QStringLiteral("1"));
}

void TestSheets::badRepliesAreNoValues_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("problem"); // how it begins; empty: the sheet is read
    QTest::addColumn<int>("asked");       // queries the unit heard

    QTest::newRow("replies in two pieces 90 ms apart")
        << QStringList{"--mode", "split", "--split-gap", "90"} << QString() << 14;
    QTest::newRow("replies 0.4 s late")
        << QStringList{"--mode", "slow", "--slow-ms", "400"} << QString() << 14;
    QTest::newRow("drive options answer 77")
        << QStringList{"--mode", "fixed", "--fixed-reply", "77", "--only", "VE,VC,VR,VD"}
        << "Analog Speed: unreadable reply \"77\"" << 11;
    QTest::newRow("garbage to one value query")
        << QStringList{"--mode", "garbage", "--only", "VB2"} << "Profile 2, Base Speed: " << 7;
    QTest::newRow("no answer to one value query")
        << QStringList{"--mode", "silent", "--only", "VM1"}
        << "No answer from the unit at address 0 to: Profile 1, Max Speed" << 3;
}

// A value counts only when its reply is whole and valid for its query: slow
// and split replies are read right, anything else fails the read.
void TestSheets::badRepliesAreNoValues()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, problem);
    QFETCH(int, asked);
    UnitOnLine bench(Model::KTRA20, 9600, unitArgs);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.unit.clearRecord();
    SheetOperations operations(*bench.session, Ktra20);

    const SheetOperations::ReadResult read = operations.readUnit();

    if (problem.isEmpty())
        QCOMPARE(read.problem, QString());
    QVERIFY2(read.problem.startsWith(problem), qPrintable(read.problem));
    QCOMPARE(read.sheet.has_value(), problem.isEmpty());
    // The value that failed was asked again once.
    Lines heard = Ktra20SheetQueries.mid(0, asked);
    if (!problem.isEmpty())
        heard << heard.last();
    QCOMPARE(bench.unit.receivedBytes(), heard);
    if (read.sheet) {
        QCOMPARE(*read.sheet->value(1, ParamKey::Accel), QStringLiteral("10"));
        QCOMPARE(*read.sheet->value(2, ParamKey::Base), QStringLiteral("600"));
        QCOMPARE(*read.sheet->value(2, ParamKey::Upper), QStringLiteral("20100"));
        QCOMPARE(read.sheet->settings.at(SettingGroup::Resolution), QStringLiteral("8"));
        QCOMPARE(read.sheet->settings.at(SettingGroup::RampDown), QStringLiteral("no"));
    }
}

// A VELD30 sheet against a VELD50, which cannot be asked for a resolution:
// the row is there, not verifiable, and never counts as held.
void TestSheets::valueWithoutQueryIsNotVerifiable()
{
    ParameterSheet sheet;
    sheet.unitModel = QStringLiteral("VELD30");
    sheet.profiles.push_back({1, {{ParamKey::Max, QStringLiteral("5000")}}});
    sheet.settings = {{SettingGroup::Direction, QStringLiteral("cw")},
                      {SettingGroup::Resolution, QStringLiteral("2")}};
    ParameterSheet unit = sheet;
    unit.unitModel = QStringLiteral("VELD50");
    unit.settings.erase(SettingGroup::Resolution);

    SheetOperations::CompareResult result;
    result.rows = compareSheets(sheet, unit);

    QCOMPARE(result.rows.size(), std::size_t(3));
    QCOMPARE(result.differences(), 0);
    QCOMPARE(result.unverifiable(), 1);
    const SheetComparisonRow &row = result.rows.back();
    QCOMPARE(row.caption, QStringLiteral("Microstep Resolution"));
    QCOMPARE(row.sheetValue, QStringLiteral("2"));
    QVERIFY(!row.verifiable);
}

QTEST_GUILESS_MAIN(TestSheets)
#include "tst_sheets.moc"
