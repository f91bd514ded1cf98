// The limits table, the reading of entry texts and the checks an entry must pass.

#include "protocol/ParameterLimits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QTest>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

using namespace ktv;

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

// Switches the program and the C library to German number formats (decimal
// comma) for as long as it lives.
class GermanNumbers
{
  public:
    GermanNumbers() : m_saved(std::setlocale(LC_NUMERIC, nullptr)), m_savedQt(QLocale())
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            if (std::setlocale(LC_NUMERIC, name)) {
                m_cLocale = true;
                break;
            }
        }
    }
    ~GermanNumbers()
    {
        std::setlocale(LC_NUMERIC, m_saved.c_str());
        QLocale::setDefault(m_savedQt);
    }
    bool cLocaleSwitched() const { return m_cLocale; }

  private:
    std::string m_saved;
    QLocale m_savedQt;
    bool m_cLocale = false;
};

} // namespace

class TestParameterLimits : public QObject
{
    Q_OBJECT

  private slots:
    void parseLeadingNumber_data();
    void parseLeadingNumber();
    void parseLeadingNumberUnderGermanLocale_data() { parseLeadingNumber_data(); }
    void parseLeadingNumberUnderGermanLocale();
    void parseLongTexts_data();
    void parseLongTexts();
    void panelRows_data();
    void panelRows();
    void checkRange_data();
    void checkRange();
    void checkOrder_data();
    void checkOrder();
    void checkText_data();
    void checkText();
    void checkEntry_data();
    void checkEntry();
};

void TestParameterLimits::parseLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("empty reads 0") << "" << 0.0;
    QTest::newRow("no leading number reads 0") << "abc" << 0.0;
    QTest::newRow("12abc reads 12") << "12abc" << 12.0;
    QTest::newRow("blank inside the digits: 1 000 reads 1000") << "1 000" << 1000.0;
    QTest::newRow("tabs and line feeds anywhere") << "\t1\n2 3 " << 123.0;
    QTest::newRow("blank between sign and digits") << "- 7" << -7.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow(".5 reads 0.5") << ".5" << 0.5;
    QTest::newRow("-.5 reads -0.5") << "-.5" << -0.5;
    QTest::newRow("trailing full stop") << "5." << 5.0;
    QTest::newRow("small fraction") << "0.000123" << 0.000123;
    QTest::newRow("second full stop ends the number") << "1.2.3" << 1.2;
    QTest::newRow("comma ends the number: 5,000 reads 5") << "5,000" << 5.0;
    QTest::newRow("1e3 reads 1000") << "1e3" << 1000.0;
    QTest::newRow("E with plus sign") << "1E+3" << 1000.0;
    QTest::newRow("D exponent") << "2d2" << 200.0;
    QTest::newRow("D with minus sign") << "2D-2" << 0.02;
    QTest::newRow("blanks inside the exponent") << "1 e - 3" << 0.001;
    QTest::newRow("exponent ends at a full stop") << "1e3.5" << 1000.0;
    QTest::newRow("12e reads 12") << "12e" << 12.0;
    QTest::newRow("12e+ reads 12") << "12e+" << 12.0;
    QTest::newRow("e then letters reads the mantissa") << "12ex3" << 12.0;
    QTest::newRow("full stop alone reads 0") << "." << 0.0;
    QTest::newRow("sign alone reads 0") << "-" << 0.0;
    QTest::newRow("two signs read 0") << "+-1" << 0.0;
    QTest::newRow("exponent without mantissa reads 0") << "e5" << 0.0;
    QTest::newRow("full stop and exponent only read 0") << ".e5" << 0.0;
    QTest::newRow("&H reads 0") << "&H10" << 0.0;
    QTest::newRow("&O reads 0") << "&O17" << 0.0;
    QTest::newRow("0x reads as 0 then stops") << "0x1F" << 0.0;
    QTest::newRow("CR is not skipped") << "\r12" << 0.0;
    QTest::newRow("CR after the digits ends them") << "12\r3" << 12.0;
    QTest::newRow("non-breaking space ends the number") << QStringLiteral("1\u00a0000") << 1.0;
    QTest::newRow("Arabic-Indic digits are not digits") << QStringLiteral("\u0661\u0662") << 0.0;
    QTest::newRow("1e999 is +infinity") << "1e999" << Inf;
    QTest::newRow("-1e999 is -infinity") << "-1e999" << -Inf;
    QTest::newRow("1e-999 is 0") << "1e-999" << 0.0;
    QTest::newRow("600 digits overflow without an exponent")
        << QString(QLatin1Char('1')) + QString(600, QLatin1Char('0')) << Inf;
    QTest::newRow("1000 digits scaled back to 1")
        << QString(QLatin1Char('1')) + QString(1000, QLatin1Char('0')) + QStringLiteral("e-1000")
        << 1.0;
    QTest::newRow("300 fraction zeros scaled back to 1")
        << QStringLiteral("0.") + QString(300, QLatin1Char('0')) + QStringLiteral("1e301") << 1.0;
    QTest::newRow("900 significant digits keep their leading value")
        << QStringLiteral("123456789").repeated(100) + QStringLiteral("e-891")
        << 123456789.12345679;
}

