#pragma once

// What the run's own files share: the ways a run ends early and the address rule of a page
// and a link.

#include <QString>

namespace runsteps {

// Thrown from deep inside a page to the run's top: Stop was seen at a check point.
struct RunCancelled
{
};
// Thrown by No at the "Error" question.
struct RunAbandoned
{
};
// Thrown when the ledger has seen enough known links: the run ends as if its series had.
struct SeriesCut
{
};

// Leading and trailing spaces only; tabs and line breaks stay.
inline QString TrimSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace runsteps
