#include "toolkit/JpegImage.h"

#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <QPainter>

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// Ours records the library's message and jumps back to the call that set up
// the decoder or encoder; that call destroys the libjpeg object and throws.
// Nothing with a destructor lives between the setjmp and the jump: all
// C++ objects are made before setjmp or in the caller.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings are quiet, except that data ending early is an error, whether
// the file just stops or a marker cuts the picture data short: the rest
// would otherwise decode as a grey picture of the declared size, and a few
// hundred bytes could declare millions of pixels.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER))
        OnError(cinfo);
}

void Quiet(j_common_ptr) {}

// Progressive files can carry an unbounded number of scans; stop early.
void OnJpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > TJPEGImage::kMaxScans) {
        auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(errors->message, sizeof errors->message, "Too many scans (more than %d)",
                      TJPEGImage::kMaxScans);
        std::longjmp(errors->jump, 1);
    }
}

void InstallErrorManager(ErrorManager& errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnError;
    errors.pub.emit_message = OnMessage;
    errors.pub.output_message = Quiet;
    errors.message[0] = '\0';
}

[[noreturn]] void ThrowJpegError(const char* message) {
    throw EInvalidGraphic(std::string("JPEG error: ") + message);
}

struct DecodeTarget {
    QImage image;
    std::vector<JSAMPLE> row;
};

// The libjpeg part of decoding; returns false after a libjpeg error (message
// in `errors`). `target` is made by the caller.
bool DecodeInto(const std::uint8_t* data, std::size_t size, ErrorManager& errors,
                jpeg_decompress_struct& cinfo, jpeg_progress_mgr& progress, DecodeTarget& target,
                bool& tooLarge) {
    if (setjmp(errors.jump) != 0)
        return false;
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    cinfo.mem->max_memory_to_use = 512L << 20;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<std::int64_t>(cinfo.image_width) * cinfo.image_height >
        TJPEGImage::kMaxPixels) {
        tooLarge = true;
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    const int channels = cinfo.output_components;
    target.image = QImage(width, height, QImage::Format_RGB32);
    if (target.image.isNull()) {
        tooLarge = true;
        return false;
    }
    target.row.resize(static_cast<std::size_t>(width) * channels);
    const bool inverted = cmyk && cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {target.row.data()};
        const int y = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            continue;
        auto* out = reinterpret_cast<QRgb*>(target.image.scanLine(y));
        const JSAMPLE* in = target.row.data();
        if (cmyk) {
            for (int x = 0; x < width; ++x, in += 4) {
                int c = in[0], m = in[1], yy = in[2], k = in[3];
                if (!inverted) {
                    c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k;
                }
                out[x] = qRgb(c * k / 255, m * k / 255, yy * k / 255);
            }
        } else {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[0], in[1], in[2]);
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

bool EncodeInto(const QImage& rgb, int quality, bool grayscale, ErrorManager& errors,
                jpeg_compress_struct& cinfo, unsigned char*& buffer, unsigned long& bufferSize,
                std::vector<JSAMPLE>& row) {
    if (setjmp(errors.jump) != 0)
        return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &bufferSize);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = grayscale ? 1 : 3;
    cinfo.in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        JSAMPLE* out = row.data();
        for (int x = 0; x < rgb.width(); ++x) {
            if (grayscale) {
                *out++ = static_cast<JSAMPLE>(qGray(in[x]));
            } else {
                *out++ = static_cast<JSAMPLE>(qRed(in[x]));
                *out++ = static_cast<JSAMPLE>(qGreen(in[x]));
                *out++ = static_cast<JSAMPLE>(qBlue(in[x]));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

QImage TJPEGImage::Decode(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxDataBytes)
        ThrowJpegError("no image data or too much of it");
    ErrorManager errors;
    InstallErrorManager(errors);
    jpeg_decompress_struct cinfo{};
    cinfo.err = &errors.pub;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = OnJpegProgress;
    DecodeTarget target;
    bool tooLarge = false;
    const bool ok = DecodeInto(data, size, errors, cinfo, progress, target, tooLarge);
    jpeg_destroy_decompress(&cinfo);
    if (tooLarge)
        ThrowJpegError("picture too large");
    if (!ok)
        ThrowJpegError(errors.message);
    return std::move(target.image);
}

std::vector<std::uint8_t> TJPEGImage::Encode(const QImage& image, int quality, bool grayscale) {
    if (image.isNull())
        return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    ErrorManager errors;
    InstallErrorManager(errors);
    jpeg_compress_struct cinfo{};
    cinfo.err = &errors.pub;
    unsigned char* buffer = nullptr;
    unsigned long bufferSize = 0;
    std::vector<JSAMPLE> row(static_cast<std::size_t>(rgb.width()) * 3);
    const bool ok = EncodeInto(rgb, quality, grayscale, errors, cinfo, buffer, bufferSize, row);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> result;
    if (ok && buffer != nullptr)
        result.assign(buffer, buffer + bufferSize);
    std::free(buffer);
    if (!ok)
        ThrowJpegError(errors.message);
    return result;
}

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetCompressionQuality(int quality) {
    quality_ = quality < 1 ? 1 : quality > 100 ? 100 : quality;
}

void TJPEGImage::LoadFromData(const std::uint8_t* data, std::size_t size) {
    QImage image = Decode(data, size);
    image_ = std::move(image);
    data_.assign(data, data + size);
    Changed();
}

void TJPEGImage::SetImage(const QImage& image) {
    std::vector<std::uint8_t> data = Encode(image, quality_, grayscale_);
    image_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    data_ = std::move(data);
    Changed();
}

void TJPEGImage::SetWidth(int width) {
    if (width == Width())
        return;
    if (width <= 0) {
        SetImage(QImage());
        return;
    }
    QImage resized(width, std::max(Height(), 1), QImage::Format_RGB32);
    resized.fill(Qt::black);
    if (!image_.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, image_);
    }
    SetImage(resized);
}

void TJPEGImage::SetHeight(int height) {
    if (height == Height())
        return;
    if (height <= 0) {
        SetImage(QImage());
        return;
    }
    QImage resized(std::max(Width(), 1), height, QImage::Format_RGB32);
    resized.fill(Qt::black);
    if (!image_.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, image_);
    }
    SetImage(resized);
}