void TestParameterLimits::parseLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const double parsed = ParseLeadingNumber(text);
    if (std::isinf(value))
        QCOMPARE(parsed, value);
    else
        QVERIFY2(std::abs(parsed - value) <= 1e-15 * std::abs(value),
                 qPrintable(QString::number(parsed, 'g', 17)));
}

void TestParameterLimits::parseLeadingNumberUnderGermanLocale()
{
    const GermanNumbers german;
    QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));
    static bool toldOnce = false;
    if (german.cLocaleSwitched())
        QCOMPARE(std::localeconv()->decimal_point[0], ',');
    else if (!std::exchange(toldOnce, true))
        qInfo("no German C library locale installed; only Qt's default locale is German");
    parseLeadingNumber();
}

void TestParameterLimits::parseLongTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    const qsizetype million = 1000000;
    QTest::newRow("a million nines") << QString(million, QLatin1Char('9')) << Inf;
    QTest::newRow("a million leading zeros")
        << QString(million, QLatin1Char('0')) + QLatin1Char('5') << 5.0;
    QTest::newRow("a million fraction zeros")
        << QStringLiteral("0.") + QString(million, QLatin1Char('0')) + QLatin1Char('1') << 0.0;
    QTest::newRow("a million fraction digits")
        << QStringLiteral("1.") + QString(million, QLatin1Char('3')) << 4.0 / 3.0;
    QTest::newRow("a million blanks before the number")
        << QString(million, QLatin1Char(' ')) + QLatin1Char('7') << 7.0;
    QTest::newRow("a million exponent digits")
        << QStringLiteral("1e") + QString(million, QLatin1Char('9')) << Inf;
    QTest::newRow("a million negative exponent digits")
        << QStringLiteral("1e-") + QString(million, QLatin1Char('9')) << 0.0;
    QTest::newRow("a million letters after the number")
        << QLatin1Char('5') + QString(million, QLatin1Char('x')) << 5.0;
}

void TestParameterLimits::parseLongTexts()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QElapsedTimer timer;
    timer.start();
    const double parsed = ParseLeadingNumber(text);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed()) + " ms"));
    QCOMPARE(parsed, value);
}

