// The image list against a real drawing surface: patterns, the three ways
// surfaces are made, drawing, colour keys, notifications and the colour
// table builder.
#include "render/DIB.h"
#include "render/DXImageList.h"
#include "toolkit/GraphicStream.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const TDXDrawOptions kMainWindowOptions = {
    doAllowReboot, doWaitVBlank, doSystemMemory, doCenter, do3D, doHardware, doRetainedMode,
    doDrawPrimitive, doSelectDriver, doTexture, doRGB, doMono, doDither};

TRGBQuad Rgb(int r, int g, int b) {
    return TRGBQuad{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                    static_cast<std::uint8_t>(r), 0};
}

// An 8-bit picture whose colour i is (i, 255 - i, 7) and whose pixel at
// (x, y) has the index pixel(x, y).
std::unique_ptr<TDIB> MakePicture(int width, int height, int bitCount,
                                  const std::function<int(int, int)>& pixel) {
    auto dib = std::make_unique<TDIB>();
    dib->Allocate(width, height, bitCount);
    for (int i = 0; i < 256; ++i) dib->ColorTable[static_cast<std::size_t>(i)] = Rgb(i, 255 - i, 7);
    dib->ApplyColorTable();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) dib->PutPixel(x, y, static_cast<std::uint32_t>(pixel(x, y)));
    return dib;
}

std::uint32_t RawOf(int index) { return (std::uint32_t(index) << 16) | (std::uint32_t(255 - index) << 8) | 7u; }

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ddraw::testing::Reset();
        form = std::make_unique<QWidget>();
        form->resize(571, 306);
        dx = new TDXDraw(form.get());
        dx->BeginLoading();
        dx->setGeometry(0, 0, 571, 306);
        dx->SetOptions(kMainWindowOptions);
        dx->SetSurfaceWidth(571);
        dx->SetSurfaceHeight(306);
        list = std::make_unique<TDXImageList>();
        list->SetDXDraw(dx);
    }
    void TearDown() override {
        list.reset();
        form.reset();
        ddraw::testing::Reset();
    }

    TPictureCollectionItem* AddItem(const char* name, std::unique_ptr<TDIB> picture) {
        TPictureCollectionItem* item = list->Items().Add();
        item->SetName(name);
        item->SetPicture(picture.get());
        return item;
    }
    // Loaded: the surface initialises, the list makes its surfaces.
    void Start() {
        dx->EndLoading();
        ASSERT_TRUE(dx->Initialized());
    }
    std::unique_ptr<TDirectDrawSurface> Target(int width, int height, std::uint32_t fill) {
        auto surface = std::make_unique<TDirectDrawSurface>(*dx->DDraw());
        surface->SystemMemory = true;
        surface->SetSize(width, height);
        surface->Fill(fill);
        return surface;
    }

    std::unique_ptr<QWidget> form;
    TDXDraw* dx = nullptr;
    std::unique_ptr<TDXImageList> list;
};

}  // namespace

TEST_F(ImageListTest, PatternGeometryOfTheProgressStrip) {
    struct Row {
        int patternWidth, skipWidth, count;
        TRect second;
    };
    const Row rows[] = {
        {0, 0, 1, {}},
        {100, 0, 2, {100, 0, 200, 18}},   // the last 99 columns belong to no pattern
        {100, 10, 2, {110, 0, 210, 18}},  // (299 + 10) div 110
        {150, 0, 1, {}},
        {300, 0, 0, {}},                  // wider than the picture
        {100, -100, 0, {}},               // a step of 0 gives nothing, not a division by zero
    };
    TPictureCollectionItem* item = AddItem("progbar", MakePicture(299, 18, 4, [](int x, int) { return x % 16; }));
    for (const Row& row : rows) {
        item->PatternWidth = row.patternWidth;
        item->SkipWidth = row.skipWidth;
        EXPECT_EQ(item->PatternCount(), row.count) << row.patternWidth << "/" << row.skipWidth;
        if (row.count >= 2) {
            EXPECT_EQ(item->PatternRectInPicture(0), (TRect{0, 0, row.patternWidth, 18}));
            EXPECT_EQ(item->PatternRectInPicture(1), row.second);
        }
    }
}

