#include "installer/Scroller.h"

#include "render/DirectDraw.h"

#include <cmath>

const std::string& TScroller::LeadIn() {
    static const std::string text =
        std::string(75, ' ') + "VORTEXIA is proud to present yet another stunning title: ";
    return text;
}

const std::string& TScroller::Greetings() {
    // The greetings sentence is exactly 151 characters: the length of the
    // whole scroll, and so its timing, depends on it.
    static const std::string text =
        std::string(8, ' ') +
        "Greetings to NIGHTFALL, CRYSTAL VOID, the PARALLAX crew, HEXAGON and LUMEN - "
        "and to Marek, Juno, Old Tobias and Sable for the long nights. Stay tuned!!" +
        std::string(56, ' ');
    return text;
}

std::string TScroller::BuildScrollText(const std::string& title, const std::string& publisher) {
    return LeadIn() + title + " - " + publisher + Greetings();
}

void TScroller::Build(const std::string& title, const std::string& publisher) {
    ScrollText = BuildScrollText(title, publisher);
    ScrollPos = 1.0;
}

void TScroller::Step() {
    ++ScrollTicks;
    if (ScrollTicks > kFramesPerStep - 1) {
        ScrollTicks = 0;
        ScrollPos += 1.0;
        if (ScrollPos > static_cast<double>(ScrollText.size())) ScrollPos = 1.0;
    }
}

long long RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    auto whole = static_cast<long long>(floor);
    if (fraction > 0.5 || (fraction == 0.5 && (whole % 2 != 0))) ++whole;
    return whole;
}

std::string TScroller::Window() const {
    // A 1-based start below 1 reads from the first character; one past the
    // end gives nothing.
    long long start = RoundHalfEven(ScrollPos);
    if (start < 1) start = 1;
    const auto offset = static_cast<std::size_t>(start - 1);
    if (offset >= ScrollText.size()) return {};
    return ScrollText.substr(offset, kWindowChars);
}

void TScroller::StepAndDraw(TDirectDrawSurface& backSurface, const std::string& title,
                            const std::string& publisher) {
    Step();
    TDirectDrawSurfaceCanvas& canvas = backSurface.Canvas();
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.Font.Color = clWhite;
    canvas.Font.Name = "fixedsys";
    canvas.Font.Size = 10;
    canvas.TextOut(kTitleX, kTitleY, title + " - " + publisher);
    canvas.Font.Size = 6;
    canvas.Font.Color = kOrange;
    canvas.TextOut(kScrollX, kScrollY, Window());
    canvas.Release();
}
