// assetgen: draws every picture of the installer and its emblem mesh from
// code and writes them, byte for byte, where the build picks them up:
//   assets/pictures/<name>.dib   the image list's fourteen pictures (stored form)
//   assets/dialog/*.bmp          folder dialog background and list glyphs
//   assets/icon/install.ico|png  the program icon
//   assets/install.dat           the emblem mesh (text X file)
//   docs/assets-preview.png      mock-up of the title and progress screens
// Usage: assetgen [--root SOURCE_DIR] [--preview DIR] [--check]
// --check compares instead of writing, so a test can tell when the committed
// files no longer match their generator.
// The output depends on nothing but this code: no fonts, no clock, no
// random numbers.

#include "DialogPictures.h"
#include "EmblemMesh.h"
#include "Preview.h"
#include "ScreenPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <set>

using namespace assetgen;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "assetgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The screen palette is built from sixteen fixed colours and then, picture
// by picture, every colour a pixel uses. Counts what the pictures before the
// texture add, which must stay within the 240 free entries.
int ScreenColoursBeyondFixed(const std::vector<NamedPicture>& catalogue)
{
    const uint32_t fixed[16] = { 0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF };
    std::set<uint32_t> seen(std::begin(fixed), std::end(fixed));
    int added = 0;
    for (const NamedPicture& p : catalogue) {
        if (p.name == QLatin1String("lake"))
            break;
        const std::vector<bool> used = p.image.UsedEntries();
        for (size_t i = 0; i < used.size(); ++i)
            if (used[i]) {
                const Rgb c = p.image.Table()[i];
                added += seen.insert(uint32_t(c.r) << 16 | c.g << 8 | c.b).second;
            }
    }
    return added;
}

bool CheckBackground(const IndexedImage& bg)
{
    long black = 0;
    bool ok = true;
    for (int y = 0; y < bg.Height(); ++y)
        for (int x = 0; x < bg.Width(); ++x) {
            const bool isBlack = bg.Table()[bg.At(x, y)] == Rgb {};
            black += isBlack;
            if (isBlack && x < ScreenLayout::PanelWidth) {
                std::fprintf(stderr, "assetgen: black pixel in the panel at (%d, %d)\n", x, y);
                ok = false;
            }
        }
    std::printf("bg: %.1f %% black\n", 100.0 * black / (bg.Width() * bg.Height()));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    // Painting paths needs the GUI module but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString root = QStringLiteral(ASSETGEN_SOURCE_ROOT);
    QString previewDir;
    bool checkOnly = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--root") && i + 1 < args.size())
            root = args[++i];
        else if (args[i] == QLatin1String("--preview") && i + 1 < args.size())
            previewDir = args[++i];
        else if (args[i] == QLatin1String("--check"))
            checkOnly = true;
        else {
            std::fprintf(stderr, "usage: assetgen [--root SOURCE_DIR] [--preview DIR] [--check]\n"
                                 "  --check  compare with the files under SOURCE_DIR instead of writing them\n");
            return 2;
        }
    }
    bool ok = true;

    // Everything that goes under assets/, by path relative to it.
    std::vector<std::pair<QString, QByteArray>> outputs;

    const std::vector<NamedPicture> catalogue = MakeCatalogue();
    for (const NamedPicture& p : catalogue) {
        outputs.emplace_back(QStringLiteral("pictures/") + p.name + QStringLiteral(".dib"), p.image.StoredData());
        std::printf("%-14s %3d x %3d  %d bit  %3d colours  %6lld bytes\n", qPrintable(p.name), p.image.Width(), p.image.Height(),
                    p.image.BitCount(), p.image.UsedEntryCount(), static_cast<long long>(outputs.back().second.size()));
        if (!previewDir.isEmpty())
            p.image.ToQImage().save(previewDir + QStringLiteral("/") + p.name + QStringLiteral(".png"));
    }
    ok &= CheckBackground(catalogue.front().image);
    const int screenColours = ScreenColoursBeyondFixed(catalogue);
    std::printf("screen pictures add %d colours to the 16 fixed ones\n", screenColours);
    if (screenColours > 240) {
        std::fprintf(stderr, "assetgen: the screen pictures need more than 240 palette entries\n");
        ok = false;
    }

    const IndexedImage dialog = MakeDialogBackground();
    outputs.emplace_back(QStringLiteral("dialog/background.bmp"), dialog.BitmapFile());
    for (const Glyph& g : MakeListGlyphs()) {
        outputs.emplace_back(QStringLiteral("dialog/") + g.fileName, g.image.BitmapFile());
        if (!previewDir.isEmpty())
            g.image.ToQImage().scaled(g.image.Width() * 4, g.image.Height() * 4).save(previewDir + QStringLiteral("/glyph-") + QString(g.fileName).replace(QStringLiteral(".bmp"), QStringLiteral(".png")));
    }
    const Icon icon = MakeProgramIcon();
    outputs.emplace_back(QStringLiteral("icon/install.ico"), icon.image.IconFile(icon.transparent));
    {
        // PNG through a buffer so that it can be compared like the rest.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        icon.preview.save(&buffer, "PNG");
        outputs.emplace_back(QStringLiteral("icon/install.png"), png);
    }

    const Mesh emblem = MakeEmblemMesh();
    outputs.emplace_back(QStringLiteral("install.dat"), XFileText(emblem));

    const QString assets = root + QStringLiteral("/assets/");
    for (const auto& [path, bytes] : outputs) {
        if (!checkOnly) {
            ok &= WriteFile(assets + path, bytes);
            continue;
        }
        QFile f(assets + path);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != bytes) {
            std::fprintf(stderr, "assetgen: %s differs from what the generator draws\n", qPrintable(assets + path));
            ok = false;
        }
    }

    // The importer reads the committed file (or the one just written).
    const QString problem = CheckWithImporter(assets + QStringLiteral("install.dat"), int(emblem.faces.size()));
    std::printf("install.dat: %zu vertices, %zu triangles%s%s\n", emblem.vertices.size(), emblem.faces.size(),
                problem.isEmpty() ? ", loads" : ": ", qPrintable(problem));
    ok &= problem.isEmpty();
    if (checkOnly)
        return ok ? 0 : 1;

    // The documentation's mock-up: title screen above, progress screen below.
    const QImage title = TitleScreenMockup(catalogue, emblem, 0.9, 0);
    const QImage progress = ExtractionMockup(catalogue);
    QImage both(title.width(), title.height() * 2 + 6, QImage::Format_RGB32);
    both.fill(qRgb(40, 40, 48));
    {
        QPainter p(&both);
        p.drawImage(0, 0, title);
        p.drawImage(0, title.height() + 6, progress);
    }
    ok &= both.save(root + QStringLiteral("/docs/assets-preview.png"));
    if (!previewDir.isEmpty()) {
        for (int i = 0; i < 4; ++i)
            TitleScreenMockup(catalogue, emblem, i * 0.8, i < 3 ? i : -1).save(previewDir + QStringLiteral("/title-%1.png").arg(i));
        progress.save(previewDir + QStringLiteral("/progress.png"));
        dialog.ToQImage().save(previewDir + QStringLiteral("/dialog.png"));
        icon.preview.scaled(128, 128).save(previewDir + QStringLiteral("/icon.png"));
    }
    return ok ? 0 : 1;
}