TEST_F(ImageListTest, OnePatternOneSurfaceForEveryCatalogueShape) {
    TPictureCollectionItem* bg = AddItem("bg", MakePicture(571, 306, 4, [](int, int) { return 3; }));
    TPictureCollectionItem* lake = AddItem("lake", MakePicture(128, 128, 8, [](int x, int) { return x; }));
    bg->SystemMemory = true;
    lake->SystemMemory = false;
    Start();
    for (TPictureCollectionItem* item : {bg, lake}) {
        ASSERT_EQ(item->NumPatterns(), 1);
        ASSERT_EQ(item->Surfaces().size(), 1u);
        EXPECT_EQ(item->Pattern(0).Rect, (TRect{0, 0, item->Picture().Width(), item->Picture().Height()}));
        EXPECT_EQ(item->SurfaceOfPattern(0), item->Surfaces()[0].get());
        EXPECT_EQ(item->SurfaceOfPattern(1), nullptr);
    }
    EXPECT_EQ(lake->SurfaceOfPattern(0)->Pixel(77, 5), RawOf(77));
}

TEST_F(ImageListTest, SeveralPatternsInSystemMemoryShareOneSurface) {
    TPictureCollectionItem* strip = AddItem("progbar", MakePicture(299, 18, 8, [](int x, int) { return x / 100; }));
    strip->PatternWidth = 100;
    strip->SystemMemory = true;
    Start();
    ASSERT_EQ(strip->NumPatterns(), 2);
    ASSERT_EQ(strip->Surfaces().size(), 1u);
    EXPECT_EQ(strip->Pattern(1).Rect, (TRect{100, 0, 200, 18}));
    auto target = Target(100, 18, 0);
    strip->Transparent = false;
    strip->Draw(target.get(), 0, 0, 1);
    EXPECT_EQ(target->Pixel(50, 9), RawOf(1));
}

TEST_F(ImageListTest, VideoMemoryPatternsAreCutIntoTilesOfAbout512Pixels) {
    // 12 patterns of 100 x 40 in a 1250-pixel strip: tiles of 600 (six
    // steps), the last one only 50 wide; pattern 7 lies in tile 1.
    TPictureCollectionItem* strip = AddItem("strip", MakePicture(1250, 40, 8, [](int x, int) { return x / 100; }));
    strip->PatternWidth = 100;
    strip->SystemMemory = false;
    Start();
    ASSERT_EQ(strip->NumPatterns(), 12);
    ASSERT_EQ(strip->Surfaces().size(), 3u);
    EXPECT_EQ(strip->Surfaces()[0]->Width(), 600);
    EXPECT_EQ(strip->Surfaces()[1]->Width(), 600);
    EXPECT_EQ(strip->Surfaces()[2]->Width(), 50);
    EXPECT_EQ(strip->Surfaces()[0]->Height(), 40);
    EXPECT_EQ(strip->SurfaceOfPattern(7), strip->Surfaces()[1].get());
    EXPECT_EQ(strip->Pattern(7).Rect, (TRect{100, 0, 200, 40}));

    auto target = Target(100, 40, 0);
    strip->Transparent = false;
    for (int pattern : {0, 5, 6, 11}) {
        strip->Draw(target.get(), 0, 0, pattern);
        EXPECT_EQ(target->Pixel(99, 39), RawOf(pattern)) << pattern;
    }
}

TEST_F(ImageListTest, TilesAlsoSplitTallPictures) {
    // 64 x 64 patterns, 2 x 20 of them: tiles 128 wide (the whole width) and
    // 512 high (8 rows of 64), the last one 256.
    TPictureCollectionItem* sheet =
        AddItem("sheet", MakePicture(128, 1280, 8, [](int x, int y) { return (y / 64) * 2 + x / 64; }));
    sheet->PatternWidth = 64;
    sheet->PatternHeight = 64;
    Start();
    ASSERT_EQ(sheet->NumPatterns(), 40);
    ASSERT_EQ(sheet->Surfaces().size(), 3u);
    EXPECT_EQ(sheet->Surfaces()[0]->Height(), 512);
    EXPECT_EQ(sheet->Surfaces()[0]->Width(), 128);
    EXPECT_EQ(sheet->Surfaces()[2]->Height(), 256);
    EXPECT_EQ(sheet->SurfaceOfPattern(19), sheet->Surfaces()[1].get());  // row 9, y = 576
    EXPECT_EQ(sheet->Pattern(19).Rect, (TRect{64, 64, 128, 128}));
    auto target = Target(64, 64, 0);
    sheet->Transparent = false;
    sheet->Draw(target.get(), 0, 0, 39);
    EXPECT_EQ(target->Pixel(10, 10), RawOf(39));
}

