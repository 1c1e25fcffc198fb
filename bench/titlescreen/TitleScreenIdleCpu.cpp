// CPU share of the idle title screen: the real main window with its frame
// timer running for ten seconds (or the seconds given as the argument),
// measured with getrusage. Prints frames drawn and percent of one core.
#include "BenchSetup.h"

#include "toolkit/Application.h"

#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TApplication application(argc, argv);
    application.SetTitle("Install");
    QTemporaryDir folder;
    std::unique_ptr<TForm1> window = MakeBenchWindow(folder);
    window->show();
    application.SetActive(true);

    long frames = 0;
    const auto draw = window->DXTimer1->OnTimer;
    window->DXTimer1->OnTimer = [&](TCustomDXTimer* sender, std::int32_t lag) {
        ++frames;
        draw(sender, lag);
    };
    // Start-up costs are not part of the idle figure.
    double start = 0;
    QTimer::singleShot(500, [&] {
        start = CpuSeconds();
        frames = 0;
    });
    QTimer::singleShot(500 + int(seconds * 1000), [&] {
        const double used = CpuSeconds() - start;
        std::printf("%.1f s idle title screen: %ld frames, %.3f s CPU, %.1f %% of one core, %.0f us per frame\n",
                    seconds, frames, used, 100.0 * used / seconds, frames ? 1e6 * used / double(frames) : 0.0);
        window->close();
        QCoreApplication::quit();
    });
    TApplication::exec();
    return 0;
}
