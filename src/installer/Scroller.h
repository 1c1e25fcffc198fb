// The title line and the scroller of the title screen.
//
// The scroller moves a long announcement from right to left through a
// 53-character window under the title line. It counts drawn frames, not
// time: every sixth frame it moves by one character, and after the last
// character it starts again at the first. Both lines are drawn with the
// "fixedsys" raster font and no background box, straight onto the back
// surface.
#pragma once

#include <cstdint>
#include <string>

class TDirectDrawSurface;

class TScroller {
public:
    static constexpr int kWindowChars = 53;
    static constexpr int kFramesPerStep = 6;
    static constexpr int kTitleX = 140, kTitleY = 256;
    static constexpr int kScrollX = 140, kScrollY = 285;
    static constexpr std::int32_t kOrange = 0x0080FF;  // red 255, green 128, blue 0

    // The pieces of the text: 75 spaces and the lead-in sentence, the title
    // and publisher joined by " - ", then 8 spaces, the greetings and 56
    // spaces. Length: 350 plus the lengths of title and publisher.
    static const std::string& LeadIn();     // 132 characters
    static const std::string& Greetings();  // 215 characters
    static std::string BuildScrollText(const std::string& title, const std::string& publisher);

    // Builds ScrollText and puts the window at its first character. The
    // frame counter keeps its value.
    void Build(const std::string& title, const std::string& publisher);

    // Counts one drawn frame; every sixth moves the window by one character,
    // wrapping once the position passes the end of the text.
    void Step();

    // The characters in the window now (fewer than 53 near the end).
    std::string Window() const;

    // One frame's share: Step(), then the title line and the window on the
    // surface's canvas, then the canvas is released.
    void StepAndDraw(TDirectDrawSurface& backSurface, const std::string& title,
                     const std::string& publisher);

    std::string ScrollText;
    double ScrollPos = 1.0;        // 1-based; only ever whole numbers
    std::int32_t ScrollTicks = 0;  // drawn frames since the last step
};

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4), independent of the floating-point unit's rounding mode.
long long RoundHalfEven(double value);
