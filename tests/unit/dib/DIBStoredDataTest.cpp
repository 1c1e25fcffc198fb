// The stored data and bitmap file forms: layouts, byte counts, malformed and
// short input, hostile sizes.
#include "DIBHelpers.h"

#include "toolkit/Exceptions.h"
#include "toolkit/Picture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "<no error>";
}

class EveryDepth : public ::testing::TestWithParam<int> {};

TEST_P(EveryDepth, WrittenThenReadGivesTheSamePicture) {
    const int bits = GetParam();
    TDIB original;
    for (int i = 0; i < 256; ++i)
        original.ColorTable[i] = TRGBQuad{static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                                          static_cast<std::uint8_t>(i * 3), 0};
    original.Allocate(13, 7, bits);
    FillPattern(original, static_cast<std::uint32_t>(bits));

    const Bytes stored = StoredOf(original);
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(original.InfoSize() + original.ImageBytes()));
    EXPECT_EQ(static_cast<std::int32_t>(Get32(stored, 8)), 7);  // height written positive

    TDIB copy;
    ReadStoredFrom(copy, stored);
    ASSERT_EQ(copy.Width(), 13);
    ASSERT_EQ(copy.Height(), 7);
    ASSERT_EQ(copy.BitCount(), bits);
    EXPECT_TRUE(copy.ChannelFormat().SameMasks(original.ChannelFormat()));
    for (int i = 0; i < original.ColorCount(); ++i)
        EXPECT_EQ(copy.ColorTable[i], original.ColorTable[i]) << "entry " << i;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(copy.GetPixel(x, y), original.GetPixel(x, y)) << x << "," << y;
    EXPECT_EQ(StoredOf(copy), stored);
}

INSTANTIATE_TEST_SUITE_P(Depths, EveryDepth, ::testing::Values(1, 4, 8, 16, 24, 32));

struct SizeCase {
    int width, height, bits;
    int rowBytes, infoSize;
    std::size_t storedBytes;
};

TEST(DIBSizes, PicturesOfTheCatalogueHaveTheirExactByteCounts) {
    const SizeCase cases[] = {
        {571, 306, 4, 288, 104, 88232}, {130, 44, 8, 132, 1064, 6872},
        {50, 13, 8, 52, 1064, 1064 + 52 * 13}, {299, 18, 4, 152, 104, 104 + 152 * 18},
        {128, 128, 8, 128, 1064, 17448}, {1, 1, 8, 4, 1064, 1068},
        {3, 1, 1, 4, 48, 52}, {5, 2, 24, 16, 40, 72}, {5, 2, 16, 12, 52, 76}, {5, 2, 32, 20, 52, 92},
    };
    for (const SizeCase& c : cases) {
        TDIB dib;
        dib.Allocate(c.width, c.height, c.bits);
        EXPECT_EQ(dib.RowBytes(), c.rowBytes) << c.width << "x" << c.height << "@" << c.bits;
        EXPECT_EQ(dib.InfoSize(), c.infoSize);
        EXPECT_EQ(StoredOf(dib).size(), c.storedBytes);
        TPicture picture;
        picture.SetGraphic(std::make_unique<TDIB>());
        picture.Graphic()->AssignFrom(&dib);
        TMemoryStream data;
        picture.WriteData(data);
        EXPECT_EQ(data.Size(), c.storedBytes + 5);
    }
    TDIB rgb;
    rgb.Allocate(571, 306, 4);
    EXPECT_EQ(rgb.ImageBytes(), 88128);
}

TEST(DIBSizes, BitmapFileOfA128SquarePictureIs17462Bytes) {
    TDIB dib;
    dib.Allocate(128, 128, 8);
    const Bytes file = BitmapFileOf(dib);
    ASSERT_EQ(file.size(), 17462u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Get32(file, 2), 17462u);
    EXPECT_EQ(Get32(file, 6), 0u);
    EXPECT_EQ(Get32(file, 10), 1078u);
    TDIB back;
    TMemoryStream stream(file);
    back.ReadBitmapFile(stream);
    EXPECT_EQ(back.Width(), 128);
    EXPECT_EQ(back.BitCount(), 8);
}

TEST(DIBHeaders, SixteenBitPicturesCarryMasksAndTwentyFourBitNoTable) {
    TDIB dib;
    dib.WantedChannelFormat = TDIBChannelFormat::FromCounts(5, 5, 5);
    dib.Allocate(4, 4, 16);
    const Bytes stored = StoredOf(dib);
    EXPECT_EQ(Get32(stored, 16), 3u);
    EXPECT_EQ(Get32(stored, 40), 0x7C00u);
    EXPECT_EQ(Get32(stored, 44), 0x3E0u);
    EXPECT_EQ(Get32(stored, 48), 0x1Fu);
    dib.Allocate(4, 4, 24);
    EXPECT_EQ(dib.InfoSize(), 40);
    EXPECT_EQ(dib.PaletteHandle(), nullptr);
}

