// ParseSongPage on a UTF-8 song page of realistic size and on a 64 MiB one,
// each beside a baseline of one memmem scan of the bytes per marker. The
// parser must stay within a small constant factor of the baseline at both
// sizes; the ratio is printed at the end of the run. bench/parse-process.sh
// measures the whole sonavex-parse process instead.

#include "SongPage.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace {

const QLatin1StringView kMarkers[] = {
    SongMarkers::title, SongMarkers::fans,     SongMarkers::info,     SongMarkers::plays,
    SongMarkers::gifts, SongMarkers::forwards, SongMarkers::comments, SongMarkers::photos,
    SongMarkers::mp3,   SongMarkers::head};

QString commentItem(int i)
{
    // Ordinary page markup: quotes, dashes, </div> and "<" everywhere, no markers.
    return QStringLiteral("<li class=\"comment-item clearfix\" data-id=\"") + QString::number(i) +
           QStringLiteral("\"><a class=\"avatar fl\" href=\"/u/") + QString::number(i * 7) +
           QStringLiteral("\"><img src=\"http://img.example/a/") + QString::number(i % 100) +
           QStringLiteral(".jpg\" /></a><div class=\"comment-body\"><span class=\"nick\">听众-") +
           QString::number(i) +
           QStringLiteral("</span><span class=\"time\">2015-06-01 20:11</span>"
                          "<p>唱得真好听, 再来一首!</p></div></li>\n");
}

// The markers spread through the markup the way a real song page has them;
// the comment list fills the page up to the wanted number of characters.
QString songPage(qsizetype chars)
{
    const QString head = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>因为爱情 - Heightened  唱吧,最时尚的手机KTV</title>\n"
        "<link rel=\"stylesheet\" href=\"/static/css/pc-song.css\">\n"
        "<style type=\"text/css\">\n.pcsong_nav li a {color: #666; margin-left: -2px;}\n"
        ".pcsong_head {background: url( \"http://img.example/bg/100/1100/head_100.jpg\") "
        "no-repeat center top;}\n</style>\n</head>\n<body>\n"
        "<div class=\"top-bar\"><a class=\"logo\" href=\"/\">唱吧</a><ul class=\"nav-list\">"
        "<li><a href=\"/hot\">热门</a></li><li><a href=\"/new\">最新</a></li></ul></div>\n"
        "<div class=\"pcsong_head\">\n<div class=\"pcsong_photos\"><img class=\"avatar\" "
        "src=\"http://img.example/u/100/7731.jpg\" width=\"120\" height=\"120\" /></div>\n"
        "<div class=\"pcsong_user\"><div class=\"pcsong_name\">Heightened</div>\n"
        "<div class=\"pcsong_title\">有 2718</div>\n"
        "<div class=\"pcsong_title\" >广东 深圳</div></div></div>\n"
        "<div class=\"pcsong_info clearfix\">\n"
        "<div class=\"pcsong_listen_icon fl\">12,034</div>\n"
        "<div class=\"pcsong_gift_icon fl\">56</div>\n"
        "<div class=\"pcsong_forward_icon fl\">7</div>\n"
        "<div class=\"pcsong_comment_icon fl\">89</div>\n</div>\n<ul class=\"comment-list\">\n");
    const QString tail = QStringLiteral(
        "</ul>\n<script type=\"text/javascript\">\nvar songInfo = {id: 88123, "
        "mp3:\"http://mp3.example/userdata/88123.mp3?t=1&amp;v=2\", duration: 251};\n"
        "</script>\n<div class=\"footer\">© 唱吧</div>\n</body>\n</html>\n");

    QString page;
    page.reserve(chars + 1024);
    page += head;
    for (int i = 0; page.size() + tail.size() < chars; ++i)
        page += commentItem(i);
    page += tail;
    return page;
}

const QByteArray &pageOf(qsizetype chars)
{
    static std::map<qsizetype, QByteArray> pages;
    auto it = pages.find(chars);
    if (it == pages.end())
        it = pages.emplace(chars, songPage(chars).toUtf8()).first;
    return it->second;
}

void BM_Parse(benchmark::State &state)
{
    SongPage song;
    song.strPage = PageText::fromUtf8(pageOf(state.range(0)));
    for (auto _ : state) {
        SongValues v = ParseSongPage(song);
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(song.strMp3Url);
    }
    // Sanity: a parser that found nothing would be fast for the wrong reason.
    if (ParseSongPage(song).playCount != QStringLiteral("12,034"))
        state.SkipWithError("parser did not find the play count");
    state.SetBytesProcessed(state.iterations() * song.strPage.utf8().size());
}

void BM_Baseline(benchmark::State &state)
{
    const QByteArray &page = pageOf(state.range(0));
    for (auto _ : state) {
        qsizetype found = 0;
        for (QLatin1StringView marker : kMarkers)
            found += memmem(page.constData(), size_t(page.size()), marker.data(),
                            size_t(marker.size())) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

constexpr qsizetype kRealistic = 100 * 1024;
constexpr qsizetype kLarge = 64 * 1024 * 1024;

BENCHMARK(BM_Baseline)->Arg(kRealistic)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse)->Arg(kRealistic)->Unit(benchmark::kMicrosecond);
// A middle size shows whether time per character stays the same as pages grow.
BENCHMARK(BM_Baseline)->Arg(kLarge / 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Arg(kLarge / 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline)->Arg(kLarge)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Parse)->Arg(kLarge)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Console output as usual, then parse time / baseline time per page size.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : ConsoleReporter(OO_Tabular)
    {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const std::string name = run.benchmark_name();
            const std::size_t from = name.find('/') + 1;
            const std::string size = name.substr(from, name.find('/', from) - from);
            (name.rfind("BM_Parse", 0) == 0 ? m_parse : m_baseline)[size] = {
                run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        // CPU time as well: on a shared machine wall time also counts waiting.
        for (const auto &[size, parse] : m_parse) {
            const auto base = m_baseline.find(size);
            if (base == m_baseline.end() || base->second.first <= 0 || base->second.second <= 0)
                continue;
            std::printf("page of %s characters: parse / baseline = %.2f (real), %.2f (cpu)\n",
                        size.c_str(), parse.first / base->second.first,
                        parse.second / base->second.second);
        }
    }

private:
    std::map<std::string, std::pair<double, double>> m_parse; // real, cpu
    std::map<std::string, std::pair<double, double>> m_baseline;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
