// Frame costs of the title screen's size: copying a 571 x 306 picture onto
// the back surface (opaque and colour-keyed) and presenting a whole frame.
#include "render/DXDraws.h"

#include <QApplication>
#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kWidth = 571;
constexpr int kHeight = 306;

struct Surfaces {
    TDirectDraw dd;
    TDirectDrawSurface back{dd};
    TDirectDrawSurface picture{dd};

    Surfaces() {
        back.SystemMemory = true;
        back.SetSize(kWidth, kHeight);
        picture.SetSize(kWidth, kHeight);
        // A picture whose black areas (a third of it) are see-through.
        ddraw::DDSURFACEDESC desc;
        picture.Lock(desc);
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(desc.lpSurface) + y * desc.lPitch);
            for (int x = 0; x < kWidth; ++x) row[x] = ((x / 7 + y / 5) % 3 == 0) ? 0 : 0x00336699u + x;
        }
        picture.Unlock();
        picture.SetTransparentColor(picture.PixelValueOf(clBlack));
    }
};

void BM_DrawOpaque(benchmark::State& state) {
    Surfaces s;
    for (auto _ : state) {
        s.back.Draw(0, 0, s.picture.ClientRect(), &s.picture, false);
        benchmark::DoNotOptimize(s.back.LastResult());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_DrawOpaque)->Unit(benchmark::kMicrosecond);

void BM_DrawColourKeyed(benchmark::State& state) {
    Surfaces s;
    for (auto _ : state) {
        s.back.Draw(0, 0, s.picture.ClientRect(), &s.picture, true);
        benchmark::DoNotOptimize(s.back.LastResult());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_DrawColourKeyed)->Unit(benchmark::kMicrosecond);

// The main window's drawing surface: Flip checks the surfaces, copies the
// back surface into the window's picture and asks for a repaint.
struct Window {
    QWidget form;
    TDXDraw* dx;
    Window() {
        form.resize(kWidth, kHeight);
        dx = new TDXDraw(&form);
        dx->BeginLoading();
        dx->setGeometry(0, 0, kWidth, kHeight);
        dx->SetOptions({doWaitVBlank, doSystemMemory, doCenter, do3D, doRetainedMode, doDrawPrimitive,
                        doTexture, doRGB, doMono, doDither});
        dx->SetSurfaceWidth(kWidth);
        dx->SetSurfaceHeight(kHeight);
        dx->EndLoading();
        form.show();
        QCoreApplication::processEvents();
    }
};

void BM_Flip(benchmark::State& state) {
    Window w;
    for (auto _ : state) {
        w.dx->Flip();
        benchmark::DoNotOptimize(w.dx->PrimarySurface()->LastResult());
    }
}
BENCHMARK(BM_Flip)->Unit(benchmark::kMicrosecond);

// The copy into the window's picture alone, without the surface check.
void BM_PrimaryBlt(benchmark::State& state) {
    Window w;
    TDirectDrawSurface* back = w.dx->BackSurface();
    const ddraw::POINT o = w.dx->ClientOrigin();
    const TRect dest{o.x, o.y, o.x + kWidth, o.y + kHeight};
    const TRect whole = back->ClientRect();
    ddraw::DDBLTFX fx;
    for (auto _ : state) w.dx->PrimarySurface()->Blt(&dest, &whole, ddraw::DDBLT_WAIT, fx, back);
}
BENCHMARK(BM_PrimaryBlt)->Unit(benchmark::kMicrosecond);

// For comparison: a flip followed by the repaint it asks for.
void BM_FlipAndPaint(benchmark::State& state) {
    Window w;
    for (auto _ : state) {
        w.dx->Flip();
        w.dx->repaint();
    }
}
BENCHMARK(BM_FlipAndPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