TEST_F(ImageListTest, DrawOnlyWhatExists) {
    TPictureCollectionItem* star = AddItem("star", MakePicture(1, 1, 8, [](int, int) { return 200; }));
    TPictureCollectionItem* empty = list->Items().Add();
    empty->SetName("empty");
    star->Transparent = false;
    Start();
    auto target = Target(4, 4, 0x123456);

    list->Items().Finalize();
    star->Draw(target.get(), 1, 1, 0);  // not initialised
    EXPECT_EQ(target->Pixel(1, 1), 0x123456u);
    list->Items().Initialize(dx);
    star->Draw(target.get(), 1, 1, 0);  // initialised, but no surfaces before a restore
    EXPECT_EQ(target->Pixel(1, 1), 0x123456u);
    list->Items().Restore();
    star->Draw(target.get(), 1, 1, 1);  // no such pattern
    star->Draw(target.get(), 1, 1, -1);
    EXPECT_EQ(target->Pixel(1, 1), 0x123456u);
    star->Draw(target.get(), 1, 1, 0);
    EXPECT_EQ(target->Pixel(1, 1), RawOf(200));

    EXPECT_TRUE(empty->Surfaces().empty());
    EXPECT_EQ(empty->SurfaceOfPattern(0), nullptr);
    empty->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0x123456u);
}

TEST_F(ImageListTest, TransparencyUsesTheKeyThatStaysSet) {
    // Black (index 0 here is (0, 255, 7), so use a table entry that is black).
    auto picture = MakePicture(4, 1, 8, [](int x, int) { return x == 0 ? 9 : 100; });
    picture->ColorTable[9] = Rgb(0, 0, 0);
    picture->ApplyColorTable();
    TPictureCollectionItem* bg = AddItem("bg", std::move(picture));
    Start();
    auto target = Target(4, 1, 0x00ABCDEF);
    bg->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0x00ABCDEFu);  // black lets the target show
    EXPECT_EQ(target->Pixel(1, 0), RawOf(100));

    bg->Transparent = false;  // as during an extraction run
    bg->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0u);
    bg->Transparent = true;
    target->Fill(0x00ABCDEF);
    bg->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0x00ABCDEFu);
}

TEST_F(ImageListTest, NewTransparentColorReKeysTheSurfaces) {
    TPictureCollectionItem* item = AddItem("duskwing", MakePicture(2, 1, 8, [](int x, int) { return x == 0 ? 40 : 41; }));
    Start();
    const TColor colour40 = 40 | (215 << 8) | (7 << 16);  // red 40, green 215, blue 7
    item->SetTransparentColor(colour40);
    EXPECT_EQ(item->TransparentColor(), colour40);
    auto target = Target(2, 1, 0x00111111);
    item->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0x00111111u);
    EXPECT_EQ(target->Pixel(1, 0), RawOf(41));
    // The key also survives a restore: surfaces are keyed when made.
    dx->Restore();
    target->Fill(0x00111111);
    item->Draw(target.get(), 0, 0, 0);
    EXPECT_EQ(target->Pixel(0, 0), 0x00111111u);
}

TEST_F(ImageListTest, FollowsTheDrawingSurfacesLifeCycle) {
    TPictureCollectionItem* item = AddItem("bg", MakePicture(8, 8, 8, [](int, int) { return 1; }));
    Start();
    EXPECT_EQ(list->Items().DXDraw(), dx);
    EXPECT_TRUE(item->Initialized());
    EXPECT_EQ(item->Surfaces().size(), 1u);

    dx->Finalize();
    EXPECT_FALSE(item->Initialized());
    EXPECT_TRUE(item->Surfaces().empty());
    EXPECT_EQ(list->Items().DXDraw(), nullptr);

    dx->Initialize();
    EXPECT_EQ(item->Surfaces().size(), 1u);

    // Leaving the surface drops the surfaces at once.
    list->SetDXDraw(nullptr);
    EXPECT_TRUE(item->Surfaces().empty());
    list->SetDXDraw(dx);  // joining an initialised surface makes them again
    EXPECT_EQ(item->Surfaces().size(), 1u);

    delete dx;
    dx = nullptr;
    EXPECT_EQ(list->DXDraw(), nullptr);
}

