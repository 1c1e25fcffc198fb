// Frame time of the title screen as the real main window draws it: one whole
// DXTimer1Timer (emblem scene from install.dat, background, logo, title line
// and scroller, three buttons, flip), that frame with the window's paint,
// and the emblem scene alone.
//
//   bench_titleframe RELEASE [Google Benchmark options]
//
// RELEASE is a release folder with install.ini and install.dat (the demo
// release beside the built program will do). Runs offscreen.
#include "installer/Settings.h"
#include "installer/TForm1.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

TForm1* g_form = nullptr;

// Draws a few frames first so that lazily made resources (fonts, glyph
// caches, the window's backing store) are not part of the figure.
void WarmUp() {
    for (int i = 0; i < 20; ++i) {
        g_form->DXTimer1Timer(nullptr, 1);
        Application->ProcessMessages();
    }
}

void BM_TitleFrame(benchmark::State& state) {
    WarmUp();
    for (auto _ : state) g_form->DXTimer1Timer(nullptr, 1);
    // The flips above asked for paints; do them outside the timing.
    Application->ProcessMessages();
}
BENCHMARK(BM_TitleFrame)->Unit(benchmark::kMicrosecond);

// The frame and the paint that presents it, as one pass of the idle loop.
void BM_TitleFrameAndPaint(benchmark::State& state) {
    WarmUp();
    for (auto _ : state) {
        g_form->DXTimer1Timer(nullptr, 1);
        Application->ProcessMessages();
    }
}
BENCHMARK(BM_TitleFrameAndPaint)->Unit(benchmark::kMicrosecond);

// The emblem scene alone, as the frame starts it: ForceUpdate, Move, then
// clear, render and update of the 3D device.
void BM_EmblemScene(benchmark::State& state) {
    WarmUp();
    TDXDraw* draw = g_form->DXDraw1;
    for (auto _ : state) {
        if (auto* viewport = draw->Viewport()) viewport->ForceUpdate(0, 0, draw->SurfaceWidth(), draw->SurfaceHeight());
        if (auto* scene = draw->SceneFrame()) scene->Move(1.0f);
        draw->Render();
    }
}
BENCHMARK(BM_EmblemScene)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: bench_titleframe RELEASE [benchmark options]\n");
        return 2;
    }
    const std::string release = std::filesystem::absolute(argv[1]).string();
    if (!std::filesystem::is_regular_file(release + "/install.dat"))
        std::fprintf(stderr, "warning: %s/install.dat is missing: the frame has no emblem\n", release.c_str());
    argv[1] = argv[0];
    --argc;
    ++argv;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    application.SetTitle("Install");
    application.SetActive(true);
    SetProgramFolderForTesting(release);
    SetMessageBoxRecording(true);

    auto form = std::make_unique<TForm1>();
    form->show();
    application.ProcessMessages();
    // The benchmark calls the frame handler itself; the timer would add
    // frames of its own from the idle step.
    form->DXTimer1->SetEnabled(false);
    g_form = form.get();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_form = nullptr;
    form.reset();
    return 0;
}
