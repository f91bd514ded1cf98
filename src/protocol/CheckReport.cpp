#include "protocol/CheckReport.h"

#include "protocol/ParameterSheet.h"

#include <algorithm>

namespace ktv {

QString valueVerdictText(ValueVerdict verdict)
{
    switch (verdict) {
    case ValueVerdict::Match:
        return QStringLiteral("match");
    case ValueVerdict::Differs:
        return QStringLiteral("differs");
    case ValueVerdict::NotKept:
        return QStringLiteral("not kept");
    case ValueVerdict::NoAnswer:
        return QStringLiteral("no answer");
    case ValueVerdict::NotVerifiable:
        return QStringLiteral("not verifiable");
    case ValueVerdict::Refused:
        return QStringLiteral("refused");
    case ValueVerdict::NotWritten:
        return QStringLiteral("not written");
    }
    return {};
}

QString checkVerdictText(CheckVerdict verdict)
{
    switch (verdict) {
    case CheckVerdict::Pass:
        return QStringLiteral("pass");
    case CheckVerdict::Fail:
        return QStringLiteral("fail");
    case CheckVerdict::Refused:
        return QStringLiteral("refused");
    case CheckVerdict::Error:
        return QStringLiteral("error");
    }
    return {};
}

ValueVerdict valueVerdictFromText(const QString &text)
{
    for (const auto verdict :
         {ValueVerdict::Match, ValueVerdict::Differs, ValueVerdict::NotKept, ValueVerdict::NoAnswer,
          ValueVerdict::NotVerifiable, ValueVerdict::Refused, ValueVerdict::NotWritten})
        if (valueVerdictText(verdict) == text)
            return verdict;
    return ValueVerdict::NoAnswer;
}

CheckVerdict checkVerdictFromText(const QString &text)
{
    for (const auto verdict :
         {CheckVerdict::Pass, CheckVerdict::Fail, CheckVerdict::Refused, CheckVerdict::Error})
        if (checkVerdictText(verdict) == text)
            return verdict;
    return CheckVerdict::Error;
}

QString checkedValueName(const CheckedValue &value)
{
    return profileValueName(value.profile, value.caption);
}

int CheckReport::count(ValueVerdict verdict) const
{
    return int(std::count_if(values.begin(), values.end(), [verdict](const CheckedValue &value) {
        return value.verdict == verdict;
    }));
}

QString fixedWaitsText(const QStringList &values)
{
    if (values.isEmpty())
        return {};
    return QStringLiteral("this unit needed the fixed waits for %1 %2")
        .arg(values.size())
        .arg(values.size() == 1 ? QStringLiteral("value") : QStringLiteral("values"));
}

QString notKeptText(const QStringList &values)
{
    if (values.isEmpty())
        return {};
    if (values.size() == 1)
        return QStringLiteral("not kept: the unit lost 1 value it held right after its write");
    return QStringLiteral("not kept: the unit lost %1 values it held right after their writes")
        .arg(values.size());
}

} // namespace ktv
