// The picture container: stored picture data by class name, file formats by
// extension, the device bitmap's stored form, the clipboard.
#include "DIBHelpers.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/Picture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

// The 1 x 1, 8-bit picture "star": one white pixel at index 19.
Bytes StarPictureData() {
    Bytes b = {4, 'T', 'D', 'I', 'B'};
    Append(b, InfoHeader(1, 1, 8));
    AppendFill(b, 1024, 0);
    for (int i = 0; i < 3; ++i) b[5 + 40 + 19 * 4 + i] = 0xFF;
    Append(b, {0x13, 0, 0, 0});
    return b;
}

TEST(PictureData, StarReadsByClassNameAndWritesBackTheSameBytes) {
    const Bytes star = StarPictureData();
    ASSERT_EQ(star.size(), 1073u);
    TPicture picture;
    TMemoryStream in(star);
    picture.ReadData(in);
    auto* dib = dynamic_cast<TDIB*>(picture.Graphic());
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->GetPixel(0, 0), 19u);
    EXPECT_EQ(dib->PixelColor(0, 0), 0xFFFFFFu);
    TMemoryStream out;
    picture.WriteData(out);
    EXPECT_EQ(out.Data(), star);
}

TEST(PictureData, UnknownClassLeavesNoPictureAndTheRestUnread) {
    Bytes b = {7, 'T', 'F', 'o', 'o', 'B', 'a', 'r'};
    AppendFill(b, 10, 0xEE);
    TPicture picture;
    TMemoryStream in(StarPictureData());
    picture.ReadData(in);
    TMemoryStream unknown(b);
    picture.ReadData(unknown);
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(unknown.Position(), 8u);
}

TEST(PictureData, AFailingReadKeepsThePictureThatWasThere) {
    TPicture picture;
    TMemoryStream good(StarPictureData());
    picture.ReadData(good);
    TGraphic* before = picture.Graphic();
    Bytes bad = {4, 'T', 'D', 'I', 'B'};
    Append(bad, InfoHeader(2, 2, 8));  // ends before its colour table
    TMemoryStream in(bad);
    EXPECT_THROW(picture.ReadData(in), EReadError);
    EXPECT_EQ(picture.Graphic(), before);
}

TEST(PictureData, DeviceBitmapStoredFormIsCountThenAWholeFile) {
    TDIB dib;
    dib.Allocate(5, 3, 8);
    FillPattern(dib);
    const Bytes file = BitmapFileOf(dib);

    Bytes data = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
    Put32(data, static_cast<std::uint32_t>(file.size()));
    Append(data, file);
    TPicture picture;
    TMemoryStream in(data);
    picture.ReadData(in);
    auto* bitmap = dynamic_cast<TBitmap*>(picture.Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), 5);
    EXPECT_EQ(bitmap->ObjectInfo().bitsPerPixel, 8);
    EXPECT_EQ(bitmap->Image().pixel(3, 1) & 0xFFFFFFu, dib.PixelColor(3, 1));
    TMemoryStream out;
    picture.WriteData(out);
    EXPECT_EQ(out.Data(), data);

    // A count larger than what follows is a short stream, not an allocation.
    Bytes lying = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
    Put32(lying, 0xFFFFFFF0u);
    TMemoryStream lie(lying);
    EXPECT_THROW(picture.ReadData(lie), EReadError);
    Bytes garbage = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
    Put32(garbage, 30);
    AppendFill(garbage, 30, 'B');
    TMemoryStream junk(garbage);
    EXPECT_THROW(picture.ReadData(junk), EInvalidGraphic);
}

TEST(PictureData, DeviceBitmapWhoseRowsAreNotInTheFileIsRefusedAtOnce) {
    // Found by the fuzzer: 82 bytes declaring 16 million x 2 pixels kept the
    // decoder busy for seconds. The first byte is the harness's selector.
    std::FILE* f = std::fopen(DIB_TEST_DATA_DIR "/regressions/tbitmap-short-rows-slow.bin", "rb");
    ASSERT_NE(f, nullptr);
    Bytes bytes(256);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    TMemoryStream in(Bytes(bytes.begin() + 1, bytes.end()));
    TPicture picture;
    EXPECT_THROW(picture.ReadData(in), EInvalidGraphic);
}

TEST(PictureFiles, FormatsAreFoundByExtensionWithTheirDescriptions) {
    const TPictureFileFormat* dib = TPicture::FindFileFormat("DIB");
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->description, "Device Independent Bitmap");
    EXPECT_EQ(dib->className, "TDIB");
    for (const char* ext : {"jpg", "jpeg"}) {
        const TPictureFileFormat* jpeg = TPicture::FindFileFormat(ext);
        ASSERT_NE(jpeg, nullptr);
        EXPECT_EQ(jpeg->description, "JPEG Image File");
    }

    const auto dir = std::filesystem::temp_directory_path() / "dib_tests_files";
    std::filesystem::create_directories(dir);
    TDIB source;
    source.Allocate(6, 4, 24);
    FillPattern(source);
    source.SaveToFile(dir / "p.dib");
    TPicture picture;
    picture.LoadFromFile(dir / "p.dib");
    ASSERT_STREQ(picture.Graphic()->ClassName(), "TDIB");
    EXPECT_TRUE(picture.Graphic()->Equals(source));
    try {
        picture.LoadFromFile(dir / "p.xyz");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "Unknown picture file extension (.xyz)");
    }
    try {
        picture.LoadFromFile(dir / "missing.dib");
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find("Cannot open file"), std::string::npos);
    }
    std::filesystem::remove_all(dir);
}

TEST(PictureClipboard, DIBTravelsAsItsStoredData) {
    TDIB dib;
    dib.Allocate(7, 3, 4);
    FillPattern(dib);
    std::uint16_t format = 0;
    Bytes data;
    const TLogicalPalette* palette = reinterpret_cast<const TLogicalPalette*>(1);
    dib.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, CF_DIB);
    EXPECT_EQ(palette, nullptr);
    EXPECT_EQ(data, StoredOf(dib));

    TPicture picture;
    picture.Assign(&dib);
    picture.CopyToClipboard();
    EXPECT_TRUE(TPicture::ClipboardHasFormat(CF_DIB));
    TPicture pasted;
    pasted.PasteFromClipboard();
    ASSERT_NE(pasted.Graphic(), nullptr);
    EXPECT_TRUE(pasted.Graphic()->Equals(dib));
}

}  // namespace
