// A check's report as the JSON and JUnit files a bench keeps: exact bytes,
// every verdict, the texts escaped; the verdicts read back from their texts.

#include "protocol/CellText.h"
#include "protocol/CheckReportJson.h"
#include "protocol/JUnitReport.h"

#include <QJsonDocument>
#include <QTest>

using namespace ktv;

namespace {

CheckReport reportOf(std::vector<CheckedValue> values, CheckVerdict verdict,
                     const QString &problem = {})
{
    CheckReport report;
    report.id = QUuid(QStringLiteral("{6f1c2b7e-0d3a-4c55-9a1e-2b3c4d5e6f70}"));
    report.unit = {QStringLiteral("KTRA20"),
                   QStringLiteral("1.07"),
                   3,
                   9600,
                   QStringLiteral("/dev/ttyUSB0"),
                   QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A10K3-if00-port0"),
                   QStringLiteral("A10K3")};
    report.station = QStringLiteral("bench <3> & \"east\"");
    report.operatorName = QStringLiteral("Ana");
    report.sheetName = QStringLiteral("line3.json");
    report.sheetSha256 =
        QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    report.loaded = true;
    report.started = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 5, 120), Qt::OffsetFromUTC, 3600);
    report.ended = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 21, 620), Qt::OffsetFromUTC, 3600);
    report.values = std::move(values);
    report.verdict = verdict;
    report.problem = problem;
    return report;
}

CheckedValue value(int profile, const char *key, const char *caption, const char *sheet,
                   std::optional<QString> unit, ValueVerdict verdict, const char *problem = "")
{
    return {profile,
            QString::fromLatin1(key),
            QString::fromLatin1(caption),
            QString::fromLatin1(sheet),
            unit,
            verdict,
            QString::fromLatin1(problem)};
}

const char *const Head = R"(<?xml version="1.0" encoding="UTF-8"?>
<testsuites>
  <testsuite name="KTRA20 line3.json" tests="%1" failures="%2" errors="%3" skipped="%4" time="16.500" timestamp="2026-12-08T14:03:05" hostname="bench &lt;3&gt; &amp; &quot;east&quot;">
    <properties>
      <property name="id" value="6f1c2b7e-0d3a-4c55-9a1e-2b3c4d5e6f70"/>
      <property name="verdict" value="%5"/>
      <property name="revision" value="1.07"/>
      <property name="operator" value="%6"/>
      <property name="sheet-sha256" value="9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"/>
    </properties>
)";
const char *const Tail = R"(  </testsuite>
</testsuites>
)";

} // namespace

class TestCheckReport : public QObject
{
    Q_OBJECT
  private slots:
    void junit_data();
    void junit();
    void json();
    void verdictsReadBack();
    void cells_data();
    void cells();
};