// The boxes of each panel in table order, with their default texts and max lengths.
void TestParameterLimits::panelRows_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("defaults");
    QTest::addColumn<QString>("maxLengths");

    QTest::newRow("KTRA10") << Model::KTRA10 << "Accel Base Max"
                            << "10 500 5000"
                            << "0 0 0";
    QTest::newRow("KTRA20") << Model::KTRA20 << "Accel Base Max Lower Upper"
                            << "10 500 5000 1000 20000"
                            << "3 4 5 5 5";
    QTest::newRow("KTRA30") << Model::KTRA30 << "Accel Base Max"
                            << "10000 500 5000"
                            << "0 0 0";
    QTest::newRow("VELD10") << Model::VELD10 << "Accel Base Max Index"
                            << "10000 500 5000 0"
                            << "7 4 5 7";
    QTest::newRow("VELD20") << Model::VELD20 << "Accel Base Max Index Complete"
                            << "10000 500 5000 0 50"
                            << "7 4 5 7 7";
    QTest::newRow("VELD30") << Model::VELD30 << "Accel Base Max Index Complete"
                            << "10000 500 5000 0 50"
                            << "7 4 5 7 7";
}

void TestParameterLimits::panelRows()
{
    QFETCH(Model, model);
    QFETCH(QString, keys);
    QFETCH(QString, defaults);
    QFETCH(QString, maxLengths);

    QCOMPARE(ParameterLimits().size(), std::size_t(25));
    QStringList names, texts, lengths;
    QHash<ParamKey, QString> panel;
    for (ParamKey key : parameterKeys(model)) {
        const ParameterLimit *limit = findParameterLimit(model, key);
        QVERIFY(limit);
        QCOMPARE(limit->model, model);
        QCOMPARE(limit->key, key);
        names << paramKeyName(key);
        texts << limit->defaultText;
        lengths << QString::number(limit->maxLength);
        panel.insert(key, limit->defaultText);
    }
    QCOMPARE(names.join(' '), keys);
    QCOMPARE(texts.join(' '), defaults);
    QCOMPARE(lengths.join(' '), maxLengths);

    // A freshly opened panel holds values that pass every check.
    const auto boxText = [&panel](ParamKey key) { return panel.value(key); };
    for (ParamKey key : parameterKeys(model)) {
        for (EntryPath path : {EntryPath::Send, EntryPath::Leave})
            QCOMPARE(CheckParameterRange(model, key, path, panel.value(key)).value_or(QString()),
                     QString());
        QCOMPARE(CheckParameterOrder(model, key, boxText).value_or(QString()), QString());
    }
}

