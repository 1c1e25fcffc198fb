// Checks the committed pictures, glyphs, icon and mesh against what the
// program and the screen layout need of them. Reads the files as bytes, the
// way the program's own readers will.

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string Assets = ASSETS_DIR;

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

struct Rgb {
    int r, g, b;
    bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool IsBlack() const { return r == 0 && g == 0 && b == 0; }
};

// A stored picture (info header, table, rows bottom first) decoded far
// enough to look at its pixels; the header fields are checked on the way.
struct Picture {
    int width = 0, height = 0, bits = 0;
    std::vector<Rgb> table;
    std::vector<int> index; // top row first

    int At(int x, int y) const { return index[size_t(y) * width + x]; }
    Rgb ColourAt(int x, int y) const { return table[At(x, y)]; }
    std::set<int> UsedEntries() const { return { index.begin(), index.end() }; }
};

Picture Decode(const std::vector<uint8_t>& stored, size_t offset = 0)
{
    Picture p;
    EXPECT_GE(stored.size(), offset + 40);
    if (stored.size() < offset + 40)
        return p;
    EXPECT_EQ(U32(stored, offset), 40u);
    p.width = int(U32(stored, offset + 4));
    p.height = int(U32(stored, offset + 8));
    EXPECT_GT(p.height, 0) << "rows must be stored bottom first";
    EXPECT_EQ(U16(stored, offset + 12), 1);
    p.bits = U16(stored, offset + 14);
    EXPECT_EQ(U32(stored, offset + 16), 0u) << "compression";
    EXPECT_EQ(U32(stored, offset + 32), 0u) << "colours used: the table is full";
    const int entries = 1 << p.bits;
    const size_t rowBytes = size_t((p.width * p.bits + 31) / 32) * 4;
    const size_t tableAt = offset + 40, rowsAt = tableAt + 4 * size_t(entries);
    EXPECT_EQ(stored.size(), rowsAt + rowBytes * p.height) << "no bytes may be missing or left over";
    if (stored.size() < rowsAt + rowBytes * p.height)
        return p;
    for (int i = 0; i < entries; ++i)
        p.table.push_back({ stored[tableAt + 4 * i + 2], stored[tableAt + 4 * i + 1], stored[tableAt + 4 * i] });
    p.index.resize(size_t(p.width) * p.height);
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = &stored[rowsAt + rowBytes * (p.height - 1 - y)];
        for (int x = 0; x < p.width; ++x)
            p.index[size_t(y) * p.width + x] = p.bits == 8 ? row[x] : (x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15);
    }
    return p;
}

Picture LoadPicture(const std::string& name) { return Decode(ReadAll(Assets + "/pictures/" + name + ".dib")); }

Picture LoadBitmapFile(const std::string& path)
{
    const std::vector<uint8_t> file = ReadAll(path);
    EXPECT_GE(file.size(), 54u) << path;
    if (file.size() < 54)
        return {};
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(U32(file, 2), file.size()) << "file size field";
    const Picture p = Decode(file, 14);
    EXPECT_EQ(U32(file, 10), 14 + 40 + 4u * p.table.size()) << "pixel data offset";
    return p;
}

// ---------------------------------------------------------------------------
// The catalogue: sizes, depths and stored byte counts of all fourteen.

struct CatalogueRow {
    const char* name;
    int width, height, bits;
    size_t storedBytes; // the image list's count less the 5-byte class name
};

const CatalogueRow Catalogue[] = {
    { "bg", 571, 306, 4, 88232 },
    { "info_install1", 130, 44, 8, 6872 }, { "info_install2", 130, 44, 8, 6872 }, { "info_install3", 130, 44, 8, 6872 },
    { "info_nfo1", 130, 44, 8, 6872 }, { "info_nfo2", 130, 44, 8, 6872 }, { "info_nfo3", 130, 44, 8, 6872 },
    { "info_quit1", 130, 44, 8, 6872 }, { "info_quit2", 130, 44, 8, 6872 }, { "info_quit3", 130, 44, 8, 6872 },
    { "duskwing", 50, 13, 8, 1740 },
    { "progbar", 299, 18, 4, 2840 },
    { "star", 1, 1, 8, 1068 },
    { "lake", 128, 128, 8, 17448 },
};

TEST(CataloguePictures, HaveTheirExactSizeDepthAndByteCount)
{
    for (const CatalogueRow& row : Catalogue) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> stored = ReadAll(Assets + "/pictures/" + row.name + ".dib");
        EXPECT_EQ(stored.size(), row.storedBytes);
        const Picture p = Decode(stored);
        EXPECT_EQ(p.width, row.width);
        EXPECT_EQ(p.height, row.height);
        EXPECT_EQ(p.bits, row.bits);
        EXPECT_GE(p.UsedEntries().size(), 1u);
    }
}

