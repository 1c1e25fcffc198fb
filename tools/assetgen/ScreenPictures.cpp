#include "ScreenPictures.h"

#include "Drawing.h"
#include "Letterforms.h"
#include "Quantise.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace assetgen {

namespace {

// The background has sixteen table entries. Entry 0 is the black that the
// screen keys out; 14 and 15 repeat it; the 13 between carry the artwork.
namespace Bg {
enum : uint8_t {
    Black = 0,
    PanelBase, PanelLight, PanelShade, PanelEdge,
    Rule, RuleDim,
    ChromeTop, ChromeLight, ChromeMid, ChromeDeep, ChromeEdge,
    Caps, Accent,
};
const std::vector<Rgb> Table = {
    RgbOf(0x000000),
    RgbOf(0xD6D3C8), RgbOf(0xEAE8E0), RgbOf(0xC3BFB3), RgbOf(0x8C897F),
    RgbOf(0x3A6CE0), RgbOf(0x1C3482),
    RgbOf(0xF4F7FF), RgbOf(0xA8C2F2), RgbOf(0x5A84DA), RgbOf(0x27459E), RgbOf(0x111B44),
    RgbOf(0x8E98AE), RgbOf(0xFF8A1C),
    RgbOf(0x000000), RgbOf(0x000000),
};
}

void DrawPanel(IndexedImage& bg)
{
    using namespace ScreenLayout;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < PanelWidth; ++x)
            bg.Set(x, y, Bg::PanelBase);
    // A bevel down the right edge separates the panel from the dark part.
    for (int y = 0; y < Height; ++y) {
        bg.Set(PanelWidth - 3, y, Bg::PanelLight);
        bg.Set(PanelWidth - 2, y, Bg::PanelShade);
        bg.Set(PanelWidth - 1, y, Bg::PanelEdge);
    }
    for (int x = 0; x < PanelWidth - 2; ++x) {
        bg.Set(x, 0, Bg::PanelLight);
        bg.Set(x, Height - 1, Bg::PanelShade);
    }

    // Watermark: the emblem's ring and cross, pressed faintly into the panel
    // between the last button and the logo.
    const double cx = 63.5, cy = 231.5, outer = 37, inner = 30, bar = 3.0;
    for (int y = 180; y < 284; ++y)
        for (int x = 4; x < PanelWidth - 4; ++x) {
            const double dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
            const bool ring = r <= outer && r >= inner;
            const bool cross = r < inner && (std::abs(dx) < bar || std::abs(dy) < bar);
            if (ring || cross)
                bg.Set(x, y, Bg::PanelShade);
            // Light along the ring's outer lower-right and inner upper-left
            // edges: the shape looks pressed into the panel.
            else if ((r > outer && r <= outer + 1 && dx + dy > 0) || (r < inner && r >= inner - 1 && dx + dy < 0 && !(std::abs(dx) < bar + 1 || std::abs(dy) < bar + 1)))
                bg.Set(x, y, Bg::PanelLight);
        }
}

// The hint drawn during extraction starts on the panel and runs 66 pixels
// past it; a tab of the panel carries it so that black text stays readable.
constexpr int HintTabTop = ScreenLayout::HintY - 3, HintTabBottom = ScreenLayout::HintY + ScreenLayout::TextHeight + 2;

// Right end of the tab on a row: slanted, reaching further at the foot.
int HintTabEnd(int y)
{
    using namespace ScreenLayout;
    return HintX + HintWidth + 6 + (y - HintTabTop) / 2 - (HintTabBottom - HintTabTop) / 4;
}

void DrawHintTab(IndexedImage& bg)
{
    using namespace ScreenLayout;
    const int top = HintTabTop, bottom = HintTabBottom;
    for (int y = top; y <= bottom; ++y) {
        const int end = HintTabEnd(y);
        for (int x = PanelWidth - 3; x <= end; ++x) {
            uint8_t c = Bg::PanelBase;
            if (y == top)
                c = Bg::PanelLight;
            else if (y == bottom || x == end)
                c = Bg::PanelEdge;
            else if (y == bottom - 1 || x == end - 1)
                c = Bg::PanelShade;
            bg.Set(x, y, c);
        }
    }
}

enum class RuleStart { Fading, Sharp };

void DrawRule(IndexedImage& bg, int y, int x0, int x1, RuleStart start)
{
    // Full blue in the middle, fading through the dim blue into black over
    // the last 48 pixels at the right end, and at the left unless the rule
    // starts at something.
    const std::vector<int> ramp = { Bg::Black, Bg::RuleDim, Bg::Rule };
    for (int x = x0; x <= x1; ++x) {
        const double fromEnd = start == RuleStart::Sharp ? x1 - x : std::min(x - x0, x1 - x);
        bg.Set(x, y, uint8_t(DitherAlongRamp(ramp, std::min(2.0, fromEnd / 24.0), x, y)));
    }
}

