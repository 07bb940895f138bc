#include "referencewalk.h"

#include "numbers.h"

void ReferenceScan(QStringView markup, QStringView opening, int base, QStringList &links,
                   QList<int> &statuses)
{
    const qsizetype length = markup.size(), width = opening.size();
    for (qsizetype p = 1; p <= length; ++p) {
        const double share = static_cast<double>(p) / static_cast<double>(length) * 50.0;
        const int status = base + static_cast<int>(numbers::RoundHalfEven(share));
        if (statuses.isEmpty() || statuses.last() != status) // only changes are reported
            statuses.append(status);
        if (p - 1 + width <= length && markup.sliced(p - 1, width) == opening) {
            QString value;
            for (p += width; p <= length && markup[p - 1] != u'"'; ++p)
                value += markup[p - 1];
            links.append(value);
        }
    }
}
