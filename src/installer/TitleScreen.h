// The title screen's menu geometry, shared by the frame and the release
// handler (and by tests).
#pragma once

#include <cstdint>

// Every button image is 130 x 44 pixels, drawn at x = 0.
inline constexpr int kButtonWidth = 130;
inline constexpr int kButtonHeight = 44;
inline constexpr int kInstallTop = 30;
inline constexpr int kNfoTop = 80;
inline constexpr int kQuitTop = 130;

// Whether (x, y) lies in the hot area of the button drawn at (0, buttonTop):
// x > 0, y > top, x < 130, y < top + 44.
bool InButtonHotArea(int buttonTop, std::int32_t x, std::int32_t y);

// The image the frame draws for the button at (0, buttonTop) with the mouse
// state given: normal outside the hot area, pressed inside it while a
// button is held, hover otherwise. Null for a top that is no button's.
const char* ButtonImageName(int buttonTop, std::int32_t mouseX, std::int32_t mouseY,
                            std::int32_t mouseDown);

// Makes every surface canvas of the program draw "fixedsys" with the
// bundled raster face (and other names as the window system matches them).
void InstallCanvasFonts();