void DrawGroupName(IndexedImage& bg)
{
    const CapitalMetrics m { 29, 46, 7, 6, 8 };
    const QString name = QStringLiteral("VORTEXIA");
    // Centred over the emblem, which turns around x = 377.
    const int top = 21;
    const int left = 377 - int(std::lround(CondensedTextWidth(name, m) / 2));
    const int right = left + int(std::lround(CondensedTextWidth(name, m)));
    const Coverage cover(CondensedText(name, m).translated(left, top), QSize(bg.Width(), bg.Height()));

    // Chrome: bright sky at the top darkening to a hard horizon just under
    // the middle, then a reflected lighter band towards the foot.
    auto chrome = [&](double t) {
        if (t < 0.5)
            return 5.0 - 2.2 * (t / 0.5);
        return 1.6 + 2.6 * ((t - 0.5) / 0.5);
    };
    // Solid bands with short dithered steps between them read as metal;
    // dithering across the whole height reads as noise.
    auto banded = [](double p) {
        const double whole = std::floor(p), fraction = p - whole;
        return whole + std::clamp((fraction - 0.35) / 0.3, 0.0, 1.0);
    };
    const std::vector<int> ramp = { Bg::Black, Bg::ChromeEdge, Bg::ChromeDeep, Bg::ChromeMid, Bg::ChromeLight, Bg::ChromeTop };
    for (int y = top; y < top + int(m.height); ++y)
        for (int x = left; x <= right; ++x) {
            const double a = cover.At(x, y);
            if (a <= 0)
                continue;
            const double t = (y + 0.5 - top) / m.height;
            bg.Set(x, y, uint8_t(DitherAlongRamp(ramp, a * banded(chrome(t)), x, y)));
        }
}

// Words in spaced capitals, with small orange diamonds between them.
void DrawSpacedCapitals(IndexedImage& bg, const QStringList& words, int centreX, int y)
{
    const int gap = 4, separator = 15;
    int width = -separator;
    for (const QString& w : words)
        width += PixelTextWidth(w, gap, SmallCapital) + separator;
    int x = centreX - width / 2;
    for (int i = 0; i < words.size(); ++i) {
        if (i > 0) {
            const int cx = x - separator / 2 - 1;
            bg.Set(cx, y + 2, Bg::Accent);
            bg.Set(cx - 1, y + 3, Bg::Accent);
            bg.Set(cx + 1, y + 3, Bg::Accent);
            bg.Set(cx, y + 4, Bg::Accent);
        }
        x += DrawPixelText(words[i], x, y, gap, SmallCapital, [&](int px, int py) { bg.Set(px, py, Bg::Caps); }) + separator;
    }
}

} // namespace

IndexedImage MakeBackground()
{
    using namespace ScreenLayout;
    IndexedImage bg(Width, Height, 4);
    bg.Table() = Bg::Table;
    bg.Fill(Bg::Black);

    DrawPanel(bg);
    DrawHintTab(bg);
    DrawSpacedCapitals(bg, { QStringLiteral("PROUDLY"), QStringLiteral("PRESENTED"), QStringLiteral("BY") }, 377, 4);
    // The top rule runs on from the tab's upper edge.
    DrawRule(bg, ScreenLayout::HintY - 3, HintTabEnd(ScreenLayout::HintY - 3) + 1, 564, RuleStart::Sharp);
    DrawGroupName(bg);
    DrawRule(bg, 279, 136, 564, RuleStart::Fading);
    return bg;
}

IndexedImage MakeButton(const QString& label, ButtonState state)
{
    using namespace ScreenLayout;
    const Rgb ink = RgbOf(0x181C28);
    Rgb ground = RgbOf(0xFFFFFF);
    if (state == ButtonState::Hover)
        ground = RgbOf(0xDCDCDA);
    else if (state == ButtonState::Pressed)
        ground = RgbOf(0x9BA896);

    // Ground, then 9 steps of antialiasing, then the ink: 11 entries; the
    // bevel takes two more.
    constexpr int Steps = 10;
    IndexedImage button(ButtonWidth, ButtonHeight, 8);
    for (int i = 0; i <= Steps; ++i)
        button.Table()[i] = Mix(ground, ink, double(i) / Steps);
    const uint8_t shade = Steps + 1, light = Steps + 2;
    button.Table()[shade] = Mix(ground, RgbOf(0x000000), 0.22);
    button.Table()[light] = Mix(ground, RgbOf(0xFFFFFF), 0.6);
    button.Fill(0);

    const CapitalMetrics m { 14, 28, 5, 3, 4 };
    const int pressed = state == ButtonState::Pressed ? 1 : 0;
    const int left = int(std::lround((ButtonWidth - CondensedTextWidth(label, m)) / 2)) + pressed;
    const int top = (ButtonHeight - int(m.height)) / 2 + pressed;
    const Coverage cover(CondensedText(label, m).translated(left, top), QSize(ButtonWidth, ButtonHeight));
    for (int y = 0; y < ButtonHeight; ++y)
        for (int x = 0; x < ButtonWidth; ++x)
            button.Set(x, y, uint8_t(std::lround(cover.At(x, y) * Steps)));

    // Raised edge: light top and left, shaded bottom and right; a pressed
    // button has them the other way round.
    const uint8_t topLeft = pressed ? shade : light;
    const uint8_t bottomRight = pressed ? light : shade;
    for (int x = 0; x < ButtonWidth; ++x) {
        button.Set(x, 0, topLeft);
        button.Set(x, ButtonHeight - 1, bottomRight);
    }
    for (int y = 0; y < ButtonHeight; ++y) {
        button.Set(0, y, topLeft);
        button.Set(ButtonWidth - 1, y, bottomRight);
    }
    return button;
}

