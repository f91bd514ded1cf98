// Parameter sheets as files: the exact text written, what reading refuses and
// why, and the checks a sheet passes before it may reach a unit.

#include "protocol/ParameterSheet.h"

#include <QTest>

using namespace ktv;

namespace {

ParameterSheet ktra20Sheet()
{
    ParameterSheet sheet;
    sheet.unitModel = QStringLiteral("KTRA20");
    sheet.revision = QStringLiteral("1.07");
    sheet.axis = QStringLiteral("0");
    sheet.saved = QDateTime(QDate(2026, 12, 8), QTime(3, 10, 0), Qt::UTC);
    using K = ParamKey;
    sheet.profiles = {
        {1,
         {{K::Accel, "10"},
          {K::Base, "500"},
          {K::Max, "5000"},
          {K::Lower, "1000"},
          {K::Upper, "20000"}}},
        {2,
         {{K::Accel, "110"},
          {K::Base, "600"},
          {K::Max, "5100"},
          {K::Lower, "1100"},
          {K::Upper, "20100"}}},
    };
    sheet.settings = {{SettingGroup::ReducedCurrent, "off"},
                      {SettingGroup::Resolution, "8"},
                      {SettingGroup::RampDown, "no"},
                      {SettingGroup::AnalogSpeed, "on"}};
    return sheet;
}

const char *const Ktra20Text = R"({
    "axis": "0",
    "format": "ktraveld-sheet",
    "model": "KTRA20",
    "options": {
        "analog-speed": "on",
        "ramp-down": "no",
        "reduced-current": "off",
        "resolution": "8"
    },
    "profiles": [
        {
            "parameters": {
                "accel": "10",
                "base-speed": "500",
                "lower-analog": "1000",
                "max-speed": "5000",
                "upper-analog": "20000"
            },
            "profile": 1
        },
        {
            "parameters": {
                "accel": "110",
                "base-speed": "600",
                "lower-analog": "1100",
                "max-speed": "5100",
                "upper-analog": "20100"
            },
            "profile": 2
        }
    ],
    "revision": "1.07",
    "saved": "2026-12-08T03:10:00Z",
    "version": 1
}
)";

QByteArray edited(const QByteArray &from, const QByteArray &to)
{
    QByteArray text(Ktra20Text);
    Q_ASSERT(text.contains(from));
    return text.replace(from, to);
}

} // namespace

class TestParameterSheet : public QObject
{
    Q_OBJECT
  private slots:
    void writesTheExactText();
    void readsWhatItWrote();
    void refusesFiles_data();
    void refusesFiles();
    void validates_data();
    void validates();
    void settingWords_data();
    void settingWords();
};

void TestParameterSheet::writesTheExactText()
{
    QCOMPARE(QString::fromUtf8(writeParameterSheet(ktra20Sheet())), QString::fromUtf8(Ktra20Text));
}

void TestParameterSheet::readsWhatItWrote()
{
    const SheetReadResult read = readParameterSheet(Ktra20Text, QStringLiteral("a.json"));
    QCOMPARE(read.error, QString());
    QVERIFY(read.sheet.has_value());
    QVERIFY(*read.sheet == ktra20Sheet());
    // A time saved with an offset and milliseconds reads as the same moment in UTC.
    const SheetReadResult shifted = readParameterSheet(
        edited("2026-12-08T03:10:00Z", "2026-12-08T04:10:00.250+01:00"), QStringLiteral("a.json"));
    QVERIFY(shifted.sheet.has_value());
    QCOMPARE(shifted.sheet->saved.toString(Qt::ISODateWithMs),
             QStringLiteral("2026-12-08T03:10:00.250Z"));
}

