#pragma once

#include <QList>
#include <QStringList>
#include <QStringView>

// The scan as first described: every position visited, the opening compared there, the
// status set at every pass. The fast scan must agree with it in every observable way; the
// scan test and the scan's fuzz target both hold it up against this one walk.
void ReferenceScan(QStringView markup, QStringView opening, int base, QStringList &links,
                   QList<int> &statuses);