void TJPEGImage::DrawTo(QPainter& canvas, const TRect& rect) { DrawImageTo(canvas, rect, image_); }

void TJPEGImage::ReadStored(TStream& stream) {
    const std::uint32_t size = stream.ReadU32();
    if (size == 0) {
        image_ = QImage();
        data_.clear();
        Changed();
        return;
    }
    if (size > stream.BytesLeft())
        throw EReadError("Stream read error");
    std::vector<std::uint8_t> bytes(size);
    stream.ReadBuffer(bytes.data(), bytes.size());
    LoadFromData(bytes.data(), bytes.size());
}

void TJPEGImage::WriteStored(TStream& stream) {
    stream.WriteU32(static_cast<std::uint32_t>(data_.size()));
    stream.WriteBuffer(data_.data(), data_.size());
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    const std::uint64_t left = stream.BytesLeft();
    if (left > kMaxDataBytes)
        ThrowJpegError("too much image data");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(left));
    stream.ReadBuffer(bytes.data(), bytes.size());
    LoadFromData(bytes.data(), bytes.size());
}

void TJPEGImage::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), data_.size()); }

void TJPEGImage::AssignFrom(const TPersistent* source) {
    if (source == nullptr) {
        SetImage(QImage());
    } else if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(source)) {
        if (jpeg == this)
            return;
        image_ = jpeg->image_;
        data_ = jpeg->data_;
        quality_ = jpeg->quality_;
        grayscale_ = jpeg->grayscale_;
        Changed();
    } else if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        AssignFrom(picture->Graphic());
    } else if (auto* graphic = dynamic_cast<TGraphic*>(const_cast<TPersistent*>(source))) {
        SetImage(RenderedImage(*graphic));
    } else {
        AssignError(source);
    }
}
