#pragma once

#include "numbers.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

// Resolving links, naming their local files, the letter table and the criteria filter.
// Everything a rule reads comes in as an argument; nothing here holds state.
namespace linkrules {

// A rule that cannot complete: a numeric code and a description, shown by the run's
// error prompt.
class RuleError : public std::runtime_error
{
public:
    RuleError(int code, const QString &description);
    int Code() const { return m_code; }
    QString Description() const { return m_description; }

private:
    int m_code;
    QString m_description;
};

// The seven characters that may not occur in a file name, in their fixed order.
const std::array<QString, 7> &InvalidChars();

// True when the text holds none of InvalidChars. An empty text is valid.
bool ValidFilename(const QString &text);

// The absolute address of a link, completed against the target address field as typed.
// Throws RuleError (9) when a relative link meets an address without a host part.
QString GetPath(const QString &link, const QString &targetAddress);

// The local path for a name inside a folder, creating the folder (and its missing
// parents) on the way. A name that cannot be a safe file name takes
// currentNumber + "." + defaultExtension. Throws RuleError when a folder cannot be made.
QString GetFilename(const QString &name, const QString &folder, double currentNumber,
                    const QString &defaultExtension);

// The page's link-address file: folder, separator, currentNumber + "." + defaultExtension,
// every doubled separator collapsed. Creates nothing. The name is kept inside the folder
// the way GetFilename keeps its numbered names; an empty folder throws RuleError (76).
QString LinkListPath(const QString &folder, double currentNumber, const QString &defaultExtension);

// Leading and trailing spaces only; tabs and line breaks stay.
QString TrimSpaces(const QString &text);

// The 52-entry letter table: A, a, B, b, ..., Z, z.
const std::array<QString, 52> &Letters();

// Position of the text in Letters, compared whole and case-sensitively; nothing when absent.
std::optional<int> GetAsc(const QString &text);

// The loop of a letter series over positions in the letter table: from the first letter's to
// the last's (a text not in the table stands for "A"), twice the increment a pass, since a
// letter and the other case of it are one increment apart.
numbers::CountingLoop LetterLoop(const QString &startAlpha, const QString &stopAlpha,
                                 double increment);

// The entry of the letter table a letter loop's value stands for, its position rounded half to
// even; none when that is off the table.
std::optional<QString> LetterAt(double value);

// The letter-table positions a series visits, as the run's loop produces them (already
// rounded). A zero step that would repeat forever yields at most maxPositions entries.
std::vector<int> LetterPositions(const QString &startAlpha, const QString &stopAlpha,
                                 double increment, std::size_t maxPositions = 1000);

// The criteria of a job.
struct Criteria
{
    QStringList beginning;
    QStringList interior;
    QStringList end;
    bool or1 = true; // between beginning and interior: Or when true, And otherwise
    bool or2 = true; // between interior and end
};

// True when the link stays: no criteria at all, or B op1 I op2 E with And binding tighter.
bool CheckExtension(const QString &link, const Criteria &criteria);

// Removes every link that CheckExtension rejects; the others keep their order.
void TrimList(QStringList &links, const Criteria &criteria);

} // namespace linkrules
