#include "scan.h"

#include "numbers.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
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
        const __m128i hits = _mm_packs_epi16(_mm_cmpeq_epi16(a, needle),
                                             _mm_cmpeq_epi16(b, needle));
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

// What the characters before a double quote must be for it to complete an opening: `before`
// right before it and, when `ends` is set, one of `ends[0]`, `ends[1]` before that.
struct OpeningFilter
{
    char16_t before = u'=';
    bool useEnds = false;
    char16_t ends[2] = {};
};

// Two 64-bit masks per 64 characters of the markup: the double quotes, and the double quotes
// that pass the filter (bit j of word w stands for the character at + 64 w + j).
struct BlockMasks
{
    std::uint64_t quotes = 0;
    std::uint64_t openings = 0;
};

constexpr qsizetype kGroup = 256; // characters per call of a mask function
constexpr int kWords = kGroup / 64;
using GroupMasks = std::array<BlockMasks, kWords>;
using MasksFunction = void (*)(const char16_t *, qsizetype, qsizetype, const OpeningFilter &,
                               GroupMasks &);

void MasksPlain(const char16_t *data, qsizetype at, qsizetype size, const OpeningFilter &f,
                GroupMasks &out)
{
    out = {};
    const qsizetype end = std::min(at + kGroup, size);
    for (qsizetype i = at; i < end; ++i) {
        if (data[i] != u'"')
            continue;
        BlockMasks &m = out[static_cast<std::size_t>((i - at) / 64)];
        const std::uint64_t bit = std::uint64_t{1} << ((i - at) % 64);
        m.quotes |= bit;
        if (i >= 1 && data[i - 1] == f.before
            && (!f.useEnds || (i >= 2 && (data[i - 2] == f.ends[0] || data[i - 2] == f.ends[1]))))
            m.openings |= bit;
    }
}

// The vector forms read two characters before `at`, so they take whole groups from the
// third character on; the plain form does the rest.
bool WholeGroup(qsizetype at, qsizetype size)
{
    return at >= 2 && at + kGroup <= size;
}

#if defined(__SSE2__)
void MasksSse2(const char16_t *data, qsizetype at, qsizetype size, const OpeningFilter &f,
               GroupMasks &out)
{
    if (!WholeGroup(at, size))
        return MasksPlain(data, at, size, f, out);
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i before = _mm_set1_epi16(static_cast<short>(f.before));
    const __m128i end0 = _mm_set1_epi16(static_cast<short>(f.ends[0]));
    const __m128i end1 = _mm_set1_epi16(static_cast<short>(f.ends[1]));
    // 16 characters compared with c, one byte of 0 or 0xff each.
    const auto match = [](const char16_t *p, __m128i c) {
        return _mm_packs_epi16(
            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), c),
            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 8)), c));
    };
    for (int k = 0; k < kGroup / 16; ++k) {
        const char16_t *p = data + at + 16 * k;
        const __m128i q = match(p, quote);
        __m128i o = _mm_and_si128(q, match(p - 1, before));
        if (f.useEnds)
            o = _mm_and_si128(o, _mm_or_si128(match(p - 2, end0), match(p - 2, end1)));
        BlockMasks &m = out[static_cast<std::size_t>(k / 4)];
        const auto shift = static_cast<unsigned>(16 * (k % 4));
        const std::uint64_t qm = static_cast<unsigned>(_mm_movemask_epi8(q));
        const std::uint64_t om = static_cast<unsigned>(_mm_movemask_epi8(o));
        m.quotes = shift == 0 ? qm : m.quotes | qm << shift;
        m.openings = shift == 0 ? om : m.openings | om << shift;
    }
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void MasksAvx2(const char16_t *data, qsizetype at, qsizetype size,
                                               const OpeningFilter &f, GroupMasks &out)
{
    if (!WholeGroup(at, size))
        return MasksPlain(data, at, size, f, out);
    const __m256i quote = _mm256_set1_epi16(u'"');
    const __m256i before = _mm256_set1_epi16(static_cast<short>(f.before));
    const __m256i end0 = _mm256_set1_epi16(static_cast<short>(f.ends[0]));
    const __m256i end1 = _mm256_set1_epi16(static_cast<short>(f.ends[1]));
    for (int k = 0; k < kGroup / 32; ++k) {
        const char16_t *p = data + at + 32 * k;
        // 32 characters compared with c, one byte each, in order (packing works per lane).
        const auto match = [p](qsizetype offset, __m256i c) __attribute__((target("avx2")))
        {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + offset));
            const __m256i b = _mm256_loadu_si256(
                reinterpret_cast<const __m256i *>(p + offset + 16));
            return _mm256_permute4x64_epi64(
                _mm256_packs_epi16(_mm256_cmpeq_epi16(a, c), _mm256_cmpeq_epi16(b, c)), 0xd8);
        };
        const __m256i q = match(0, quote);
        __m256i o = _mm256_and_si256(q, match(-1, before));
        if (f.useEnds)
            o = _mm256_and_si256(o, _mm256_or_si256(match(-2, end0), match(-2, end1)));
        BlockMasks &m = out[static_cast<std::size_t>(k / 2)];
        const std::uint64_t qm = static_cast<std::uint32_t>(_mm256_movemask_epi8(q));
        const std::uint64_t om = static_cast<std::uint32_t>(_mm256_movemask_epi8(o));
        if (k % 2 == 0) {
            m.quotes = qm;
            m.openings = om;
        } else {
            m.quotes |= qm << 32;
            m.openings |= om << 32;
        }
    }
}
#endif

