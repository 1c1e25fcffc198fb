#include "Preview.h"

#include <QFont>
#include <QPainter>

namespace assetgen {

namespace {

void Blit(QImage& screen, const IndexedImage& picture, int x0, int y0, bool blackKeyed)
{
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const Rgb c = picture.Table()[picture.At(x, y)];
            if (blackKeyed && c == Rgb {})
                continue;
            if (x0 + x < screen.width() && y0 + y < screen.height())
                screen.setPixel(x0 + x, y0 + y, qRgb(c.r, c.g, c.b));
        }
}

void Text(QPainter& p, int x, int y, const QString& text, QColor colour)
{
    // The program's raster font is an 8 x 16 cell font; the mock-up asks
    // for it by family and falls back to any monospace font.
    QFont f(QStringLiteral("Unifont"));
    f.setPixelSize(16);
    f.setStyleStrategy(QFont::NoAntialias);
    f.setStyleHint(QFont::Monospace);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QRect(x, y, 571, 16), Qt::AlignLeft | Qt::AlignTop, text);
}

void StripPart(QImage& screen, const IndexedImage& strip, int x0, int y0, int width)
{
    for (int y = 0; y < strip.Height(); ++y)
        for (int x = 0; x < std::min(width, strip.Width()); ++x) {
            const Rgb c = strip.Table()[strip.At(x, y)];
            screen.setPixel(x0 + x, y0 + y, qRgb(c.r, c.g, c.b));
        }
}

} // namespace

const IndexedImage& PictureNamed(const std::vector<NamedPicture>& catalogue, const QString& name)
{
    for (const NamedPicture& p : catalogue)
        if (p.name == name)
            return p.image;
    qFatal("no picture named %s", qPrintable(name));
}

QImage TitleScreenMockup(const std::vector<NamedPicture>& catalogue, const Mesh& emblem, double angle, int hoverButton)
{
    using namespace ScreenLayout;
    QImage screen = RenderEmblemPreview(emblem, PictureNamed(catalogue, QStringLiteral("lake")).ToQImage(), angle);
    Blit(screen, PictureNamed(catalogue, QStringLiteral("bg")), 0, 0, true);
    Blit(screen, PictureNamed(catalogue, QStringLiteral("duskwing")), LogoX, LogoY, false);
    {
        QPainter p(&screen);
        Text(p, TitleLineX, TitleLineY, QStringLiteral("Skyforge Chronicles - Amberlight Interactive"), Qt::white);
        Text(p, ScrollerX, ScrollerY, QStringLiteral("      VORTEXIA is proud to present yet another stunn"), QColor(255, 128, 0));
    }
    const char* bases[3] = { "info_install", "info_nfo", "info_quit" };
    for (int i = 0; i < 3; ++i)
        Blit(screen, PictureNamed(catalogue, QString::fromLatin1(bases[i]) + (i == hoverButton ? "2" : "1")), ButtonX, ButtonTops[i], false);
    return screen;
}

QImage ExtractionMockup(const std::vector<NamedPicture>& catalogue)
{
    using namespace ScreenLayout;
    QImage screen(Width, Height, QImage::Format_RGB32);
    Blit(screen, PictureNamed(catalogue, QStringLiteral("bg")), 0, 0, false);
    Blit(screen, PictureNamed(catalogue, QStringLiteral("duskwing")), LogoX, LogoY, false);
    const IndexedImage& strip = PictureNamed(catalogue, QStringLiteral("progbar"));
    StripPart(screen, strip, ProgressX, 180, (299 / 10) * 4);
    StripPart(screen, strip, ProgressX, 140, 3 * 62);
    QPainter p(&screen);
    Text(p, ProgressX, ProgressTop, QStringLiteral("File: data\\levels\\harbour.pak"), Qt::white);
    Text(p, ProgressX, 165, QStringLiteral("Archive [4/10]: vtx-sky.a02"), Qt::white);
    Text(p, HintX, HintY, QStringLiteral("Press 'ESC' to cancel.."), Qt::black);
    return screen;
}

} // namespace assetgen