void TestParameterLimits::checkRange_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<EntryPath>("path");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty: the entry passes

    using M = Model;
    using K = ParamKey;
    struct Limits
    {
        Model model;
        ParamKey key;
        double lower, upper;
        const char *name, *lowerText, *upperText; // as the warnings write them
    };
    const Limits table[] = {
        {M::KTRA10, K::Accel, 1, 255, "Accel", "1", "255"},
        {M::KTRA10, K::Base, 77, 5000, "Base Speed", "77", "5,000"},
        {M::KTRA10, K::Max, 77, 15000, "Max Speed", "77", "15,000"},
        {M::KTRA20, K::Accel, 1, 255, "Accel", "1", "255"},
        {M::KTRA20, K::Base, 154, 5000, "Base Speed", "154", "5,000"},
        {M::KTRA20, K::Max, 154, 50000, "Max Speed", "154", "50,000"},
        {M::KTRA20, K::Lower, 154, 50000, "Lower Speed", "154", "50,000"},
        {M::KTRA20, K::Upper, 154, 50000, "Upper Speed", "154", "50,000"},
        {M::KTRA30, K::Accel, 100, 9999999, "Accel", "100", "9,999,999"},
        {M::KTRA30, K::Base, 1, 5000, "Base Speed", "1", "5,000"},
        {M::KTRA30, K::Max, 1, 50000, "Max Speed", "1", "50,000"},
        {M::VELD10, K::Accel, 100, 9999999, "Accel", "100", "9,999,999"},
        {M::VELD10, K::Base, 1, 5000, "Base Speed", "1", "5,000"},
        {M::VELD10, K::Max, 1, 50000, "Max Speed", "1", "50,000"},
        {M::VELD10, K::Index, 0, 8388607, "Index Number", "0", "8,388,607"},
        {M::VELD20, K::Accel, 100, 9999999, "Accel", "100", "9,999,999"},
        {M::VELD20, K::Base, 1, 5000, "Base Speed", "1", "5,000"},
        {M::VELD20, K::Max, 1, 50000, "Max Speed", "1", "50,000"},
        {M::VELD20, K::Index, 0, 8388607, "Index Number", "0", "8,388,607"},
        {M::VELD20, K::Complete, 1, 1000, "Complete Number", "1", "1,000"},
        {M::VELD30, K::Accel, 100, 9999999, "Accel", "100", "9,999,999"},
        {M::VELD30, K::Base, 1, 5000, "Base Speed", "1", "5,000"},
        {M::VELD30, K::Max, 1, 50000, "Max Speed", "1", "50,000"},
        {M::VELD30, K::Index, 0, 8388607, "Index Number", "0", "8,388,607"},
        {M::VELD30, K::Complete, 1, 1000, "Complete Number", "1", "1,000"},
    };
    const auto warning = [](const char *name, const char *which, const char *limit) {
        return QStringLiteral("Waring: The %1 %2 limit is %3").arg(name, which, limit);
    };

    // Both limits of every row are inclusive on both paths; half a step beyond fails.
    for (const Limits &r : table) {
        for (EntryPath path : {EntryPath::Send, EntryPath::Leave}) {
            const QByteArray row = modelId(r.model).toLatin1() + ' ' + r.name +
                                   (path == EntryPath::Send ? " Send" : " Leave");
            QTest::addRow("%s: lower limit passes", row.constData())
                << r.model << r.key << path << QString::number(r.lower, 'f', 0) << QString();
            QTest::addRow("%s: below lower limit", row.constData())
                << r.model << r.key << path << QString::number(r.lower - 0.5, 'f', 1)
                << warning(r.name, "lower", r.lowerText);
            if (path == EntryPath::Leave && r.model == M::VELD10 && r.key == K::Accel)
                continue; // the one row with its own leave limit, below
            QTest::addRow("%s: upper limit passes", row.constData())
                << r.model << r.key << path << QString::number(r.upper, 'f', 0) << QString();
            QTest::addRow("%s: above upper limit", row.constData())
                << r.model << r.key << path << QString::number(r.upper + 0.5, 'f', 1)
                << warning(r.name, "upper", r.upperText);
        }
    }

    struct Case
    {
        const char *row;
        Model model;
        ParamKey key;
        EntryPath path;
        QString text;
        const char *message; // nullptr: passes
    };
    const EntryPath S = EntryPath::Send;
    const EntryPath L = EntryPath::Leave;
    const char *accelSend = "Waring: The Accel upper limit is 9,999,999";
    const char *accelLeave = "Waring: The Accel upper limit is 10,000,000";
    const char *indexLower = "Waring: The Index Number lower limit is 0";
    const char *accelLower = "Waring: The Accel lower limit is 1";
    const Case cases[] = {
        {"VELD10 Accel 1e7: leaving the box accepts it", M::VELD10, K::Accel, L, "1e7", nullptr},
        {"VELD10 Accel 1e7: Send refuses it", M::VELD10, K::Accel, S, "1e7", accelSend},
        {"VELD10 Accel beyond 10,000,000 on leaving", M::VELD10, K::Accel, L, "10000000.5",
         accelLeave},
        {"VELD20 Accel on leaving keeps 9,999,999", M::VELD20, K::Accel, L, "1e7", accelSend},
        {"empty Accel box fails the lower limit", M::KTRA10, K::Accel, S, "", accelLower},
        {"empty Complete box fails the lower limit", M::VELD20, K::Complete, L, "",
         "Waring: The Complete Number lower limit is 1"},
        {"empty Index box reads 0 and passes", M::VELD10, K::Index, S, "", nullptr},
        {"-5 in Index fails the lower limit", M::VELD30, K::Index, S, "-5", indexLower},
        {"5,000 in KTRA10 Max reads 5", M::KTRA10, K::Max, S, "5,000",
         "Waring: The Max Speed lower limit is 77"},
        {"5,000 in KTRA30 Max passes as 5", M::KTRA30, K::Max, S, "5,000", nullptr},
        {"12abc passes KTRA10 Accel as 12", M::KTRA10, K::Accel, S, "12abc", nullptr},
        {"abc fails KTRA10 Accel", M::KTRA10, K::Accel, S, "abc", accelLower},
        {"1.5 passes KTRA10 Accel", M::KTRA10, K::Accel, S, "1.5", nullptr},
        {"1e3 passes KTRA10 Base as 1000", M::KTRA10, K::Base, S, "1e3", nullptr},
        {"2 55.5 reads 255.5 and fails", M::KTRA20, K::Accel, S, "2 55.5",
         "Waring: The Accel upper limit is 255"},
        {"&HFF reads 0", M::KTRA20, K::Accel, S, "&HFF", accelLower},
        {"1e999 gives the upper limit message", M::KTRA30, K::Accel, S, "1e999", accelSend},
        {"1e999 on leaving VELD10 Accel", M::VELD10, K::Accel, L, "1e999", accelLeave},
        {"-1e999 gives the lower limit message", M::VELD10, K::Index, S, "-1e999", indexLower},
        {"a million digits give the upper limit message", M::VELD20, K::Complete, S,
         QString(1000000, QLatin1Char('1')), "Waring: The Complete Number upper limit is 1,000"},
        {"a box the panel does not have is not checked", M::KTRA10, K::Index, S, "-5", nullptr},
    };
    for (const Case &c : cases)
        QTest::newRow(c.row) << c.model << c.key << c.path << c.text
                             << QString::fromLatin1(c.message);
}