void TestParameterSheet::refusesFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    QTest::newRow("truncated") << QByteArray(Ktra20Text).left(120)
                               << "s.json is damaged or incomplete: unterminated object at "
                                  "character 120.";
    QTest::newRow("not JSON") << QByteArray("KTRA20 1.07\n")
                              << "s.json is damaged or incomplete: illegal value at character 1.";
    QTest::newRow("a list") << QByteArray("[1, 2]")
                            << "s.json is not a parameter sheet: it holds no JSON object.";
    QTest::newRow("foreign format")
        << edited("\"ktraveld-sheet\"", "\"other-sheet\"")
        << "s.json is not a parameter sheet of this program: its format is \"other-sheet\", not "
           "\"ktraveld-sheet\".";
    QTest::newRow("no format") << QByteArray("{\"version\": 1}")
                               << "s.json is not a parameter sheet of this program: its format is "
                                  "not named, not \"ktraveld-sheet\".";
    QTest::newRow("future version") << edited("\"version\": 1", "\"version\": 2")
                                    << "s.json was saved by a newer program (sheet version 2); "
                                       "this program reads sheet version 1.";
    QTest::newRow("version as text")
        << edited("\"version\": 1", "\"version\": \"1\"")
        << "s.json is damaged: \"version\" is missing or not a whole number from 1.";
    QTest::newRow("unknown model") << edited("\"model\": \"KTRA20\"", "\"model\": \"KTRA99\"")
                                   << "s.json is damaged: the unit model \"KTRA99\" is not one "
                                      "this program knows.";
    QTest::newRow("bad time") << edited("2026-12-08T03:10:00Z", "yesterday")
                              << "s.json is damaged: \"saved\" is not a date and time in ISO 8601.";
    QTest::newRow("one profile short")
        << edited("\"model\": \"KTRA20\"", "\"model\": \"KTRA10\"")
        << "s.json is damaged: it holds 2 profiles; a KTRA10 keeps 4.";
    QTest::newRow("parameter of another panel")
        << edited("\"accel\": \"110\"", "\"index\": \"110\"")
        << "s.json is damaged: profile 2 holds \"index\", which a KTRA20 has not.";
    QTest::newRow("number not text") << edited("\"max-speed\": \"5100\"", "\"max-speed\": 5100")
                                     << "s.json is damaged: in profile 2, \"max-speed\" is "
                                        "missing or not a text.";
    QTest::newRow("option word") << edited("\"resolution\": \"8\"", "\"resolution\": \"16\"")
                                 << "s.json is damaged: option \"resolution\" is \"16\"; it takes "
                                    "1, 2, 4, 8.";
    QTest::newRow("option of another panel")
        << edited("\"ramp-down\": \"no\"", "\"direction\": \"cw\"")
        << "s.json is damaged: the options hold \"direction\", which a KTRA20 has not.";
    // A JSON reader keeps one of two values without a word; which one a unit
    // would get is not left to chance.
    QTest::newRow("a value named twice")
        << edited("\"max-speed\": \"5100\"", "\"max-speed\": \"5100\", \"max-speed\": \"50\"")
        << "s.json is damaged: profile 2 names \"max-speed\" twice.";
    QTest::newRow("a value named twice, once escaped")
        << edited("\"max-speed\": \"5000\"", "\"max-speed\": \"5000\", \"m\\u0061x-speed\": \"50\"")
        << "s.json is damaged: profile 1 names \"max-speed\" twice.";
    QTest::newRow("an option named twice")
        << edited("\"ramp-down\": \"no\"", "\"ramp-down\": \"no\", \"ramp-down\": \"yes\"")
        << "s.json is damaged: the options name \"ramp-down\" twice.";
    QTest::newRow("the model named twice")
        << edited("\"model\": \"KTRA20\"", "\"model\": \"KTRA20\", \"model\": \"KTRA30\"")
        << "s.json is damaged: it names \"model\" twice.";
    QTest::newRow("a key in nested objects and quoted braces, then twice")
        << edited("\"version\": 1",
                  R"("version": 1, "note": {"a": "x\"}{", "b": [{"a": 1}, {"a": 2}], "a": 3})")
        << "s.json is damaged: \"note\" names \"a\" twice.";
}

void TestParameterSheet::refusesFiles()
{
    QFETCH(QByteArray, bytes);
    const SheetReadResult read = readParameterSheet(bytes, QStringLiteral("s.json"));
    QVERIFY(!read.sheet.has_value());
    QTEST(read.error, "error");
}

