#pragma once

// What the run's own files share: the ways a run ends early and the rules of a page's turn
// that both the page loop and the look ahead apply.

#include "linkrules.h"

#include <QString>

#include <optional>

class JobSettings;

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

linkrules::Criteria CriteriaOf(const JobSettings &job);

// The time-out a text sets, in whole seconds; none for a text the run refuses.
std::optional<int> TimeOutSeconds(const QString &text);

// A QTimer interval: milliseconds clamped to what it takes.
int TimerInterval(qint64 milliseconds);

// The address as the page is navigated to: spaces become %20.
QString Navigated(const QString &address);

} // namespace runsteps