struct MasksChoice
{
    MasksFunction function;
    int bits;
};

MasksChoice ChooseMasks(int widest)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (widest >= 256 && __builtin_cpu_supports("avx2"))
        return {MasksAvx2, 256};
#endif
#if defined(__SSE2__)
    if (widest >= 128)
        return {MasksSse2, 128};
#endif
    return {MasksPlain, 0};
}

MasksChoice g_masks = ChooseMasks(256);

// The status of the pass at 1-based position p is base + p / L * 50, rounded half to even.
// Passes run over contiguous stretches of positions; the percentage never falls along the
// markup, so each stretch is summarised by the distinct values it takes, found by bisection
// instead of by visiting every position. Values go to the observer, or into `deferred` when a
// scan runs ahead of the one whose statuses come first.
class Progress final
{
public:
    Progress(const Observer &observer, qsizetype length, int base, int &lastReported,
             std::vector<int> *deferred = nullptr)
        : m_observer(observer)
        , m_length(static_cast<double>(length))
        , m_base(base)
        , m_last(lastReported)
        , m_deferred(deferred)
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
                if (m_deferred)
                    m_deferred->push_back(value);
                else
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
    std::vector<int> *m_deferred;
};

bool Cancelled(const Observer &observer)
{
    return observer.cancelled && observer.cancelled();
}

// How many links pass between two looks at the cancel flag.
constexpr int kCancelPollInterval = 4096;

QString Value(const char16_t *data, qsizetype from, qsizetype to)
{
    return QString(reinterpret_cast<const QChar *>(data + from), to - from);
}

// One scan's place in the markup while several scans share a single pass over it. Values
// are copied the moment they close, while their characters are still in the cache.
struct ScanState
{
    QStringView head; // the opening less its last two characters
    Progress *progress;
    QStringList *links;
    qsizetype next = 0;        // 0-based index of the scan's next pass
    qsizetype valueStart = -1; // inside a value since this index, or -1
};

bool HeadMatches(const char16_t *at, QStringView head)
{
    for (qsizetype i = 0; i < head.size(); ++i) {
        if (at[i] != head.utf16()[i])
            return false;
    }
    return true;
}

// Runs the scans of `states` side by side over the markup, each exactly as if it walked
// the markup alone position by position. All openings end in a double quote preceded by
// `before`, so only such quotes can complete an opening, and a value ends at the next quote
// of any kind: the pass needs to stop at nothing else. An opening counts only when it starts
// at or after the scan's next position, which is how a walk skips the values it copied.
Outcome SharedPass(const char16_t *data, qsizetype length, char16_t before,
                   std::span<ScanState> states, const Observer &observer)
{
    // With at most two distinct last characters before `before`, they narrow the stops too.
    OpeningFilter filter{before, true, {}};
    int endCount = 0;
    for (const ScanState &s : states) {
        if (s.head.isEmpty()) {
            filter.useEnds = false;
            break;
        }
        const char16_t last = s.head.utf16()[s.head.size() - 1];
        if (std::find(filter.ends, filter.ends + endCount, last) != filter.ends + endCount)
            continue;
        if (endCount == 2) {
            filter.useEnds = false;
            break;
        }
        filter.ends[endCount++] = last;
    }
    if (endCount == 1)
        filter.ends[1] = filter.ends[0];
    int inValue = 0;
    int sincePoll = 0;
    const MasksFunction masksOf = g_masks.function;
    GroupMasks group;
    for (qsizetype at = 0; at < length; at += 64) {
        const auto word = static_cast<std::size_t>((at % kGroup) / 64);
        if (word == 0)
            masksOf(data, at, length, filter, group);
        std::uint64_t quotes = group[word].quotes;
        std::uint64_t openings = group[word].openings;
        for (;;) {
            const std::uint64_t stops = inValue > 0 ? quotes : openings;
            if (stops == 0)
                break;
            const int j = std::countr_zero(stops);
            const std::uint64_t done = j == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << j) - 1;
            const bool opening = (openings >> j) & 1;
            quotes &= ~done;
            openings &= ~done;
            const qsizetype pos = at + j;

            for (ScanState &s : states) {
                if (s.valueStart >= 0) {
                    s.links->append(Value(data, s.valueStart, pos));
                    s.valueStart = -1;
                    s.next = pos + 1;
                    --inValue;
                    if (++sincePoll == kCancelPollInterval) {
                        sincePoll = 0;
                        if (Cancelled(observer))
                            return Outcome::Cancelled;
                    }
                } else if (opening) {
                    const qsizetype start = pos - 1 - s.head.size();
                    if (start >= s.next && HeadMatches(data + start, s.head)) {
                        s.progress->Passes(s.next + 1, start + 1);
                        s.valueStart = pos + 1;
                        ++inValue;
                    }
                }
            }
        }
    }
    for (ScanState &s : states) {
        if (s.valueStart >= 0) // no closing quote: the value runs to the end and is kept
            s.links->append(Value(data, s.valueStart, length));
        else if (s.next < length)
            s.progress->Passes(s.next + 1, length);
    }
    return Outcome::Completed;
}