void TestParameterLimits::checkRange()
{
    QFETCH(Model, model);
    QFETCH(ParamKey, key);
    QFETCH(EntryPath, path);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(CheckParameterRange(model, key, path, text).value_or(QString()), message);
}

void TestParameterLimits::checkOrder_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QStringList>("baseMaxLowerUpper");
    QTest::addColumn<QString>("message"); // empty: the entry passes

    using M = Model;
    using K = ParamKey;
    const char *base = "Waring: The Base Speed value must be lower than the Max Speed value";
    const char *max = "Waring: The Max Speed value must be higher than the Base Speed value";
    const char *lowerUpper = "Waring: The Lower Analog Speed value must be lower than the Upper "
                             "Analog Speed value";
    const char *lowerBase = "Waring: The Lower Analog Speed value must be higher than the Base "
                            "Speed value";
    const char *upper = "Waring: The Upper Analog Speed value must be higher than the Lower "
                        "Analog Speed value";
    struct Case
    {
        const char *row;
        Model model;
        ParamKey key;
        QStringList boxes; // Base, Max, Lower, Upper
        const char *message;
    };
    const Case cases[] = {
        {"Base equal to Max passes", M::KTRA10, K::Base, {"5000", "5000", "", ""}, nullptr},
        {"Max equal to Base passes", M::KTRA10, K::Max, {"5000", "5000", "", ""}, nullptr},
        {"Base 600 above Max 500 fails Base", M::VELD20, K::Base, {"600", "500", "", ""}, base},
        {"Base 600 above Max 500 fails Max", M::VELD20, K::Max, {"600", "500", "", ""}, max},
        {"Max 5,000 reads 5, below Base 500", M::KTRA30, K::Max, {"500", "5,000", "", ""}, max},
        {"empty Max box reads 0, Base fails", M::KTRA10, K::Base, {"100", "", "", ""}, base},
        {"texts are read as numbers: 1e3 above 999",
         M::VELD30,
         K::Base,
         {"1e3", "999", "", ""},
         base},
        {"Lower 1000, Upper 20000, Base 500 passes",
         M::KTRA20,
         K::Lower,
         {"500", "5000", "1000", "20000"},
         nullptr},
        {"Lower 400 below Base 500",
         M::KTRA20,
         K::Lower,
         {"500", "5000", "400", "20000"},
         lowerBase},
        {"Lower equal to Base passes",
         M::KTRA20,
         K::Lower,
         {"500", "5000", "500", "20000"},
         nullptr},
        {"Lower above Upper", M::KTRA20, K::Lower, {"500", "5000", "30000", "20000"}, lowerUpper},
        {"Lower against Upper is checked before Base",
         M::KTRA20,
         K::Lower,
         {"40000", "5000", "30000", "20000"},
         lowerUpper},
        {"Lower equal to Upper passes",
         M::KTRA20,
         K::Lower,
         {"500", "5000", "20000", "20000"},
         nullptr},
        {"Upper below Lower", M::KTRA20, K::Upper, {"500", "5000", "1000", "900"}, upper},
        {"Upper equal to Lower passes",
         M::KTRA20,
         K::Upper,
         {"500", "5000", "1000", "1000"},
         nullptr},
        {"Upper is not compared with Base",
         M::KTRA20,
         K::Upper,
         {"30000", "5000", "1000", "20000"},
         nullptr},
        {"Base is not compared with Lower",
         M::KTRA20,
         K::Base,
         {"2000", "5000", "1000", "20000"},
         nullptr},
        {"Max is not compared with the analog speeds",
         M::KTRA20,
         K::Max,
         {"500", "600", "1000", "900"},
         nullptr},
        {"Accel has no order check", M::KTRA20, K::Accel, {"900", "1", "900", "1"}, nullptr},
        {"Index has no order check", M::VELD10, K::Index, {"900", "1", "", ""}, nullptr},
        {"Complete has no order check", M::VELD30, K::Complete, {"900", "1", "", ""}, nullptr},
    };
    for (const Case &c : cases)
        QTest::newRow(c.row) << c.model << c.key << c.boxes << QString::fromLatin1(c.message);
}

