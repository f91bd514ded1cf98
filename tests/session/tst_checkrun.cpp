// A check against the simulated unit: the verdict of each value comes from
// the read-back after the writes, a sheet for another model puts nothing on
// the line, and a line lost in the middle never passes.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/CheckRun.h"
#include "session/UnitSession.h"

#include <QCryptographicHash>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const Lines Queries = Ktra20SheetQueries;
const Lines Writes = Ktra20SheetWrites;

// "match 13, differs 1": how many values got each verdict.
QString counts(const CheckReport &report)
{
    QStringList out;
    for (ValueVerdict verdict :
         {ValueVerdict::Match, ValueVerdict::Differs, ValueVerdict::NotKept, ValueVerdict::NoAnswer,
          ValueVerdict::NotVerifiable, ValueVerdict::Refused, ValueVerdict::NotWritten})
        if (const int n = report.count(verdict))
            out << QStringLiteral("%1 %2").arg(valueVerdictText(verdict)).arg(n);
    return out.join(QStringLiteral(", "));
}

// "1 max-speed: 4000 / 5000" for the first value that is no match.
QString firstOdd(const CheckReport &report)
{
    for (const CheckedValue &value : report.values)
        if (value.verdict != ValueVerdict::Match)
            return QStringLiteral("%1 %2: %3 / %4%5")
                .arg(value.profile)
                .arg(value.key, value.sheetValue, value.unitValue.value_or(QStringLiteral("-")),
                     value.problem.isEmpty() ? QString()
                                             : QStringLiteral(" (%1)").arg(value.problem));
    return {};
}

} // namespace

class TestCheckRun : public QObject
{
    Q_OBJECT
  private slots:
    void check_data();
    void check();
};

void TestCheckRun::check_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("maxSpeed");
    QTest::addColumn<bool>("load");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("firstOdd");
    QTest::addColumn<Lines>("heard");

    QTest::newRow("unit holds the sheet") << QStringList() << "KTRA20"
                                          << "5000" << false << "pass"
                                          << ""
                                          << "match 14"
                                          << "" << Queries;
    QTest::newRow("unit holds another max speed") << QStringList() << "KTRA20"
                                                  << "4000" << false << "fail"
                                                  << ""
                                                  << "match 13, differs 1"
                                                  << "1 max-speed: 4000 / 5000" << Queries;
    QTest::newRow("load kept") << QStringList() << "KTRA20"
                               << "4000" << true << "pass"
                               << ""
                               << "match 14"
                               << "" << Writes + Queries;
    QTest::newRow("unit keeps nothing of the load")
        << QStringList{"--keep-nothing"} << "KTRA20"
        << "4000" << true << "fail"
        << ""
        << "match 13, not kept 1"
        << "1 max-speed: 4000 / 5000" << Writes + Queries;
    // The silent value is asked again once; the next question is its own.
    Lines maxAskedTwice = Queries;
    maxAskedTwice.insert(2, "@0VM1\r");
    QTest::newRow("no answer to one value, the others read")
        << QStringList{"--mode", "silent", "--only", "VM1"} << "KTRA20"
        << "5000" << false << "fail"
        << ""
        << "match 13, no answer 1"
        << "1 max-speed: 5000 / - (no answer)" << maxAskedTwice;
    QTest::newRow("sheet for another model, load")
        << QStringList() << "KTRA30"
        << "5000" << true << "refused"
        << "This sheet is for a KTRA30 and cannot be loaded into a KTRA20."
        << ""
        << "" << Lines();
    QTest::newRow("sheet for another model, no load")
        << QStringList() << "KTRA30"
        << "5000" << false << "refused"
        << "This sheet is for a KTRA30 and cannot be loaded into a KTRA20."
        << ""
        << "" << Lines();
    // The identification and its read-back are 13 lines; the 16th is the
    // third write, and the line goes with it.
    QTest::newRow("line lost after the third write")
        << QStringList{"--vanish-after", "16"} << "KTRA20"
        << "4000" << true << "fail"
        << "line lost after 3 of 14 values"
        << "no answer 3, not written 11"
        << "1 accel: 10 / - (line lost)" << Writes.mid(0, 3);
}

void TestCheckRun::check()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, model);
    QFETCH(QString, maxSpeed);
    QFETCH(bool, load);
    UnitOnLine bench(Model::KTRA20, 9600, unitArgs);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.unit.clearRecord();
    const QString path = bench.dir.filePath(QStringLiteral("line 3.json"));
    const QByteArray bytes =
        model == QLatin1String("KTRA30") ? Ktra30Sheet : ktra20Sheet(maxSpeed, model);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(path, &problem);
    QVERIFY2(request, qPrintable(problem));
    request->load = load;
    request->operatorName = QStringLiteral("Ana");
    const UnitDescription unit{QStringLiteral("KTRA20"), QStringLiteral("1.07")};
    CheckRun run(*bench.session, checkedUnitOf(*bench.session, unit));
    const CheckReport report = run.run(*request);

    QTEST(checkVerdictText(report.verdict), "verdict");
    QTEST(report.problem, "problem");
    QTEST(counts(report), "counts");
    QTEST(firstOdd(report), "firstOdd");
    QTest::qWait(100);
    QTEST(bench.unit.receivedBytes(), "heard");
    // Who, where, with what and when.
    QCOMPARE(report.unit.unitModel, QStringLiteral("KTRA20"));
    QCOMPARE(report.unit.revision, QStringLiteral("1.07"));
    QCOMPARE(report.unit.baud, 9600);
    QCOMPARE(report.unit.device, bench.unit.devicePath());
    QCOMPARE(report.station, QSysInfo::machineHostName());
    QCOMPARE(report.operatorName, QStringLiteral("Ana"));
    QCOMPARE(report.sheetName, QStringLiteral("line 3.json"));
    QCOMPARE(
        report.sheetSha256,
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    QVERIFY(!report.id.isNull());
    QVERIFY(report.started.isValid() && report.started <= report.ended);
    QCOMPARE(report.started.timeSpec(), Qt::LocalTime);
}

QTEST_GUILESS_MAIN(TestCheckRun)
#include "tst_checkrun.moc"