// The screen palette: sixteen fixed colours, then each colour used by the
// pictures in catalogue order. Every colour of the pictures before the
// texture must get its own entry, so together they may add at most 240.
TEST(CataloguePictures, ScreenPicturesFitTheFreePaletteEntries)
{
    std::set<Rgb> palette = {
        { 0, 0, 0 }, { 128, 0, 0 }, { 0, 128, 0 }, { 128, 128, 0 }, { 0, 0, 128 }, { 128, 0, 128 }, { 0, 128, 128 }, { 192, 192, 192 },
        { 128, 128, 128 }, { 255, 0, 0 }, { 0, 255, 0 }, { 255, 255, 0 }, { 0, 0, 255 }, { 255, 0, 255 }, { 0, 255, 255 }, { 255, 255, 255 },
    };
    for (const CatalogueRow& row : Catalogue) {
        if (std::string(row.name) == "lake")
            break;
        const Picture p = LoadPicture(row.name);
        for (int i : p.UsedEntries())
            palette.insert(p.table[i]);
    }
    EXPECT_LE(palette.size(), 256u);
    // The texture should still find plenty of room after them.
    EXPECT_LE(palette.size(), 16u + 120u);
}

// ---------------------------------------------------------------------------
// "bg": black where the scene shows through, the light panel, room for text.

class Background : public ::testing::Test {
protected:
    Picture bg = LoadPicture("bg");
};

TEST_F(Background, HoldsBlackAtEntriesZeroFourteenFifteenAndUsesOnlyZero)
{
    ASSERT_EQ(bg.table.size(), 16u);
    for (int entry : { 0, 14, 15 })
        EXPECT_TRUE(bg.table[entry].IsBlack()) << entry;
    for (int entry = 1; entry < 14; ++entry)
        EXPECT_FALSE(bg.table[entry].IsBlack()) << "only entry 0 may be the keyed black: " << entry;
    const std::set<int> used = bg.UsedEntries();
    EXPECT_TRUE(used.count(0));
    EXPECT_FALSE(used.count(14));
    EXPECT_FALSE(used.count(15));
}

TEST_F(Background, PanelHasNoBlackAndAboutThreeQuartersAreBlack)
{
    long black = 0;
    for (int y = 0; y < bg.height; ++y)
        for (int x = 0; x < bg.width; ++x) {
            const bool isBlack = bg.ColourAt(x, y).IsBlack();
            black += isBlack;
            if (x < 130) {
                ASSERT_FALSE(isBlack) << "black in the panel at " << x << ", " << y;
            }
        }
    const double share = double(black) / (bg.width * bg.height);
    EXPECT_GT(share, 0.70);
    EXPECT_LT(share, 0.78);
}

TEST_F(Background, HasABlueRuleNearTheTopAndOneNearTheBottom)
{
    auto ruleRows = [&](int from, int to) {
        int rows = 0;
        for (int y = from; y < to; ++y) {
            int blue = 0;
            for (int x = 130; x < bg.width; ++x) {
                const Rgb c = bg.ColourAt(x, y);
                blue += c.b > 120 && c.b > c.r + 60 && c.b > c.g + 30;
            }
            rows += blue > 200;
        }
        return rows;
    };
    EXPECT_GE(ruleRows(0, 40), 1);
    EXPECT_LE(ruleRows(0, 40), 2) << "the rules are thin";
    EXPECT_GE(ruleRows(260, 306), 1);
    EXPECT_LE(ruleRows(260, 306), 2);
}

// White and black text is drawn straight onto this picture; the artwork
// must leave those places plain.
TEST_F(Background, LeavesRoomForTheScreenTexts)
{
    struct Area {
        const char* what;
        int x0, y0, x1, y1; // inclusive
        bool light;         // must have no black (black text) or be all black (white text)
    };
    const Area areas[] = {
        { "hint while extracting", 12, 20, 12 + 23 * 8 - 1, 35, true },
        { "entry line, bars, volume line", 200, 125, 498, 197, false },
        { "title line", 140, 257, 140 + 40 * 8, 271, false },
        { "scroller", 140, 286, 563, 300, false },
    };
    for (const Area& a : areas)
        for (int y = a.y0; y <= a.y1; ++y)
            for (int x = a.x0; x <= a.x1; ++x)
                ASSERT_EQ(bg.ColourAt(x, y).IsBlack(), !a.light) << a.what << " at " << x << ", " << y;
}

// ---------------------------------------------------------------------------
// Buttons, logo, progress strip, star.

