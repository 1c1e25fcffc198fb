#pragma once

// The pictures of the title screen, in the image list's order.

#include "IndexedImage.h"

#include <QString>

#include <vector>

namespace assetgen {

struct NamedPicture {
    QString name;
    IndexedImage image;
};

// Where the title screen puts things that the artwork must leave room for.
namespace ScreenLayout {
constexpr int Width = 571, Height = 306;
constexpr int PanelWidth = 130;            // light panel, columns 0..129
constexpr int ButtonX = 0, ButtonTops[3] = { 30, 80, 130 };
constexpr int ButtonWidth = 130, ButtonHeight = 44;
constexpr int LogoX = 3, LogoY = 290, LogoWidth = 50, LogoHeight = 13;
constexpr int TitleLineX = 140, TitleLineY = 256;   // white, 16 px font
constexpr int ScrollerX = 140, ScrollerY = 285;     // orange, 53 cells of 8 px
constexpr int HintX = 12, HintY = 20;               // black hint while extracting
constexpr int HintWidth = 23 * 8, TextHeight = 16;
constexpr int ProgressX = 200, ProgressTop = 125; // entry line; bars and volume line below
}

enum class ButtonState { Normal = 1, Hover = 2, Pressed = 3 };

IndexedImage MakeBackground();
IndexedImage MakeButton(const QString& label, ButtonState state);
IndexedImage MakeDuskwing();
IndexedImage MakeProgressStrip();
IndexedImage MakeStar();
IndexedImage MakeLake();

// All fourteen, in catalogue order.
std::vector<NamedPicture> MakeCatalogue();

} // namespace assetgen
