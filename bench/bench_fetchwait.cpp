// What a pending GetBody costs while it waits: process CPU time over a 2 s
// wait for a slow local server, next to an event loop idling 2 s on a timer.
// Both should be near zero; a polling wait would show a full core.

#include "LocalHttpServer.h"
#include "PageFetch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int kWaitMs = 2000;

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void reportCpu(benchmark::State &state, double cpuSeconds)
{
    state.counters["cpu_ms_per_wait"] =
        benchmark::Counter(cpuSeconds * 1000.0 / double(state.iterations()));
}

void BM_IdleEventLoop(benchmark::State &state)
{
    double cpu = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        cpu += processCpuSeconds() - before;
    }
    reportCpu(state, cpu);
}

void BM_PendingGetBody(benchmark::State &state)
{
    LocalHttpServer server;
    if (!server.listen()) {
        state.SkipWithError("cannot listen on 127.0.0.1");
        return;
    }
    HttpResponse slow = HttpResponse::text("<html>slow</html>");
    slow.delayMs = kWaitMs;
    server.route(QStringLiteral("/slow"), slow);
    const QString url = server.baseUrl() + QStringLiteral("/slow");

    PageFetch fetch;
    fetch.GetBody(server.baseUrl() + QStringLiteral("/warm-up")); // first-use set-up not counted
    double cpu = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        const std::optional<PageText> body = fetch.GetBody(url);
        cpu += processCpuSeconds() - before;
        if (!body) {
            state.SkipWithError("the slow page did not arrive");
            return;
        }
    }
    reportCpu(state, cpu);
}

BENCHMARK(BM_IdleEventLoop)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PendingGetBody)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
