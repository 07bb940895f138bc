#pragma once

#include "numbers.h"

#include <QString>

#include <optional>

class JobSettings;

namespace linkrules {

// One page of the series.
struct SeriesPage
{
    qint64 position = 0; // counting the pages of the series from 0, in the run's order
    QString letter;      // what stands for "^L"
    double number = 0;   // what stands for "^N"
};

// The page series in the run's order: letters outside, numbers inside, each a counting loop
// (its bounds and step read once as it starts), a letter's position in the table rounded half
// to even. It reads the fields of the job at the moments the run reads them: the letter loop
// its step, last and first letter, in that order, at the first step; each letter's number loop
// its start, stop and step afresh as that letter begins. A copy walks on by itself, so the
// look-ahead foresees the pages after this one with the fields as they are now.
class SeriesCursor final
{
public:
    // What the walk comes to next.
    struct Step
    {
        enum class Kind {
            Letter,  // a pass of the letter loop begins
            Page,    // a page of the series
            Failure, // a field the run cannot use: the run asks, and Yes walks on
            End,
        };
        Kind kind = Kind::End;
        SeriesPage page;     // of a Page
        int code = 0;        // of a Failure
        QString description; // of a Failure
    };

    // How many letters of the table the letter loop visits, and how many pages each.
    struct Shape
    {
        qint64 letters = 0;
        qint64 perLetter = 0;
    };

    // The job must outlive the cursor and its copies.
    explicit SeriesCursor(const JobSettings &job);

    Step Next();
    // The page's address: the address field as it is now with its letter and number in place
    // of "^L" and "^N", without surrounding spaces.
    QString AddressOf(const SeriesPage &page) const;

    // The shape of the series with the fields as they are now; none when a field does not read
    // as a number, or a loop does not end by itself (a step of 0) or not within ten million
    // passes.
    static std::optional<Shape> ShapeOf(const JobSettings &job);
    // The pages the walk comes to with the fields as they are now: letters times pages each.
    static std::optional<qint64> CountOf(const JobSettings &job);

private:
    enum class State { Start, LetterTurn, LetterBegins, Numbers, Ended };

    // The letter's number loop begins; a failure instead when there is none.
    std::optional<Step> BeginLetter();

    const JobSettings *m_job;
    State m_state = State::Start;
    std::optional<numbers::CountingLoop> m_letters, m_numbers;
    QString m_letter;
    qint64 m_position = 0; // the next page's
};

} // namespace linkrules