void TestParameterLimits::checkOrder()
{
    QFETCH(Model, model);
    QFETCH(ParamKey, key);
    QFETCH(QStringList, baseMaxLowerUpper);
    QFETCH(QString, message);

    const QHash<ParamKey, QString> boxes = {{ParamKey::Accel, QStringLiteral("10")},
                                            {ParamKey::Base, baseMaxLowerUpper.at(0)},
                                            {ParamKey::Max, baseMaxLowerUpper.at(1)},
                                            {ParamKey::Lower, baseMaxLowerUpper.at(2)},
                                            {ParamKey::Upper, baseMaxLowerUpper.at(3)}};
    const auto boxText = [&boxes](ParamKey key) { return boxes.value(key); };
    QCOMPARE(CheckParameterOrder(model, key, boxText).value_or(QString()), message);
}

void TestParameterLimits::checkText_data()
{
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusedAs"); // the key's name in the warning; empty: passes

    using K = ParamKey;
    QTest::newRow("@ would start another command") << K::Accel << "1@0H"
                                                   << "Accel";
    QTest::newRow("CR would end the line early") << K::Base << "100\r"
                                                 << "Base Speed";
    QTest::newRow("line feed") << K::Max << "100\n"
                               << "Max Speed";
    QTest::newRow("tab") << K::Index << "1\t0"
                         << "Index Number";
    QTest::newRow("NUL") << K::Complete << QString(QChar(0)) + "1"
                         << "Complete Number";
    QTest::newRow("0x1F, last control character") << K::Lower << "1\x1f"
                                                  << "Lower Speed";
    QTest::newRow("DEL 0x7F") << K::Upper << "1\x7f"
                              << "Upper Speed";
    QTest::newRow("Latin-1 letter above 0x7E") << K::Accel << QStringLiteral("1\u00e9") << "Accel";
    QTest::newRow("euro sign") << K::Accel << QStringLiteral("\u20ac5") << "Accel";
    QTest::newRow("outside the basic plane")
        << K::Accel << QStringLiteral("5\U0001F600") << "Accel";
    QTest::newRow("12abc passes") << K::Accel << "12abc" << QString();
    QTest::newRow("1 000 passes") << K::Base << "1 000" << QString();
    QTest::newRow("5,000 passes") << K::Max << "5,000" << QString();
    QTest::newRow("empty passes") << K::Index << "" << QString();
    QTest::newRow("blank and tilde, the ends of the plain range, pass")
        << K::Accel << " ~" << QString();
    QTest::newRow("&H10 and signs pass") << K::Accel << "&H10+-1e9" << QString();
}