TEST(DIBHeaders, CoreHeaderWithThreeByteColourEntries) {
    Bytes b;
    Put32(b, 12);
    Put16(b, 3);  // width
    Put16(b, 2);  // height
    Put16(b, 1);
    Put16(b, 4);
    for (int i = 0; i < 16; ++i) {  // blue, green, red
        b.push_back(static_cast<std::uint8_t>(i));
        b.push_back(static_cast<std::uint8_t>(i * 2));
        b.push_back(static_cast<std::uint8_t>(i * 3));
    }
    Append(b, {0x12, 0x30, 0, 0});  // bottom row: 1, 2, 3
    Append(b, {0xAB, 0xC0, 0, 0});  // top row: 10, 11, 12
    TDIB dib;
    ReadStoredFrom(dib, b);
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.BitCount(), 4);
    EXPECT_EQ(dib.ColorTable[5], (TRGBQuad{5, 10, 15, 0}));
    EXPECT_EQ(dib.ColorTable[16], TRGBQuad{});
    EXPECT_EQ(dib.GetPixel(0, 0), 10u);
    EXPECT_EQ(dib.GetPixel(2, 0), 12u);
    EXPECT_EQ(dib.GetPixel(1, 1), 2u);
    EXPECT_EQ(Get32(StoredOf(dib), 0), 40u);  // never written in the core form
}

TEST(DIBHeaders, TopDownRowsComeBackBottomUp) {
    Bytes b = InfoHeader(1, -3, 8);
    AppendFill(b, 1024, 0);
    for (std::uint8_t row : {7, 8, 9}) Append(b, {row, 0, 0, 0});
    TDIB dib;
    ReadStoredFrom(dib, b);
    ASSERT_EQ(dib.Height(), 3);
    EXPECT_EQ(dib.GetPixel(0, 0), 7u);
    EXPECT_EQ(dib.GetPixel(0, 2), 9u);
    const Bytes stored = StoredOf(dib);
    EXPECT_EQ(Get32(stored, 8), 3u);
    EXPECT_EQ(stored[1064], 9);  // bottom row first
}

TEST(DIBHeaders, ColoursUsedDecidesHowMuchTableIsRead) {
    {
        Bytes b = InfoHeader(1, 1, 8, 0, 2);
        Append(b, {1, 2, 3, 0, 4, 5, 6, 0});
        Append(b, {1, 0, 0, 0});
        TDIB dib;
        ReadStoredFrom(dib, b);
        EXPECT_EQ(dib.ColorTable[1], (TRGBQuad{4, 5, 6, 0}));
        EXPECT_EQ(dib.ColorTable[2], TRGBQuad{});
        EXPECT_EQ(dib.ColorTable[255], TRGBQuad{});
        EXPECT_EQ(dib.GetPixel(0, 0), 1u);
    }
    {
        Bytes b = InfoHeader(1, 1, 8, 0, 300);
        AppendFill(b, 1024, 0x11);
        Append(b, {0x42, 0, 0, 0});
        TDIB dib;
        ReadStoredFrom(dib, b);
        EXPECT_EQ(dib.GetPixel(0, 0), 0x42u);  // only 256 entries were consumed
    }
    {
        Bytes b = InfoHeader(0, 5, 8, 0, 1);
        Append(b, {9, 9, 9, 0});
        TDIB dib;
        TMemoryStream stream(b);
        dib.ReadStored(stream);
        EXPECT_TRUE(dib.Empty());
        EXPECT_EQ(dib.ColorTable[0], (TRGBQuad{9, 9, 9, 0}));
        EXPECT_EQ(stream.BytesLeft(), 0u);
    }
}

TEST(DIBInvalid, MalformedHeadersAreRefusedWithTheirMessages) {
    for (std::uint32_t headerSize : {0u, 108u, 124u, 64u}) {
        Bytes b;
        Put32(b, headerSize);
        AppendFill(b, 200, 0);
        TDIB dib;
        EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { ReadStoredFrom(dib, b); }), "DIB is invalid")
            << headerSize;
    }
    for (std::size_t length : {1u, 2u, 3u}) {
        TDIB dib;
        EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { ReadStoredFrom(dib, Bytes(length, 40)); }),
                  "DIB is invalid");
    }
    for (int bits : {2, 15, 0, 64}) {
        TDIB dib;
        dib.Allocate(2, 2, 8);
        const auto* before = dib.Image();
        Bytes b = InfoHeader(4, 4, bits);
        AppendFill(b, 4096, 0);
        EXPECT_EQ(MessageOf<EInvalidOperation>([&] { ReadStoredFrom(dib, b); }),
                  "Bitcount in invalid (" + std::to_string(bits) + ")");
        EXPECT_EQ(dib.Image(), before);  // the previous storage stays
    }
}

TEST(DIBInvalid, RunLengthCompressionIsRefusedAfterSizeAndTableWereTaken) {
    for (std::uint32_t compression : {1u, 2u, 4u}) {
        Bytes b = InfoHeader(6, 3, compression == 2 ? 4 : 8, compression, 1);
        Append(b, {1, 2, 3, 0});
        AppendFill(b, 64, 0);
        TDIB dib;
        EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { ReadStoredFrom(dib, b); }), "DIB is invalid");
        EXPECT_EQ(dib.Width(), 6);
        EXPECT_EQ(dib.ColorTable[0], (TRGBQuad{1, 2, 3, 0}));
    }
}

