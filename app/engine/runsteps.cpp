#include "runsteps.h"

#include "jobsettings.h"
#include "numbers.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace runsteps {

linkrules::Criteria CriteriaOf(const JobSettings &job)
{
    linkrules::Criteria criteria;
    criteria.beginning = job.lstBeginning();
    criteria.interior = job.lstInterior();
    criteria.end = job.lstEnd();
    criteria.or1 = job.optOr1();
    criteria.or2 = job.optOr2();
    return criteria;
}

std::optional<int> TimeOutSeconds(const QString &text)
{
    const auto value = numbers::ToNumber(text);
    const auto seconds = value ? numbers::ToInt32(*value) : std::nullopt;
    if (!seconds || *seconds <= 0)
        return std::nullopt;
    return *seconds;
}

int TimerInterval(qint64 milliseconds)
{
    return static_cast<int>(std::clamp<qint64>(milliseconds, 0, std::numeric_limits<int>::max()));
}

QString Navigated(const QString &address)
{
    return QString(address).replace(u' ', u"%20"_s);
}

} // namespace runsteps
