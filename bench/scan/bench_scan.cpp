// Link scan throughput on a large page, against the floor of touching every character once
// (counting the double quotes). Throughput is reported on the markup's UTF-16 size in bytes.
#include "scan.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// About 20 MB of characters with about 200,000 links in the tags a page is made of.
const QString &Markup()
{
    static const QString markup = [] {
        QRandomGenerator random(7);
        QString m;
        m.reserve(20'500'000);
        m += u"<!DOCTYPE html><html><head><title>Index</title>"
             u"<link rel=\"stylesheet\" href=\"/css/site.css\" type=\"text/css\">"
             u"<script src=\"/js/app.js\" type=\"text/javascript\"></script></head><body>"_s;
        const QString words[] = {u"download "_s, u"archive "_s, u"the "_s,    u"latest "_s,
                                 u"release "_s,  u"notes, "_s,  u"and "_s,    u"older "_s,
                                 u"versions "_s, u"are "_s,     u"listed "_s, u"below. "_s};
        auto text = [&](int count) {
            for (int i = 0; i < count; ++i)
                m += words[random.bounded(static_cast<int>(std::size(words)))];
        };
        int links = 0;
        while (m.size() < 20'000'000) {
            const int n = links++;
            switch (random.bounded(6)) {
            case 0:
            case 1:
                m += u"<div class=\"item row-%1\" id=\"i%1\"><a href=\"/files/archive-%1.zip\" "
                     u"title=\"Archive %1\" class=\"dl\">"_s.arg(n);
                text(2);
                m += u"</a></div>\n"_s;
                break;
            case 2:
                m += u"<img src=\"/img/thumb_%1.jpg\" alt=\"Thumbnail %1\" width=\"120\" "
                     u"height=\"90\">"_s.arg(n);
                break;
            case 3:
                m += u"<p class=\"note\">"_s;
                text(6);
                m += u"<a href=\"show.asp?id=%1&amp;page=2\" data-kind=\"page\">more</a></p>\n"_s
                         .arg(n);
                break;
            case 4:
                m += u"<script src=\"https://cdn.example/lib-%1.js\" async></script>\n"_s.arg(n);
                break;
            default:
                m += u"<link rel=\"prefetch\" href=\"http://host/a/b/page%1.htm\">"
                     u"<span style=\"color: #333\">"_s.arg(n);
                text(3);
                m += u"</span>\n"_s;
                break;
            }
        }
        m += u"</body></html>"_s;
        return m;
    }();
    return markup;
}

qsizetype CountQuotes(QStringView text)
{
    const char16_t *data = text.utf16();
    const qsizetype size = text.size();
    qsizetype count = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi16(u'"');
    for (; i + 16 <= size; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + 8));
        const __m128i hits = _mm_packs_epi16(_mm_cmpeq_epi16(a, quote), _mm_cmpeq_epi16(b, quote));
        count += __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(hits)));
    }
#endif
    for (; i < size; ++i)
        count += data[i] == u'"';
    return count;
}

void SetUp(benchmark::State &state, qsizetype items)
{
    const qsizetype bytes = Markup().size() * static_cast<qsizetype>(sizeof(char16_t));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    state.counters["items"] = static_cast<double>(items); // links found or quotes counted
}

void BM_ScanLinks(benchmark::State &state)
{
    const QString &markup = Markup();
    qsizetype found = 0;
    for (auto _ : state) {
        QStringList links;
        scan::ScanLinks(markup, links);
        found = links.size();
        benchmark::DoNotOptimize(links.constData());
        state.PauseTiming(); // freeing the list is not part of the scan
        links = QStringList();
        state.ResumeTiming();
    }
    SetUp(state, found);
}

void BM_ScanLinksWithObserver(benchmark::State &state)
{
    const QString &markup = Markup();
    qsizetype found = 0;
    int reports = 0;
    const scan::Observer observer{[&reports](int) { ++reports; }, [] { return false; }};
    for (auto _ : state) {
        QStringList links;
        scan::ScanLinks(markup, links, observer);
        found = links.size();
        benchmark::DoNotOptimize(links.constData());
        state.PauseTiming();
        links = QStringList();
        state.ResumeTiming();
    }
    SetUp(state, found);
    state.counters["reports"] = static_cast<double>(reports)
        / static_cast<double>(state.iterations());
}

void BM_CountQuotesSimd(benchmark::State &state)
{
    const QString &markup = Markup();
    qsizetype count = 0;
    for (auto _ : state) {
        count = CountQuotes(markup);
        benchmark::DoNotOptimize(count);
    }
    SetUp(state, count);
}

void BM_CountQuotesQt(benchmark::State &state)
{
    const QString &markup = Markup();
    qsizetype count = 0;
    for (auto _ : state) {
        count = QStringView(markup).count(u'"');
        benchmark::DoNotOptimize(count);
    }
    SetUp(state, count);
}

} // namespace

// The machine is shared: the fastest repetition is the figure least disturbed by others.
double Fastest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

BENCHMARK(BM_ScanLinks)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_ScanLinksWithObserver)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_CountQuotesSimd)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_CountQuotesQt)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);

BENCHMARK_MAIN();