TEST_F(ImageListTest, InitialisingForASurfaceThatIsNotReadyFails) {
    try {
        list->Items().Initialize(dx);  // loaded but not initialised
        FAIL();
    } catch (const EPictureCollectionError& error) {
        EXPECT_EQ(error.Message(), "TPictureCollection cannot be initialized");
    }
    EXPECT_THROW(list->Items().Initialize(nullptr), EPictureCollectionError);
}

TEST(ColorTable, NoItemsGiveTheSixteenFixedColours) {
    TPictureCollection collection;
    collection.BuildColorTable();
    TColorTable expected{};
    for (const auto& [slot, colour] : TPictureCollection::FixedColors()) expected[std::size_t(slot)] = colour;
    EXPECT_EQ(collection.ColorTable(), expected);
    EXPECT_EQ(collection.ColorTable()[1], Rgb(128, 0, 0));
    EXPECT_EQ(collection.ColorTable()[252], Rgb(0, 0, 255));
    EXPECT_EQ(collection.ColorTable()[8], TRGBQuad{});
}

TEST(ColorTable, OnlyColoursThatPixelsUseAreAdded) {
    TPictureCollection collection;
    auto dib = MakePicture(16, 4, 4, [](int x, int) { return x < 8 ? 0 : 5; });
    collection.Add()->SetPicture(dib.get());
    collection.BuildColorTable();
    EXPECT_EQ(collection.ColorTable()[8], Rgb(0, 255, 7));
    EXPECT_EQ(collection.ColorTable()[9], Rgb(5, 250, 7));
    for (int slot = 10; slot < 248; ++slot) EXPECT_EQ(collection.ColorTable()[std::size_t(slot)], TRGBQuad{}) << slot;
}

TEST(ColorTable, FixedColoursAreReusedAndTheTableFillsAroundThem) {
    TPictureCollection collection;
    // 200 distinct colours, then 200 more: 240 free slots take the first 240.
    for (int picture = 0; picture < 2; ++picture) {
        auto dib = MakePicture(200, 1, 8, [](int x, int) { return x; });
        for (int i = 0; i < 200; ++i) dib->ColorTable[std::size_t(i)] = Rgb(picture, i, 1);
        dib->ColorTable[0] = Rgb(255, 255, 255);  // a fixed colour: reuses slot 255
        dib->ApplyColorTable();
        collection.Add()->SetPicture(dib.get());
    }
    collection.BuildColorTable();
    const TColorTable& table = collection.ColorTable();
    EXPECT_EQ(table[8], Rgb(0, 1, 1));
    EXPECT_EQ(table[206], Rgb(0, 199, 1));
    EXPECT_EQ(table[207], Rgb(1, 1, 1));     // the second picture continues
    EXPECT_EQ(table[247], Rgb(1, 41, 1));    // the last free slot
    EXPECT_EQ(table[248], Rgb(128, 128, 128));
    EXPECT_EQ(table[255], Rgb(255, 255, 255));
}

TEST(ColorTable, StoredPropertyIsTheWholeTable) {
    TPictureCollection collection;
    collection.BuildColorTable();
    TMemoryStream stream;
    collection.WriteColorTable(stream);
    ASSERT_EQ(stream.Size(), 1024u);
    EXPECT_EQ(stream.Data()[252 * 4], 255);  // blue of slot 252

    TPictureCollection other;
    stream.SetPosition(0);
    other.ReadColorTable(stream);
    EXPECT_EQ(other.ColorTable(), collection.ColorTable());

    TMemoryStream shortStream(std::vector<std::uint8_t>(1000, 1));
    EXPECT_THROW(other.ReadColorTable(shortStream), EReadError);
    EXPECT_EQ(other.ColorTable(), collection.ColorTable());  // unchanged
}
