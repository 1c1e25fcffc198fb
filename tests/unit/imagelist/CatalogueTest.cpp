// The main window's picture catalogue as the program carries it: the stored
// layout's fourteen items, their stored picture data, and the screen
// palette built from them.
#include "render/DIB.h"
#include "render/DXImageList.h"
#include "toolkit/StoredLayout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace {

struct CatalogueRow {
    const char* name;
    int width, height, bitCount;
    bool systemMemory, transparent;
    std::size_t storedBytes;
};

const CatalogueRow kCatalogue[] = {
    {"bg", 571, 306, 4, true, true, 88237},
    {"info_install1", 130, 44, 8, true, false, 6877},
    {"info_install2", 130, 44, 8, true, false, 6877},
    {"info_install3", 130, 44, 8, true, false, 6877},
    {"info_nfo1", 130, 44, 8, true, false, 6877},
    {"info_nfo2", 130, 44, 8, true, false, 6877},
    {"info_nfo3", 130, 44, 8, true, false, 6877},
    {"info_quit1", 130, 44, 8, true, false, 6877},
    {"info_quit2", 130, 44, 8, true, false, 6877},
    {"info_quit3", 130, 44, 8, true, false, 6877},
    {"duskwing", 50, 13, 8, true, false, 1745},
    {"progbar", 299, 18, 4, true, false, 2845},
    {"star", 1, 1, 8, true, false, 1073},
    {"lake", 128, 128, 8, false, false, 17453},
};

// The layout and pictures from the source tree: the same files the build
// compiles into the program's resources.
std::vector<std::uint8_t> ReadAsset(const std::string& path) {
    std::ifstream file(std::string(ASSETS_DIR) + "/" + path, std::ios::binary);
    if (!file) throw ELayoutError("cannot open " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TStoredLayout LoadMainWindowLayout() {
    const std::vector<std::uint8_t> text = ReadAsset("layouts/TForm1.layout");
    return ParseStoredLayout(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                             "TForm1.layout", [](const std::string& path) { return ReadAsset(path); });
}

const TLayoutComponent& ImageListOf(const TStoredLayout& layout) {
    const TLayoutComponent* list = layout.root.Child("DXImageList1");
    if (!list) throw std::runtime_error("no DXImageList1 in the layout");
    return *list;
}

// The colours (as stored 4-byte entries) that a picture's pixels use.
std::set<std::uint32_t> ColoursUsed(const TDIB& dib) {
    std::set<std::uint32_t> colours;
    const TColorTable& table = dib.Image()->ColorTable();
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            const TRGBQuad& q = table[dib.GetPixel(x, y) & 0xFF];
            colours.insert(std::uint32_t(q.rgbBlue) | std::uint32_t(q.rgbGreen) << 8 |
                           std::uint32_t(q.rgbRed) << 16 | std::uint32_t(q.rgbReserved) << 24);
        }
    return colours;
}

std::uint32_t Key(const TRGBQuad& q) {
    return std::uint32_t(q.rgbBlue) | std::uint32_t(q.rgbGreen) << 8 | std::uint32_t(q.rgbRed) << 16 |
           std::uint32_t(q.rgbReserved) << 24;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterRenderPictureClasses();
        layout = LoadMainWindowLayout();
        const TLayoutComponent& stored = ImageListOf(layout);
        ASSERT_EQ(stored.properties.at(1).name, "Items");
        list.ReadStoredItems(stored.properties.at(1).value.items, TLayoutBinder(layout, "DXImageList1.Items"));
    }
    TStoredLayout layout;
    TDXImageList list;
};

}  // namespace

