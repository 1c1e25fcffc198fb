// The JPEG picture class, class name "TJPEGImage", on libjpeg(-turbo).
//
// It keeps the compressed bytes it was read from (and writes them back
// unchanged) next to the decoded pixels. A picture given new pixels is
// encoded at once with CompressionQuality. Its stored form is a 32-bit
// little-endian byte count followed by the JPEG data; its file form is the
// JPEG data alone. Registered under "jpg" and "jpeg", "JPEG Image File".
//
// Decoding refuses pictures above kMaxPixels, progressive files with more
// than kMaxScans scans, and data that ends early, so a hostile file cannot
// make the decoder allocate or loop without bound.
#pragma once

#include "toolkit/Graphic.h"

#include <QImage>

#include <cstdint>
#include <vector>

class TJPEGImage : public TGraphic {
public:
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 24;
    static constexpr int kMaxScans = 256;
    static constexpr std::uint32_t kMaxDataBytes = 128u << 20;

    TJPEGImage();
    ~TJPEGImage() override;

    const char* ClassName() const override { return "TJPEGImage"; }

    bool Empty() const override { return image_.isNull(); }
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    void DrawTo(QPainter& canvas, const TRect& rect) override;

    void ReadStored(TStream& stream) override;
    void WriteStored(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

    void AssignFrom(const TPersistent* source) override;

    // 1 to 100; used when pixels are encoded.
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int quality);
    // Encode new pixels as one grey channel.
    bool Grayscale() const { return grayscale_; }
    void SetGrayscale(bool value) { grayscale_ = value; }

    // Decodes JPEG data (EInvalidGraphic on any error); replaces the picture.
    void LoadFromData(const std::uint8_t* data, std::size_t size);
    // Replaces the pixels and encodes them.
    void SetImage(const QImage& image);
    const QImage& Image() const { return image_; }
    const std::vector<std::uint8_t>& Data() const { return data_; }

    // The codec itself, usable without a picture object.
    static QImage Decode(const std::uint8_t* data, std::size_t size);
    static std::vector<std::uint8_t> Encode(const QImage& image, int quality, bool grayscale);

private:
    QImage image_;                     // Format_RGB32
    std::vector<std::uint8_t> data_;   // the compressed form of image_
    int quality_ = 90;
    bool grayscale_ = false;
};
