// Fonts that canvases draw text with.
//
// A canvas asks for a font by name and size as the program's code gives them
// ("fixedsys", 10 points). Most names go to the window system's font
// matching, but "fixedsys" is a raster font with a single size: every
// requested size gives the same 8 x 16 pixel cells. It is served by the
// Unifont face bundled in the program's resources, drawn at 16 pixels
// without antialiasing, so each glyph lands on whole pixels exactly as the
// bitmap font would.
#pragma once

#include <QFont>

#include <string>

// Cell size of the "fixedsys" stand-in, in pixels.
inline constexpr int kFixedsysCellWidth = 8;
inline constexpr int kFixedsysCellHeight = 16;

// The font to draw with for a canvas font name and a size in points.
// Points become pixels at 96 dots per inch, so text looks the same on every
// paint device. Names are compared without regard to case.
QFont CanvasFont(const std::string& name, int pointSize);

// True for the names served by the bundled raster face.
bool IsFixedsysName(const std::string& name);

// The family name under which the bundled face is registered (loads it from
// the resources on first use). Empty when the resource is missing, in which
// case CanvasFont falls back to the system's fixed-pitch font.
const QString& BundledRasterFamily();