double Luma(Rgb c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

Rgb MostCommonColour(const Picture& p)
{
    std::vector<int> count(p.table.size());
    for (int i : p.index)
        ++count[i];
    return p.table[std::max_element(count.begin(), count.end()) - count.begin()];
}

TEST(Buttons, DarkCapitalsOnTheGroundOfTheirState)
{
    for (const char* base : { "info_install", "info_nfo", "info_quit" }) {
        const Picture normal = LoadPicture(std::string(base) + "1");
        const Picture hover = LoadPicture(std::string(base) + "2");
        const Picture pressed = LoadPicture(std::string(base) + "3");
        SCOPED_TRACE(base);
        EXPECT_EQ(MostCommonColour(normal), (Rgb { 255, 255, 255 }));
        const Rgb grey = MostCommonColour(hover);
        EXPECT_TRUE(Luma(grey) > 190 && Luma(grey) < 245 && std::abs(grey.r - grey.b) < 12) << "light grey";
        const Rgb greyGreen = MostCommonColour(pressed);
        EXPECT_LT(Luma(greyGreen), Luma(grey));
        EXPECT_GT(greyGreen.g, greyGreen.r);
        EXPECT_GT(greyGreen.g, greyGreen.b);
        for (const Picture* p : { &normal, &hover, &pressed }) {
            double darkest = 255;
            long dark = 0;
            for (int i : p->index) {
                darkest = std::min(darkest, Luma(p->table[i]));
                dark += Luma(p->table[i]) < 60;
            }
            EXPECT_LT(darkest, 40) << "dark lettering";
            EXPECT_GT(dark, 300) << "the label covers a fair part of the button";
        }
    }
}

TEST(Logo, HasNoKeyedBlackAndSeveralColours)
{
    const Picture logo = LoadPicture("duskwing");
    for (int i : logo.UsedEntries())
        EXPECT_FALSE(logo.table[i].IsBlack());
    EXPECT_GE(logo.UsedEntries().size(), 4u);
}

TEST(ProgressStrip, BlackFrameAroundAGradientFromDarkRedToYellowGreen)
{
    const Picture strip = LoadPicture("progbar");
    EXPECT_EQ(strip.UsedEntries().size(), 16u);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 299; ++x) {
            const bool frame = x < 3 || x > 295 || y < 3 || y > 14;
            ASSERT_EQ(strip.ColourAt(x, y).IsBlack(), frame) << x << ", " << y;
        }
    auto average = [&](int x0, int x1) {
        Rgb sum { 0, 0, 0 };
        const int n = (x1 - x0 + 1) * 12;
        for (int y = 3; y <= 14; ++y)
            for (int x = x0; x <= x1; ++x) {
                const Rgb c = strip.ColourAt(x, y);
                sum = { sum.r + c.r, sum.g + c.g, sum.b + c.b };
            }
        return Rgb { sum.r / n, sum.g / n, sum.b / n };
    };
    const Rgb left = average(3, 12), middle = average(140, 160), right = average(286, 295);
    EXPECT_GT(left.r, 2 * left.g) << "dark red at the left";
    EXPECT_LT(Luma(left), 80);
    EXPECT_GT(middle.r, 200) << "orange in the middle";
    EXPECT_GT(right.g, right.r) << "yellow-green at the right";
    EXPECT_GT(Luma(right), 170);
}

TEST(Star, IsOneWhitePixel)
{
    const Picture star = LoadPicture("star");
    EXPECT_EQ(star.ColourAt(0, 0), (Rgb { 255, 255, 255 }));
}

TEST(Texture, GreenWithABlackEmblemInAboutTwoHundredFiftyColours)
{
    const Picture lake = LoadPicture("lake");
    const size_t used = lake.UsedEntries().size();
    EXPECT_GE(used, 230u);
    EXPECT_LE(used, 256u);
    long green = 0, black = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const Rgb c = lake.ColourAt(x, y);
            green += c.g > c.r && c.g > c.b;
            black += Luma(c) < 16;
        }
    EXPECT_GT(green, 128 * 128 / 2);
    EXPECT_GT(black, 128 * 128 / 8) << "ring and cross";
    EXPECT_LT(Luma(lake.ColourAt(64, 64)), 16) << "the cross meets in the middle";
}

// ---------------------------------------------------------------------------
// Folder dialog pictures and the icon.

TEST(DialogPictures, BackgroundIsTwoColoursOfOrange)
{
    const Picture bg = LoadBitmapFile(Assets + "/dialog/background.bmp");
    EXPECT_EQ(bg.width, 301);
    EXPECT_EQ(bg.height, 213);
    EXPECT_EQ(bg.bits, 8);
    const std::set<int> used = bg.UsedEntries();
    ASSERT_EQ(used.size(), 2u);
    for (int i : used) {
        const Rgb c = bg.table[i];
        EXPECT_TRUE(c.r > c.g && c.g > c.b && Luma(c) > 150) << "warm and light, so the captions read";
    }
}