void TestCheckReport::junit_data()
{
    QTest::addColumn<CheckReport>("report");
    QTest::addColumn<QString>("head"); // tests, failures, errors, skipped, verdict[, operator]
    QTest::addColumn<QString>("cases");
    QTest::addColumn<QStringList>("replaced"); // fields with characters XML cannot carry

    QTest::newRow("every value matches")
        << reportOf({value(1, "max-speed", "Max Speed", "5000", "5000", ValueVerdict::Match),
                     value(0, "ramp-down", "Ramp Down", "no", "no", ValueVerdict::Match)},
                    CheckVerdict::Pass)
        << "2 0 0 0 pass"
        << R"(    <testcase classname="KTRA20.Profile 1" name="Max Speed"/>
    <testcase classname="KTRA20.Drive Settings" name="Ramp Down"/>
)" << QStringList();
    QTest::newRow("each verdict that is no match")
        << reportOf({value(1, "max-speed", "Max Speed", "5000", "4000", ValueVerdict::Differs),
                     value(2, "accel", "Accel", "110", "10", ValueVerdict::NotKept),
                     value(2, "base-speed", "Base Speed", "600", std::nullopt,
                           ValueVerdict::NoAnswer, "unreadable reply \"6<0\""),
                     value(0, "resolution", "Resolution", "2", std::nullopt,
                           ValueVerdict::NotVerifiable),
                     value(0, "ramp-down", "Ramp Down", "no", std::nullopt,
                           ValueVerdict::NotWritten, "line lost")},
                    CheckVerdict::Fail, QStringLiteral("line lost after 3 of 14 values"))
        << "6 5 1 0 fail"
        << R"(    <testcase classname="KTRA20.Profile 1" name="Max Speed">
      <failure message="sheet 5000, unit 4000" type="differs"/>
    </testcase>
    <testcase classname="KTRA20.Profile 2" name="Accel">
      <failure message="sheet 110, unit 10" type="not kept"/>
    </testcase>
    <testcase classname="KTRA20.Profile 2" name="Base Speed">
      <failure message="unreadable reply &quot;6&lt;0&quot;" type="no answer"/>
    </testcase>
    <testcase classname="KTRA20.Drive Settings" name="Resolution">
      <failure message="not verifiable" type="not verifiable"/>
    </testcase>
    <testcase classname="KTRA20.Drive Settings" name="Ramp Down">
      <error message="not written" type="not written"/>
    </testcase>
    <testcase classname="KTRA20.Check" name="Check">
      <failure message="line lost after 3 of 14 values" type="fail"/>
    </testcase>
)" << QStringList();
    QTest::newRow("sheet refused")
        << reportOf(
               {value(2, "max-speed", "Max Speed", "50001", std::nullopt, ValueVerdict::Refused,
                      "Waring: The Max Speed upper limit is 50,000")},
               CheckVerdict::Refused,
               QStringLiteral("Profile 2, max-speed: Waring: The Max Speed upper limit is 50,000"))
        << "2 2 0 0 refused"
        << R"(    <testcase classname="KTRA20.Profile 2" name="Max Speed">
      <failure message="Waring: The Max Speed upper limit is 50,000" type="refused"/>
    </testcase>
    <testcase classname="KTRA20.Check" name="Check">
      <failure message="Profile 2, max-speed: Waring: The Max Speed upper limit is 50,000" type="refused"/>
    </testcase>
)" << QStringList();
    // A unit that answered "5\x1b[2J0" and a problem with a lone surrogate.
    CheckReport garbled = reportOf({value(1, "max-speed", "Max Speed", "5000",
                                          QStringLiteral("5\x1b[2J0"), ValueVerdict::Differs)},
                                   CheckVerdict::Error, QStringLiteral("line lost at \xd800"));
    garbled.operatorName = QStringLiteral("Ana\x01\x02");
    QTest::newRow("characters XML cannot carry")
        << garbled << "2 1 1 0 error Ana��"
        << R"(    <testcase classname="KTRA20.Profile 1" name="Max Speed">
      <failure message="sheet 5000, unit 5�[2J0" type="differs"/>
    </testcase>
    <testcase classname="KTRA20.Check" name="Check">
      <error message="line lost at �" type="error"/>
    </testcase>
)" << QStringList{"Profile 1, Max Speed", "problem", "operator"};
}

void TestCheckReport::junit()
{
    QFETCH(CheckReport, report);
    QFETCH(QString, head);
    QFETCH(QString, cases);
    const QStringList h = head.split(QLatin1Char(' '));
    QString expected = QString::fromLatin1(Head).arg(h[0], h[1], h[2], h[3], h[4],
                                                     h.value(5, QStringLiteral("Ana"))) +
                       cases + QLatin1String(Tail);
    QStringList replaced;

    QCOMPARE(QString::fromUtf8(writeJUnitReport(report, &replaced)), expected);
    QTEST(replaced, "replaced");
}

void TestCheckReport::json()
{
    CheckReport report =
        reportOf({value(1, "max-speed", "Max Speed", "5000", "4000", ValueVerdict::NotKept),
                  value(0, "ramp-down", "Ramp Down", "no", std::nullopt, ValueVerdict::NoAnswer,
                        "no answer")},
                 CheckVerdict::Fail);
    report.serial = QStringLiteral("SN-0042");

    const QString expected = QString::fromLatin1(
        R"({"ended":"2026-12-08T14:03:21.620+01:00","format":1,)"
        R"("id":"6f1c2b7e-0d3a-4c55-9a1e-2b3c4d5e6f70","loaded":true,"operator":"Ana",)"
        R"("problem":null,"serial":"SN-0042","sheet":{"name":"line3.json","sha256":)"
        R"("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"},)"
        R"("started":"2026-12-08T14:03:05.120+01:00","station":"bench <3> & \"east\"",)"
        R"("unit":{"axis":3,"baud":9600,"byId":"/dev/serial/by-id/usb-FTDI_FT232R_A10K3-if00-port0",)"
        R"("device":"/dev/ttyUSB0","model":"KTRA20","revision":"1.07","serialNumber":"A10K3"},)"
        R"("values":[{"caption":"Max Speed","key":"max-speed","problem":null,"profile":1,)"
        R"("sheet":"5000","unit":"4000","verdict":"not kept"},)"
        R"({"caption":"Ramp Down","key":"ramp-down","problem":"no answer","profile":null,)"
        R"("sheet":"no","unit":null,"verdict":"no answer"}],"verdict":"fail"})");
    QCOMPARE(
        QString::fromUtf8(QJsonDocument(checkReportJson(report)).toJson(QJsonDocument::Compact)),
        expected);
    QCOMPARE(writeCheckReportJson(report).right(2), QByteArray("}\n"));
}

