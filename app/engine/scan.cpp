#include "scan.h"

#include "numbers.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scan {

namespace {

// Index of the first `c` in [from, size), or size when there is none.
qsizetype FindChar(const char16_t *data, qsizetype from, qsizetype size, char16_t c)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 16 <= size; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + 8));
        const __m128i hits = _mm_packs_epi16(_mm_cmpeq_epi16(a, needle), _mm_cmpeq_epi16(b, needle));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == c)
            return i;
    }
    return size;
}

// The status of the pass at 1-based position p is base + p / L * 50, rounded half to even.
// Passes run over contiguous stretches of positions; the percentage never falls along the
// markup, so each stretch is summarised by the distinct values it takes, found by bisection
// instead of by visiting every position.
class Progress final
{
public:
    Progress(const Observer &observer, qsizetype length, int base, int &lastReported)
        : m_observer(observer), m_length(static_cast<double>(length)), m_base(base),
          m_last(lastReported)
    {
    }

    // Reports the statuses of the passes at positions first..last (1-based, first <= last).
    void Passes(qsizetype first, qsizetype last)
    {
        if (!m_observer.progress)
            return;
        const int end = At(last);
        if (end == m_last)
            return;
        qsizetype p = first;
        for (;;) {
            const int value = At(p);
            if (value != m_last) {
                m_last = value;
                m_observer.progress(value);
            }
            if (value == end)
                return;
            qsizetype lo = p + 1;
            qsizetype hi = last; // At(hi) > value
            while (lo < hi) {
                const qsizetype mid = lo + (hi - lo) / 2;
                if (At(mid) > value)
                    hi = mid;
                else
                    lo = mid + 1;
            }
            p = lo;
        }
    }

private:
    int At(qsizetype p) const
    {
        return m_base
            + static_cast<int>(numbers::RoundHalfEven(static_cast<double>(p) / m_length * 50.0));
    }

    const Observer &m_observer;
    double m_length;
    int m_base;
    int &m_last;
};

bool Cancelled(const Observer &observer)
{
    return observer.cancelled && observer.cancelled();
}

// How many links pass between two looks at the cancel flag within one scan.
constexpr int kCancelPollInterval = 4096;

} // namespace

// Equivalent to comparing the opening at every position: an opening ends in its last
// character, so only the occurrences of that character are candidates, and a candidate counts
// only when the whole opening starts at or after the position the scan has reached (values
// already copied are skipped, as the position-by-position walk skips them).
namespace {

// `lastReported` carries the status last reported, so that the second scan of ScanLinks does
// not repeat the 50 its first scan ended on.
Outcome Scan(QStringView markup, QStringView opening, int base, QStringList &links,
             const Observer &observer, int &lastReported)
{
    const qsizetype length = markup.size();
    // An empty markup has no positions: no check point and no status at all.
    if (length == 0)
        return Outcome::Completed;
    if (Cancelled(observer))
        return Outcome::Cancelled;

    Progress progress(observer, length, base, lastReported);
    const char16_t *data = markup.utf16();
    const qsizetype width = opening.size();
    if (width == 0) {
        progress.Passes(1, length);
        return Outcome::Completed;
    }
    const char16_t anchor = opening.utf16()[width - 1];
    const char16_t *head = opening.utf16();
    const std::size_t headBytes = static_cast<std::size_t>(width - 1) * sizeof(char16_t);

    qsizetype next = 0; // 0-based index of the next pass's position
    qsizetype candidate = width - 1;
    int sincePoll = 0;
    for (;;) {
        candidate = FindChar(data, candidate, length, anchor);
        if (candidate >= length) {
            progress.Passes(next + 1, length);
            return Outcome::Completed;
        }
        const qsizetype start = candidate - (width - 1);
        if (std::memcmp(data + start, head, headBytes) != 0) {
            ++candidate;
            continue;
        }

        progress.Passes(next + 1, start + 1);
        const qsizetype valueStart = candidate + 1;
        // A value without its closing quote runs to the end of the markup and is kept.
        const qsizetype close = FindChar(data, valueStart, length, u'"');
        links.append(QString(reinterpret_cast<const QChar *>(data + valueStart),
                             close - valueStart));
        next = close + 1;
        if (next >= length)
            return Outcome::Completed;
        if (++sincePoll == kCancelPollInterval) {
            sincePoll = 0;
            if (Cancelled(observer))
                return Outcome::Cancelled;
        }
        candidate = next + width - 1;
    }
}

} // namespace

Outcome ScanOpening(QStringView markup, QStringView opening, int base, QStringList &links,
                    const Observer &observer)
{
    int lastReported = -1;
    return Scan(markup, opening, base, links, observer, lastReported);
}

Outcome ScanLinks(QStringView markup, QStringList &links, const Observer &observer)
{
    int lastReported = -1;
    if (Scan(markup, u"href=\"", 0, links, observer, lastReported) == Outcome::Cancelled)
        return Outcome::Cancelled;
    return Scan(markup, u"src=\"", 50, links, observer, lastReported);
}

} // namespace scan
