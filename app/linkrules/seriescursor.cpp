#include "seriescursor.h"

#include "failurecodes.h"
#include "jobsettings.h"
#include "linkrules.h"

#include <functional>
#include <variant>

using namespace Qt::StringLiterals;

namespace linkrules {

namespace {

// Passes beyond this are a series nobody waits for: its length is not given.
constexpr qint64 kMaxCountedPasses = 10'000'000;

using Failure = SeriesCursor::Step;
using Loop = std::variant<numbers::CountingLoop, Failure>;

Failure NotANumber(const QString &field, const QString &text)
{
    return Failure{Failure::Kind::Failure,
                   {},
                   failurecodes::kTypeMismatch,
                   u"Type mismatch: %1 \"%2\" is not a number."_s.arg(field, text)};
}

// The letter loop over positions in the letter table, read step, last, first.
Loop LettersOf(const JobSettings &job)
{
    const QString stepText = job.txtIncrementAlphabetically();
    const QString last = job.txtStopAlpha();
    const QString first = job.txtStartAlpha();
    const std::optional<double> step = numbers::ToNumber(stepText);
    if (!step)
        return NotANumber(u"the letter increment"_s, stepText);
    return LetterLoop(first, last, *step);
}

// A letter's number loop, read start, stop, step.
Loop NumbersOf(const JobSettings &job)
{
    const QString startText = job.txtStartNum();
    const QString stopText = job.txtStopNum();
    const QString stepText = job.txtIncrementNumerically();
    const auto first = numbers::ToNumber(startText);
    const auto last = numbers::ToNumber(stopText);
    const auto step = numbers::ToNumber(stepText);
    if (!first)
        return NotANumber(u"the start number"_s, startText);
    if (!last)
        return NotANumber(u"the stop number"_s, stopText);
    if (!step)
        return NotANumber(u"the number increment"_s, stepText);
    return numbers::CountingLoop(*first, *last, *step);
}

// The passes of the loop that count, none when it runs beyond the passes counted.
std::optional<qint64> Passes(const Loop &from, const std::function<bool(double)> &counts)
{
    qint64 passes = 0;
    qint64 looked = 0;
    for (numbers::CountingLoop loop = std::get<numbers::CountingLoop>(from); loop.Running();
         loop.Advance()) {
        if (++looked > kMaxCountedPasses)
            return std::nullopt;
        if (counts(loop.Value()))
            ++passes;
    }
    return passes;
}

} // namespace

SeriesCursor::SeriesCursor(const JobSettings &job) : m_job(&job)
{
}

SeriesCursor::Step SeriesCursor::Next()
{
    for (;;) {
        switch (m_state) {
        case State::Start: {
            Loop letters = LettersOf(*m_job);
            if (const Step *failure = std::get_if<Step>(&letters)) {
                // Without a letter series there are no pages.
                m_state = State::Ended;
                return *failure;
            }
            m_letters = std::get<numbers::CountingLoop>(letters);
            m_state = State::LetterTurn;
            continue;
        }
        case State::LetterTurn:
            if (!m_letters->Running()) {
                m_state = State::Ended;
                continue;
            }
            m_state = State::LetterBegins;
            return Step{Step::Kind::Letter, {}, 0, {}};
        case State::LetterBegins:
            if (std::optional<Step> failure = BeginLetter())
                return *failure;
            continue;
        case State::Numbers:
            if (!m_numbers->Running()) {
                m_letters->Advance();
                m_state = State::LetterTurn;
                continue;
            }
            {
                const Step page{Step::Kind::Page,
                                SeriesPage{m_position++, m_letter, m_numbers->Value()},
                                0,
                                {}};
                m_numbers->Advance();
                return page;
            }
        case State::Ended:
            break;
        }
        return Step{};
    }
}

std::optional<SeriesCursor::Step> SeriesCursor::BeginLetter()
{
    const std::optional<QString> letter = LetterAt(m_letters->Value());
    Loop numbers = letter ? NumbersOf(*m_job)
                          : Failure{Failure::Kind::Failure,
                                    {},
                                    failurecodes::kSubscriptOutOfRange,
                                    u"Subscript out of range"_s};
    if (const Step *failure = std::get_if<Step>(&numbers)) {
        // This letter has no pages; on to the next.
        m_letters->Advance();
        m_state = State::LetterTurn;
        return *failure;
    }
    m_letter = *letter;
    m_numbers = std::get<numbers::CountingLoop>(numbers);
    m_state = State::Numbers;
    return std::nullopt;
}

QString SeriesCursor::AddressOf(const SeriesPage &page) const
{
    QString address = m_job->txtAddress();
    address.replace(u"^L"_s, page.letter);
    address.replace(u"^N"_s, numbers::ToText(page.number));
    return TrimSpaces(address);
}

std::optional<SeriesCursor::Shape> SeriesCursor::ShapeOf(const JobSettings &job)
{
    const Loop letterLoop = LettersOf(job);
    const Loop numberLoop = NumbersOf(job);
    if (std::holds_alternative<Step>(letterLoop) || std::holds_alternative<Step>(numberLoop))
        return std::nullopt;
    // A position off the table is a failure, not a letter.
    const auto letters = Passes(letterLoop,
                                [](double value) { return LetterAt(value).has_value(); });
    const auto perLetter = Passes(numberLoop, [](double) { return true; });
    if (!letters || !perLetter)
        return std::nullopt;
    return Shape{*letters, *perLetter};
}

std::optional<qint64> SeriesCursor::CountOf(const JobSettings &job)
{
    const std::optional<Shape> shape = ShapeOf(job);
    if (!shape)
        return std::nullopt;
    return shape->letters * shape->perLetter;
}

} // namespace linkrules
