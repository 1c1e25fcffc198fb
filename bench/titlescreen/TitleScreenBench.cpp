// One whole frame of the title screen: viewport update, scene step and
// render (no emblem mesh), background, logo, title line and scroller,
// three buttons, and the flip into the window's picture.
#include "BenchSetup.h"

#include "toolkit/Application.h"

#include <benchmark/benchmark.h>

namespace {

void BM_TitleScreenFrame(benchmark::State& state) {
    QTemporaryDir folder;
    std::unique_ptr<TForm1> window = MakeBenchWindow(folder);
    window->MouseX = 60;  // over Install: the hover image
    window->MouseY = 50;
    for (auto _ : state) window->DXTimer1Timer(window->DXTimer1.get(), 1);
    state.counters["scroll_pos"] = window->Scroller.ScrollPos;
}
BENCHMARK(BM_TitleScreenFrame)->Unit(benchmark::kMicrosecond);

// The frame plus the window repaint it causes.
void BM_TitleScreenFrameAndPaint(benchmark::State& state) {
    QTemporaryDir folder;
    std::unique_ptr<TForm1> window = MakeBenchWindow(folder);
    window->show();
    for (auto _ : state) {
        window->DXTimer1Timer(window->DXTimer1.get(), 1);
        window->DXDraw1->repaint();
    }
}
BENCHMARK(BM_TitleScreenFrameAndPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TApplication application(argc, argv);
    application.SetTitle("Install");
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