void TestParameterSheet::validates_data()
{
    QTest::addColumn<QString>("sheetModel");
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<int>("profile");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("refusals");
    // What a compare refuses: only values no unit holds.
    QTest::addColumn<QStringList>("valueRefusals");

    const QString k20 = QStringLiteral("KTRA20");
    QTest::newRow("as saved") << k20 << k20 << 1 << ParamKey::Accel << "10" << QStringList{}
                              << QStringList{};
    QTest::newRow("above the Send limit")
        << k20 << k20 << 2 << ParamKey::Max << "50001"
        << QStringList{"Profile 2, Max Speed: Waring: The Max Speed upper limit is 50,000"}
        << QStringList{};
    QTest::newRow("max below base")
        << k20 << k20 << 1 << ParamKey::Max << "400"
        << QStringList{"Profile 1, Base Speed: Waring: The Base Speed value must be lower than "
                       "the Max Speed value",
                       "Profile 1, Max Speed: Waring: The Max Speed value must be higher than "
                       "the Base Speed value"}
        << QStringList{};
    QTest::newRow("lower above upper") << k20 << k20 << 2 << ParamKey::Lower << "30000"
                                       << QStringList{"Profile 2, Lower Analog Speed: Waring: The "
                                                      "Lower Analog Speed value must be "
                                                      "lower than the Upper Analog Speed value",
                                                      "Profile 2, Upper Analog Speed: Waring: The "
                                                      "Upper Analog Speed value must be "
                                                      "higher than the Lower Analog Speed value"}
                                       << QStringList{};
    const QStringList lineBreak{"Profile 1, Accel/Decel: Waring: The Accel value may hold only "
                                "plain characters: no \"@\", no "
                                "line breaks or control characters, nothing outside ASCII"};
    QTest::newRow("line break in a value")
        << k20 << k20 << 1 << ParamKey::Accel << "10\r@0H" << lineBreak << lineBreak;
    QTest::newRow("another panel")
        << k20 << QStringLiteral("KTRA30") << 1 << ParamKey::Accel << "10"
        << QStringList{"This sheet is for a KTRA20 and cannot be loaded into a KTRA30."}
        << QStringList{};

    // A value is what a unit holds: digits, no more than its box takes. A
    // text the typed box would read as a number is still no such value, and
    // a value that is none keeps the order checks of the others quiet.
    const struct
    {
        const char *name;
        ParamKey key;
        const char *value;
        const char *refusal;
    } notHeld[] = {
        {"letters", ParamKey::Max, "abc",
         "Profile 1, Max Speed: \"abc\" is not a value a unit "
         "holds: 1 to 5 digits."},
        {"an underscore", ParamKey::Base, "0_5",
         "Profile 1, Base Speed: \"0_5\" is not a value "
         "a unit holds: 1 to 4 digits."},
        {"an exponent", ParamKey::Accel, "1e3",
         "Profile 1, Accel/Decel: \"1e3\" is not a value a unit "
         "holds: 1 to 3 digits."},
        {"a sign", ParamKey::Upper, "-5",
         "Profile 1, Upper Analog Speed: \"-5\" is not a value a "
         "unit holds: 1 to 5 digits."},
        {"a leading blank", ParamKey::Lower, " 12",
         "Profile 1, Lower Analog Speed: \" 12\" is not a "
         "value a unit holds: 1 to 5 digits."},
        {"empty", ParamKey::Max, "",
         "Profile 1, Max Speed: \"\" is not a value a unit holds: "
         "1 to 5 digits."},
        {"longer than its box", ParamKey::Accel, "0010",
         "Profile 1, Accel/Decel: \"0010\" is not a "
         "value a unit holds: 1 to 3 digits."},
    };
    for (const auto &row : notHeld)
        QTest::addRow("not held: %s", row.name)
            << k20 << k20 << 1 << row.key << row.value << QStringList{row.refusal}
            << QStringList{row.refusal};
    // A box without a length of its own takes as many digits as its upper limit has.
    QTest::newRow("not held: longer than a KTRA10 limit")
        << "KTRA10"
        << "KTRA10" << 1 << ParamKey::Accel << "0010"
        << QStringList{"Profile 1, Accel/Decel: \"0010\" is not a value a unit holds: 1 to 3 "
                       "digits."}
        << QStringList{
               "Profile 1, Accel/Decel: \"0010\" is not a value a unit holds: 1 to 3 digits."};
}

void TestParameterSheet::validates()
{
    QFETCH(QString, sheetModel);
    QFETCH(QString, unitModel);
    QFETCH(int, profile);
    QFETCH(ParamKey, key);
    QFETCH(QString, value);
    ParameterSheet sheet = ktra20Sheet();
    sheet.unitModel = sheetModel;
    if (sheetModel == QLatin1String("KTRA10")) { // the KTRA10 panel has no analog speeds
        for (SheetProfile &entry : sheet.profiles) {
            entry.values.erase(ParamKey::Lower);
            entry.values.erase(ParamKey::Upper);
        }
    }
    sheet.profiles[std::size_t(profile - 1)].values[key] = value;
    QStringList lines;
    for (const SheetRefusal &refusal : validateParameterSheet(sheet, unitModel))
        lines << refusalLine(refusal);
    QTEST(lines, "refusals");
    lines.clear();
    for (const SheetRefusal &refusal : sheetValueRefusals(sheet))
        lines << refusalLine(refusal);
    QTEST(lines, "valueRefusals");
}

void TestParameterSheet::settingWords_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<QStringList>("groups");
    QTest::newRow("KTRA10") << "KTRA10"
                            << QStringList{"direction", "reduced-current", "resolution",
                                           "ramp-down"};
    QTest::newRow("KTRA20") << "KTRA20"
                            << QStringList{"analog-speed", "reduced-current", "resolution",
                                           "ramp-down"};
    QTest::newRow("VELD40") << "VELD40" << QStringList{"direction", "resolution"};
    QTest::newRow("VELD50") << "VELD50" << QStringList{"direction"};
    QTest::newRow("unknown") << "VELD60" << QStringList{};
}

void TestParameterSheet::settingWords()
{
    QFETCH(QString, unitModel);
    QStringList keys;
    for (SettingGroup group : settingGroups(unitModel))
        keys << settingSheetKey(group);
    QTEST(keys, "groups");
}

QTEST_GUILESS_MAIN(TestParameterSheet)
#include "tst_parametersheet.moc"