TEST(DIBInvalid, BitmapFileHeaderMustBeCompleteAndSayBM) {
    TDIB dib;
    dib.Allocate(2, 2, 8);
    const auto* before = dib.Image();
    TMemoryStream nothing;
    dib.ReadBitmapFile(nothing);
    EXPECT_EQ(dib.Image(), before);  // 0 bytes: unchanged
    for (const Bytes& bad : {Bytes{'B', 'M', 0, 0}, Bytes(14, 'X'), Bytes{'M', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        TMemoryStream stream(bad);
        EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { dib.ReadBitmapFile(stream); }), "DIB is invalid");
    }
}

TEST(DIBEmpty, EmptyWritesNothingAndReadsBackEmpty) {
    TDIB dib;
    EXPECT_TRUE(StoredOf(dib).empty());
    EXPECT_TRUE(BitmapFileOf(dib).empty());
    dib.Allocate(3, 3, 8);
    ReadStoredFrom(dib, {});
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(dib.Width(), 0);
}

TEST(DIBShortStreams, EndInsideAFixedPartIsAStreamReadErrorAndRowsReadStay) {
    Bytes full = InfoHeader(4, 3, 8);
    AppendFill(full, 1024, 0);
    for (std::uint8_t row : {1, 2, 3}) AppendFill(full, 4, row);  // bottom row first
    const std::size_t cuts[] = {10, 40, 500, 1064, 1064 + 4 + 2};
    for (std::size_t cut : cuts) {
        TDIB dib;
        EXPECT_EQ(MessageOf<EReadError>([&] { ReadStoredFrom(dib, Bytes(full.begin(), full.begin() + cut)); }),
                  "Stream read error")
            << cut;
        if (cut > 1068) {
            EXPECT_EQ(dib.GetPixel(0, 2), 1u);  // the bottom row was read
        }
    }
    Bytes masks = InfoHeader(2, 2, 16, 3);
    Put32(masks, 0x7C00);
    TDIB dib;
    EXPECT_EQ(MessageOf<EReadError>([&] { ReadStoredFrom(dib, masks); }), "Stream read error");
}

TEST(DIBHostile, HugeDeclaredSizesNeverReachAnAllocation) {
    // Rows that the stream cannot hold: refused before storage is made.
    TDIB dib;
    EXPECT_EQ(MessageOf<EReadError>([&] { ReadStoredFrom(dib, InfoHeader(30000, 30000, 32)); }),
              "Stream read error");
    EXPECT_EQ(MessageOf<EReadError>([&] { ReadStoredFrom(dib, InfoHeader(100000, -100000, 24)); }),
              "Stream read error");
    // Larger than any section we make, whatever the stream holds.
    EXPECT_EQ(MessageOf<EOutOfResources>([&] { ReadStoredFrom(dib, InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32, 1)); }),
              "DIB cannot be made");
    EXPECT_EQ(MessageOf<EOutOfResources>([&] { dib.Allocate(70000, 70000, 32); }), "DIB cannot be made");
    // The most negative height has no positive counterpart in 32 bits.
    EXPECT_EQ(MessageOf<EOutOfResources>([&] { ReadStoredFrom(dib, InfoHeader(1, INT32_MIN, 8)); }),
              "DIB cannot be made");
    EXPECT_TRUE(dib.Empty());
}

TEST(DIBProgress, ReportsEveryEighthRowWithPercentagesRoundedHalfToEven) {
    TDIB dib;
    dib.Allocate(2, 56, 8);
    struct Report {
        TProgressStage stage;
        int percent;
        bool redraw;
        TRect rect;
        std::string message;
    };
    std::vector<Report> reports;
    dib.OnProgress = [&](TGraphic&, TProgressStage stage, std::uint8_t percent, bool redraw,
                         const TRect& rect, const std::string& message) {
        reports.push_back({stage, percent, redraw, rect, message});
    };
    const Bytes stored = StoredOf(dib);
    ASSERT_EQ(reports.size(), 2u + 7u);
    EXPECT_EQ(reports.front().stage, TProgressStage::psStarting);
    EXPECT_EQ(reports[1].percent, 12);  // 7 / 56 = 12.5 %: halves go to the even neighbour
    EXPECT_EQ(reports[2].percent, 27);  // 15 / 56 = 26.8 %
    EXPECT_EQ(reports[1].message, "Storing");
    EXPECT_FALSE(reports[1].redraw);
    EXPECT_EQ(reports.back().stage, TProgressStage::psEnding);

    reports.clear();
    ReadStoredFrom(dib, stored);
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[1].message, "Loading");
    EXPECT_TRUE(reports[1].redraw);
    EXPECT_EQ(reports[1].rect, (TRect{0, 7, 2, 8}));
}

}  // namespace