TEST(DialogPictures, GlyphsKeepTheirTransparentColourInTheBottomLeftCorner)
{
    const struct {
        const char* file;
        int height;
    } glyphs[] = { { "openfolder", 15 }, { "currentfolder", 15 }, { "closedfolder", 15 }, { "floppy", 11 }, { "hard", 11 }, { "network", 11 }, { "cdrom", 11 }, { "ram", 11 } };
    std::set<std::vector<int>> distinct;
    for (const auto& g : glyphs) {
        SCOPED_TRACE(g.file);
        const Picture p = LoadBitmapFile(Assets + "/dialog/" + g.file + ".bmp");
        EXPECT_EQ(p.width, 16);
        EXPECT_EQ(p.height, g.height);
        EXPECT_EQ(p.bits, 4);
        const int transparent = p.At(0, p.height - 1);
        long shown = 0;
        for (int i : p.index)
            shown += i != transparent;
        EXPECT_GT(shown, 40);
        EXPECT_FALSE(p.table[transparent].IsBlack()) << "black outlines must stay visible";
        distinct.insert(p.index);
    }
    EXPECT_EQ(distinct.size(), std::size(glyphs)) << "each glyph is its own drawing";
}

TEST(ProgramIcon, IsAThirtyTwoPixelSixteenColourIconWithAMask)
{
    const std::vector<uint8_t> ico = ReadAll(Assets + "/icon/install.ico");
    ASSERT_EQ(ico.size(), 6u + 16 + 40 + 64 + 512 + 128);
    EXPECT_EQ(U16(ico, 0), 0);
    EXPECT_EQ(U16(ico, 2), 1) << "icon, not cursor";
    EXPECT_EQ(U16(ico, 4), 1);
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(ico[8], 16);
    EXPECT_EQ(U16(ico, 12), 4);
    EXPECT_EQ(U32(ico, 14), ico.size() - 22);
    EXPECT_EQ(U32(ico, 18), 22u);
    EXPECT_EQ(U32(ico, 22), 40u);
    EXPECT_EQ(U32(ico, 30), 64u) << "height counts picture and mask";
    EXPECT_EQ(U16(ico, 36), 4);

    const size_t pixels = 22 + 40 + 64, mask = pixels + 512;
    int transparent = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool masked = ico[mask + y * 4 + x / 8] & (0x80 >> (x % 8));
            const int index = x % 2 == 0 ? ico[pixels + y * 16 + x / 2] >> 4 : ico[pixels + y * 16 + x / 2] & 15;
            if (masked) {
                ++transparent;
                EXPECT_EQ(index, 0) << "transparent pixels draw black under the mask";
            }
        }
    EXPECT_GT(transparent, 32);
    EXPECT_LT(transparent, 32 * 32 / 2);
}

// ---------------------------------------------------------------------------
// The emblem mesh, read as the 3D layer reads it.

TEST(EmblemMesh, LoadsWithNormalsAndTextureCoordinates)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(Assets + "/install.dat",
                                             aiProcess_Triangulate | aiProcess_PreTransformVertices | aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder | aiProcess_FlipUVs);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    ASSERT_TRUE(mesh->HasNormals());
    ASSERT_TRUE(mesh->HasTextureCoords(0));
    EXPECT_GE(mesh->mNumFaces, 200u);
    EXPECT_LE(mesh->mNumFaces, 5000u);

    float radius = 0;
    for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
        const aiVector3D p = mesh->mVertices[i], n = mesh->mNormals[i], t = mesh->mTextureCoords[0][i];
        radius = std::max(radius, std::hypot(p.x, p.y));
        EXPECT_NEAR(n.Length(), 1.0f, 1e-3f);
        EXPECT_GT(p * n, -1e-3f) << "normals of a solid centred on its origin point outwards";
        EXPECT_TRUE(t.x >= 0 && t.x <= 1 && t.y >= 0 && t.y <= 1);
    }
    // Front faces wind clockwise in the left-handed frame: their geometric
    // normal agrees with the vertex normals.
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        ASSERT_EQ(face.mNumIndices, 3u);
        const aiVector3D a = mesh->mVertices[face.mIndices[0]], b = mesh->mVertices[face.mIndices[1]], c = mesh->mVertices[face.mIndices[2]];
        const aiVector3D e1 = b - a, e2 = c - a;
        const aiVector3D geometric(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
        ASSERT_GT(geometric * mesh->mNormals[face.mIndices[0]], 0) << "face " << f;
    }
    // At the scene's scale and distance one mesh unit is about 10.7 pixels;
    // the emblem should fill a good part of the dark area without reaching
    // the group's name or the title line.
    const double pixels = radius * 0.35 * (153 / 0.5) / 10;
    EXPECT_GT(pixels, 70);
    EXPECT_LT(pixels, 110);
}

} // namespace