bool SharedPassFits(QStringView opening)
{
    return opening.size() >= 2 && opening.back() == u'"';
}

// The plain form for any other opening: find each occurrence of its last character.
Outcome SingleScan(const char16_t *data, qsizetype length, QStringView opening, QStringList &links,
                   Progress &progress, const Observer &observer)
{
    const qsizetype width = opening.size();
    if (width == 0) {
        progress.Passes(1, length);
        return Outcome::Completed;
    }
    const char16_t anchor = opening.utf16()[width - 1];
    const char16_t *head = opening.utf16();
    const std::size_t headBytes = static_cast<std::size_t>(width - 1) * sizeof(char16_t);

    qsizetype next = 0;
    qsizetype candidate = width - 1;
    int sincePoll = 0;
    for (;;) {
        candidate = FindChar(data, candidate, length, anchor);
        if (candidate >= length) {
            progress.Passes(next + 1, length);
            return Outcome::Completed;
        }
        const qsizetype start = candidate - (width - 1);
        if (start < next || std::memcmp(data + start, head, headBytes) != 0) {
            ++candidate;
            continue;
        }
        progress.Passes(next + 1, start + 1);
        const qsizetype close = FindChar(data, candidate + 1, length, u'"');
        links.append(Value(data, candidate + 1, close));
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

int UseVectorWidthForTesting(int bits)
{
    g_masks = ChooseMasks(bits);
    return g_masks.bits;
}

Outcome ScanOpening(QStringView markup, QStringView opening, int base, QStringList &links,
                    const Observer &observer)
{
    const qsizetype length = markup.size();
    // An empty markup has no positions: no check point and no status at all.
    if (length == 0)
        return Outcome::Completed;
    if (Cancelled(observer))
        return Outcome::Cancelled;

    int lastReported = -1;
    Progress progress(observer, length, base, lastReported);
    if (!SharedPassFits(opening))
        return SingleScan(markup.utf16(), length, opening, links, progress, observer);
    ScanState state[] = {{opening.first(opening.size() - 2), &progress, &links}};
    return SharedPass(markup.utf16(), length, opening[opening.size() - 2].unicode(), state,
                      observer);
}

// Both scans in one pass over the markup. The src scan runs alongside the href scan but
// its values and statuses are kept back until the href scan has finished, so that the
// caller sees them in the order of two scans one after the other.
Outcome ScanLinks(QStringView markup, QStringList &links, const Observer &observer)
{
    const qsizetype length = markup.size();
    if (length == 0)
        return Outcome::Completed;
    if (Cancelled(observer))
        return Outcome::Cancelled;

    int hrefLast = -1;
    int srcLast = -1;
    std::vector<int> srcStatuses;
    Progress hrefProgress(observer, length, 0, hrefLast);
    Progress srcProgress(observer, length, 50, srcLast, &srcStatuses);
    QStringList srcLinks;
    ScanState states[] = {{u"href", &hrefProgress, &links}, {u"src", &srcProgress, &srcLinks}};
    if (SharedPass(markup.utf16(), length, u'=', states, observer) == Outcome::Cancelled)
        return Outcome::Cancelled;

    if (Cancelled(observer)) // the check point at the start of the src scan
        return Outcome::Cancelled;
    // 50 % ends one scan and may begin the next: it is said once.
    for (std::size_t i = 0; i < srcStatuses.size(); ++i) {
        if (i > 0 || srcStatuses[i] != hrefLast)
            observer.progress(srcStatuses[i]);
    }
    links.append(std::move(srcLinks));
    return Outcome::Completed;
}

} // namespace scan