IndexedImage MakeDuskwing()
{
    using namespace ScreenLayout;
    IndexedImage logo(LogoWidth, LogoHeight, 8);
    auto& t = logo.Table();
    t[0] = Bg::Table[Bg::PanelBase]; // the logo sits on the panel and blends into it
    t[1] = RgbOf(0x2A1E30); // wing outline
    t[2] = RgbOf(0x6A4868); // wing
    t[3] = RgbOf(0xE07A26); // spot
    t[4] = RgbOf(0xF8C85A); // spot light
    t[5] = RgbOf(0x141018); // body
    t[6] = RgbOf(0x8E6A88); // wing sheen
    t[7] = RgbOf(0x2E2E38); // wordmark
    t[9] = RgbOf(0xC8581A); // underline
    logo.Fill(0);

    // A moth with its wings spread, 13 x 13.
    PlotPixelArt(logo, 0, 0,
                 {
                     "...D.....D...",
                     "....D...D....",
                     ".DD..DBD..DD.",
                     "DSMD.DBD.DMSD",
                     "DMOMDDBDDMOMD",
                     "DMYOMDBDMOYMD",
                     "DMOMMDBDMMOMD",
                     ".DMMMDBDMMMD.",
                     "..DDDDBDDDD..",
                     "..DMODBDOMD..",
                     ".DMMD.B.DMMD.",
                     ".DMD.....DMD.",
                     "..D.......D..",
                 },
                 "DMOYBS", { 1, 2, 3, 4, 5, 6 });

    // Wordmark, with a short orange underline under its first letters.
    DrawPixelText(QStringLiteral("duskwing"), 16, 1, 1, TinyLowerCase, [&](int x, int y) { logo.Set(x, y, 7); });
    for (int x = 16; x < 27; ++x)
        logo.Set(x, 11, 9);
    return logo;
}

IndexedImage MakeProgressStrip()
{
    IndexedImage strip(299, 18, 4);
    // Entry 0 black for the frame, 1..15 the gradient's stops in order.
    const std::vector<std::pair<double, Rgb>> stops = {
        { 0.00, RgbOf(0x4E0806) }, { 0.28, RgbOf(0xB81C0C) }, { 0.55, RgbOf(0xFF7A12) },
        { 0.80, RgbOf(0xFFD824) }, { 1.00, RgbOf(0xAEE22A) },
    };
    auto colourAt = [&](double t) {
        for (size_t i = 1; i < stops.size(); ++i)
            if (t <= stops[i].first)
                return Mix(stops[i - 1].second, stops[i].second, (t - stops[i - 1].first) / (stops[i].first - stops[i - 1].first));
        return stops.back().second;
    };
    std::vector<int> ramp;
    for (int i = 1; i < 16; ++i) {
        strip.Table()[i] = colourAt((i - 1) / 14.0);
        ramp.push_back(i);
    }
    strip.Fill(0);
    const int first = 3, last = 295;
    for (int y = 3; y <= 14; ++y)
        for (int x = first; x <= last; ++x)
            strip.Set(x, y, uint8_t(DitherAlongRamp(ramp, 14.0 * (x - first) / (last - first), x, y)));
    return strip;
}

IndexedImage MakeStar()
{
    IndexedImage star(1, 1, 8);
    star.Table()[19] = RgbOf(0xFFFFFF);
    star.Set(0, 0, 19);
    return star;
}

std::vector<NamedPicture> MakeCatalogue()
{
    std::vector<NamedPicture> all;
    all.push_back({ QStringLiteral("bg"), MakeBackground() });
    const struct {
        const char* base;
        const char* label;
    } buttons[] = { { "info_install", "INSTALL" }, { "info_nfo", ".NFO" }, { "info_quit", "QUIT" } };
    for (const auto& b : buttons)
        for (ButtonState s : { ButtonState::Normal, ButtonState::Hover, ButtonState::Pressed })
            all.push_back({ QString::fromLatin1(b.base) + QString::number(int(s)), MakeButton(QString::fromLatin1(b.label), s) });
    all.push_back({ QStringLiteral("duskwing"), MakeDuskwing() });
    all.push_back({ QStringLiteral("progbar"), MakeProgressStrip() });
    all.push_back({ QStringLiteral("star"), MakeStar() });
    all.push_back({ QStringLiteral("lake"), MakeLake() });
    return all;
}

} // namespace assetgen
