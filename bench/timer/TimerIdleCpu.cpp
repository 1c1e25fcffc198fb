// Measures the processor time the message loop uses while a frame timer
// ticks every 10 ms with a trivial handler: user + system CPU seconds per
// wall-clock second. Usage: bench_timer_idle [seconds]
#include "platform/os/Clock.h"
#include "render/DXTimer.h"
#include "toolkit/Application.h"

#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    TApplication application(argc, argv);
    application.SetActive(true);

    TDXTimer timer;
    timer.SetInterval(10);
    long ticks = 0;
    timer.OnTimer = [&ticks](TCustomDXTimer*, std::int32_t) { ++ticks; };
    timer.SetEnabled(false);
    timer.SetEnabled(true);

    double cpuStart = CpuSeconds();
    auto wallStart = std::chrono::steady_clock::now();
    QTimer::singleShot(int(seconds * 1000), [] { QCoreApplication::quit(); });
    TApplication::exec();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    double cpu = CpuSeconds() - cpuStart;
    std::printf("ticks %ld in %.2f s (%.1f per second)\n", ticks, wall, double(ticks) / wall);
    std::printf("cpu per wall second %.4f (target at most 0.05)\n", cpu / wall);
    return 0;
}