void TestParameterLimits::checkText()
{
    QFETCH(ParamKey, key);
    QFETCH(QString, text);
    QFETCH(QString, refusedAs);

    const QString message = CheckParameterText(Model::KTRA20, key, text).value_or(QString());
    if (refusedAs.isEmpty()) {
        QCOMPARE(message, QString());
        return;
    }
    QCOMPARE(message,
             "Waring: The " + refusedAs +
                 " value may hold only plain characters: no \"@\", no line breaks or control "
                 "characters, nothing outside ASCII");
}

void TestParameterLimits::checkEntry_data()
{
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("max");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("digitsOnly"); // a sheet's own rule
    QTest::addColumn<int>("kind");        // EntryVerdict::Kind
    QTest::addColumn<QString>("message");

    using K = ParamKey;
    const int accepted = int(EntryVerdict::Kind::Accepted);
    const int refused = int(EntryVerdict::Kind::Refused);
    const int notConnected = int(EntryVerdict::Kind::NotConnected);
    const QString order = "Waring: The Base Speed value must be lower than the Max Speed value";
    QTest::newRow("range message without a unit")
        << K::Base << "9000"
        << "5000" << false << false << refused << "Waring: The Base Speed upper limit is 5,000";
    QTest::newRow("in range without a unit")
        << K::Base << "500"
        << "5000" << false << false << notConnected << QString();
    QTest::newRow("order fault without a unit is not named")
        << K::Base << "600"
        << "500" << false << false << notConnected << QString();
    QTest::newRow("order fault with a unit") << K::Base << "600"
                                             << "500" << true << false << refused << order;
    QTest::newRow("text check before the limits")
        << K::Base << "@0"
        << "5000" << true << false << refused
        << "Waring: The Base Speed value may hold only plain characters: no \"@\", no line "
           "breaks or control characters, nothing outside ASCII";
    QTest::newRow("own rule after the text, before the limits")
        << K::Base << "1e9"
        << "5000" << true << true << refused << "not digits";
    QTest::newRow("own rule passes digits on to the order check")
        << K::Base << "600"
        << "500" << true << true << refused << order;
    QTest::newRow("accepted") << K::Max << "500"
                              << "5000" << true << true << accepted << QString();
}

void TestParameterLimits::checkEntry()
{
    QFETCH(ParamKey, key);
    QFETCH(QString, base);
    QFETCH(QString, max);
    QFETCH(bool, connected);
    QFETCH(bool, digitsOnly);
    QFETCH(int, kind);
    QFETCH(QString, message);

    const auto boxText = [&](ParamKey of) { return of == ParamKey::Base ? base : max; };
    ValueRule digits;
    if (digitsOnly)
        digits = [](Model, ParamKey, const QString &text) -> std::optional<QString> {
            for (QChar c : text)
                if (!c.isDigit())
                    return QStringLiteral("not digits");
            return std::nullopt;
        };
    const EntryVerdict verdict =
        CheckParameterEntry(Model::VELD20, key, EntryPath::Send, boxText, connected, digits);
    QCOMPARE(int(verdict.kind), kind);
    QCOMPARE(verdict.message, message);
}

QTEST_GUILESS_MAIN(TestParameterLimits)
#include "tst_parameterlimits.moc"