// Every verdict as the journal and the results server keep it comes back as
// itself; a text no verdict has reads as the worst case of its kind.
void TestCheckReport::verdictsReadBack()
{
    const std::pair<const char *, ValueVerdict> values[] = {
        {"match", ValueVerdict::Match},
        {"differs", ValueVerdict::Differs},
        {"not kept", ValueVerdict::NotKept},
        {"no answer", ValueVerdict::NoAnswer},
        {"not verifiable", ValueVerdict::NotVerifiable},
        {"refused", ValueVerdict::Refused},
        {"not written", ValueVerdict::NotWritten},
        {"Match", ValueVerdict::NoAnswer},
        {"", ValueVerdict::NoAnswer}};
    for (const auto &[text, verdict] : values)
        QVERIFY2(valueVerdictFromText(QString::fromLatin1(text)) == verdict, text);
    const std::pair<const char *, CheckVerdict> checks[] = {{"pass", CheckVerdict::Pass},
                                                            {"fail", CheckVerdict::Fail},
                                                            {"refused", CheckVerdict::Refused},
                                                            {"error", CheckVerdict::Error},
                                                            {"passed", CheckVerdict::Error}};
    for (const auto &[text, verdict] : checks)
        QVERIFY2(checkVerdictFromText(QString::fromLatin1(text)) == verdict, text);
}

// A name or a reply stays one cell: a spreadsheet takes no formula from a
// CSV file, a terminal no escape from a table.
void TestCheckReport::cells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("terminal");

    // name, text, as a CSV cell, as a table cell
    const char *const rows[][4] = {
        {"number", "5000", "5000", "5000"},
        {"formula", "=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "=HYPERLINK(\"x\")"},
        {"plus", "+1", "'+1", "+1"},
        {"minus, a negative number too", "-5", "'-5", "-5"},
        {"minus later", "a-b", "a-b", "a-b"},
        {"at", "@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"tab first", "\tx", "'\tx", "\\x09x"},
        {"CR first", "\r=1", "\"'\r=1\"", "\\x0d=1"},
        {"line break first", "\n=1", "\"'\n=1\"", "\\x0a=1"},
        {"space first", " =1", "' =1", " =1"},
        {"no-break space first", "\u00a0=1", "'\u00a0=1", "\u00a0=1"},
        {"full-width equals", "\uff1d1+1", "'\uff1d1+1", "\uff1d1+1"},
        {"full-width plus", "\uff0b1", "'\uff0b1", "\uff0b1"},
        {"full-width minus", "\uff0d5", "'\uff0d5", "\uff0d5"},
        {"full-width at", "\uff20SUM(A1)", "'\uff20SUM(A1)", "\uff20SUM(A1)"},
        {"comma and quote", "line 3, \"A\"", "\"line 3, \"\"A\"\"\"", "line 3, \"A\""},
        {"a row of its own", "Ana\n2026,x", "\"Ana\n2026,x\"", "Ana\\x0a2026,x"},
        {"escape, DEL, C1", "\x1b[2Jx\x7f\u009b", "\x1b[2Jx\x7f\u009b", "\\x1b[2Jx\\x7f\\x9b"}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2])
                              << QString::fromUtf8(row[3]);
}

void TestCheckReport::cells()
{
    QFETCH(QString, text);

    QTEST(csvCell(text), "csv");
    QTEST(terminalCell(text), "terminal");
}

QTEST_GUILESS_MAIN(TestCheckReport)
#include "tst_checkreport.moc"
