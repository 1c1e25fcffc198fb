// The JPEG picture: encode and decode, stored form, damaged data.
#include "DIBHelpers.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/JpegImage.h"
#include "toolkit/Picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    return image;
}

TEST(JpegImage, EncodedPicturesDecodeCloseToTheOriginal) {
    const QImage original = Gradient(40, 24);
    for (bool grey : {false, true}) {
        TJPEGImage jpeg;
        jpeg.SetGrayscale(grey);
        jpeg.SetCompressionQuality(95);
        jpeg.SetImage(original);
        ASSERT_GT(jpeg.Data().size(), 100u);
        const QImage decoded = TJPEGImage::Decode(jpeg.Data().data(), jpeg.Data().size());
        ASSERT_EQ(decoded.size(), original.size());
        int worst = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) {
                const QRgb a = original.pixel(x, y), b = decoded.pixel(x, y);
                const int expected = grey ? qGray(a) : qRed(a);
                worst = std::max({worst, std::abs(expected - qRed(b)), grey ? 0 : std::abs(qGreen(a) - qGreen(b))});
            }
        EXPECT_LE(worst, 8) << (grey ? "grey" : "colour");
    }
}

TEST(JpegImage, StoredFormRoundTripsThroughTheContainer) {
    TJPEGImage jpeg;
    jpeg.SetImage(Gradient(16, 16));
    TPicture picture;
    picture.Assign(&jpeg);
    TMemoryStream data;
    picture.WriteData(data);
    EXPECT_EQ(data.Data()[0], 10);  // "TJPEGImage"
    EXPECT_EQ(Get32(data.Data(), 11), jpeg.Data().size());
    data.SetPosition(0);
    TPicture back;
    back.ReadData(data);
    ASSERT_STREQ(back.Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(static_cast<TJPEGImage*>(back.Graphic())->Data(), jpeg.Data());
    EXPECT_EQ(back.Width(), 16);
}

// A picture of one kind assigned from another takes over its pixels; an
// empty source leaves an empty picture.
TEST(JpegImage, AssignsFromAndToAnotherKindOfPicture) {
    const QImage original = Gradient(32, 20);
    TBitmap bitmap;
    bitmap.SetImage(original);
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(95);
    jpeg.AssignFrom(&bitmap);
    ASSERT_EQ(jpeg.Width(), 32);
    ASSERT_EQ(jpeg.Height(), 20);
    TBitmap back;
    back.AssignFrom(&jpeg);
    ASSERT_EQ(back.Image().size(), original.size());
    int worst = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 32; ++x)
            worst = std::max(worst, std::abs(qGreen(original.pixel(x, y)) - qGreen(back.Image().pixel(x, y))));
    EXPECT_LE(worst, 8);

    TBitmap empty;
    jpeg.AssignFrom(&empty);
    EXPECT_TRUE(jpeg.Empty());
    back.AssignFrom(&jpeg);
    EXPECT_TRUE(back.Empty());
}

TEST(JpegImage, DamagedDataIsAnErrorNotAPicture) {
    TJPEGImage jpeg;
    jpeg.SetImage(Gradient(64, 64));
    const Bytes good = jpeg.Data();
    // A few bytes of picture data after the scan header, closed by an
    // end-of-image marker: the decoder would fill the rest of the declared
    // picture with grey (a tiny file could make a huge picture that way).
    Bytes closedEarly;
    for (std::size_t i = 0; i + 3 < good.size(); ++i)
        if (good[i] == 0xFF && good[i + 1] == 0xDA) {  // start of scan: its length follows
            const std::size_t dataStart = i + 2 + (std::size_t(good[i + 2]) << 8 | good[i + 3]);
            closedEarly.assign(good.begin(), good.begin() + static_cast<long>(dataStart + 3));
            break;
        }
    ASSERT_FALSE(closedEarly.empty());
    closedEarly.push_back(0xFF);
    closedEarly.push_back(0xD9);
    const Bytes cases[] = {
        Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)),  // ends early
        closedEarly,
        Bytes{0xFF, 0xD8, 0xFF},
        Bytes(200, 0x55),
    };
    for (const Bytes& bad : cases) {
        TJPEGImage target;
        EXPECT_THROW(target.LoadFromData(bad.data(), bad.size()), EInvalidGraphic) << bad.size();
        EXPECT_TRUE(target.Empty());
    }
    // A header that claims more pixels than we decode.
    Bytes huge = good;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {  // start of frame: height, width follow
            huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
            break;
        }
    TJPEGImage target;
    EXPECT_THROW(target.LoadFromData(huge.data(), huge.size()), EInvalidGraphic);
}

TEST(JpegImage, FilesOfOtherColourSpacesAndProgressiveScans) {
    struct Case {
        const char* file;
        int width, height;
        QRgb at00;
        int tolerance;
    };
    const Case cases[] = {
        {"cmyk.jpg", 16, 16, qRgb(0, 255, 255), 6},
        {"gray.jpg", 17, 9, qRgb(255, 255, 255), 6},
        {"progressive.jpg", 20, 20, 0, -1},
    };
    for (const Case& c : cases) {
        TPicture picture;
        picture.LoadFromFile(std::filesystem::path(DIB_TEST_DATA_DIR) / c.file);
        auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic());
        ASSERT_NE(jpeg, nullptr) << c.file;
        EXPECT_EQ(jpeg->Width(), c.width);
        EXPECT_EQ(jpeg->Height(), c.height);
        if (c.tolerance < 0)
            continue;
        const QRgb p = jpeg->Image().pixel(0, 0);
        EXPECT_NEAR(qRed(p), qRed(c.at00), c.tolerance) << c.file;
        EXPECT_NEAR(qGreen(p), qGreen(c.at00), c.tolerance) << c.file;
        EXPECT_NEAR(qBlue(p), qBlue(c.at00), c.tolerance) << c.file;
    }
}

}  // namespace