TEST_F(Catalogue, ItemsInOrderWithTheirStoredBytesAndFlags) {
    const auto& items = ImageListOf(layout).properties.at(1).value.items;
    ASSERT_EQ(items.size(), 14u);
    ASSERT_EQ(list.Items().Count(), 14);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CatalogueRow& row = kCatalogue[i];
        SCOPED_TRACE(row.name);
        // The stored properties, in the order the catalogue gives them.
        std::vector<std::string> names;
        for (const TLayoutProperty& p : items[i].properties) names.push_back(p.name);
        EXPECT_EQ(names, (std::vector<std::string>{"Name", "PatternHeight", "PatternWidth", "Picture.Data",
                                                   "SystemMemory", "Transparent", "TransparentColor"}));
        EXPECT_EQ(items[i].properties[3].value.bytes.size(), row.storedBytes);

        TPictureCollectionItem* item = list.Items().Items(static_cast<int>(i));
        EXPECT_EQ(item->Name(), row.name);
        EXPECT_EQ(list.Items().Find(row.name), static_cast<int>(i));
        EXPECT_EQ(item->PatternWidth, 0);
        EXPECT_EQ(item->PatternHeight, 0);
        EXPECT_EQ(item->SystemMemory, row.systemMemory);
        EXPECT_EQ(item->Transparent, row.transparent);
        EXPECT_EQ(item->TransparentColor(), clBlack);
        auto* dib = dynamic_cast<TDIB*>(item->Picture().Graphic());
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(dib->Width(), row.width);
        EXPECT_EQ(dib->Height(), row.height);
        EXPECT_EQ(dib->BitCount(), row.bitCount);
        EXPECT_EQ(item->PatternCount(), 1);
    }
}

TEST_F(Catalogue, BackgroundPanelHasNoBlackToShowTheSceneThrough) {
    auto* bg = dynamic_cast<TDIB*>(list.Items().Items(0)->Picture().Graphic());
    ASSERT_NE(bg, nullptr);
    int blackInPanel = 0;
    long black = 0;
    for (int y = 0; y < bg->Height(); ++y)
        for (int x = 0; x < bg->Width(); ++x) {
            const bool isBlack = (bg->PixelColor(x, y) & 0xFFFFFF) == 0;
            black += isBlack;
            if (x < 130) blackInPanel += isBlack;
        }
    EXPECT_EQ(blackInPanel, 0);
    EXPECT_GT(black * 100 / (571 * 306), 60);  // most of the screen lets the emblem show
}

TEST_F(Catalogue, PaletteKeepsEveryScreenColourAndGivesTheTextureTheRest) {
    list.Items().BuildColorTable();
    const TColorTable& table = list.Items().ColorTable();
    std::set<std::uint32_t> inTable;
    for (const TRGBQuad& q : table) inTable.insert(Key(q));

    std::set<std::uint32_t> fixed;
    for (const auto& [slot, colour] : TPictureCollection::FixedColors()) fixed.insert(Key(colour));
    std::set<std::uint32_t> screen;
    for (int i = 0; i < 13; ++i) {
        auto* dib = dynamic_cast<TDIB*>(list.Items().Items(i)->Picture().Graphic());
        ASSERT_NE(dib, nullptr);
        for (std::uint32_t c : ColoursUsed(*dib)) screen.insert(c);
    }
    std::set<std::uint32_t> screenExtra;
    for (std::uint32_t c : screen)
        if (!fixed.count(c)) screenExtra.insert(c);
    // Every colour of the thirteen screen pictures has its own entry.
    for (std::uint32_t c : screen) EXPECT_TRUE(inTable.count(c)) << std::hex << c;
    ASSERT_LE(screenExtra.size(), 240u) << "the screen pictures need more colours than the palette has";

    // The texture fills what is left, in order, and nothing else enters.
    auto* lake = dynamic_cast<TDIB*>(list.Items().Items(13)->Picture().Graphic());
    std::set<std::uint32_t> lakeNew;
    for (std::uint32_t c : ColoursUsed(*lake))
        if (!fixed.count(c) && !screen.count(c)) lakeNew.insert(c);
    const std::size_t free = 240 - screenExtra.size();
    std::size_t lakeIn = 0;
    for (std::uint32_t c : lakeNew) lakeIn += inTable.count(c);
    EXPECT_EQ(lakeIn, std::min(free, lakeNew.size()));
    // The first picture colours come right after the eight low fixed slots.
    EXPECT_TRUE(screen.count(Key(table[8])));
    RecordProperty("screen_colours", static_cast<int>(screenExtra.size()));
    RecordProperty("texture_colours_in_palette", static_cast<int>(lakeIn));
    RecordProperty("texture_colours_dropped", static_cast<int>(lakeNew.size() - lakeIn));
    std::printf("palette: 16 fixed, %zu screen colours, %zu of %zu texture colours (%zu dropped)\n",
                screenExtra.size(), lakeIn, lakeNew.size(), lakeNew.size() - lakeIn);
}
