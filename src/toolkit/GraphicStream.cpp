#include "toolkit/GraphicStream.h"

#include "toolkit/Exceptions.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t ClampedPosition(std::int64_t base, std::int64_t offset) {
    const std::int64_t position = base + offset;
    return position < 0 ? 0 : static_cast<std::size_t>(position);
}

}  // namespace

std::uint64_t TStream::BytesLeft() {
    const std::uint64_t size = Size();
    const std::uint64_t position = Position();
    return position < size ? size - position : 0;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

std::uint8_t TStream::ReadU8() {
    std::uint8_t b = 0;
    ReadBuffer(&b, 1);
    return b;
}

std::uint16_t TStream::ReadU16() {
    std::uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t TStream::ReadU32() {
    std::uint8_t b[4];
    ReadBuffer(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void TStream::WriteU8(std::uint8_t value) { WriteBuffer(&value, 1); }

void TStream::WriteU16(std::uint16_t value) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    WriteBuffer(b, 2);
}

void TStream::WriteU32(std::uint32_t value) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(value >> 16),
                               static_cast<std::uint8_t>(value >> 24)};
    WriteBuffer(b, 4);
}

void TStream::CopyFrom(TStream& source, std::uint64_t count) {
    if (count == 0)
        count = source.BytesLeft();
    std::uint8_t chunk[64 * 1024];
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof chunk));
        source.ReadBuffer(chunk, n);
        WriteBuffer(chunk, n);
        count -= n;
    }
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= data_.size())
        return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0)
        return 0;
    if (position_ + count > data_.size())
        data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

std::uint64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent
                                  ? static_cast<std::int64_t>(position_)
                                  : static_cast<std::int64_t>(data_.size());
    position_ = ClampedPosition(base, offset);
    return position_;
}

std::size_t TReadOnlyMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= size_)
        return 0;
    const std::size_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

std::uint64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent
                                  ? static_cast<std::int64_t>(position_)
                                  : static_cast<std::int64_t>(size_);
    position_ = ClampedPosition(base, offset);
    return position_;
}

TFileStream::TFileStream(const std::filesystem::path& path, TFileMode mode) {
    if (mode == TFileMode::fmCreate) {
        file_ = std::fopen(path.c_str(), "w+b");
        if (file_ == nullptr)
            throw EFCreateError(FormatMessage("Cannot create file %s", path.string()));
    } else {
        std::error_code ec;
        // A folder opens with fopen on this platform; it is not a file.
        if (!std::filesystem::is_directory(path, ec))
            file_ = std::fopen(path.c_str(), "rb");
        if (file_ == nullptr)
            throw EFOpenError(FormatMessage("Cannot open file %s", path.string()));
    }
}

TFileStream::~TFileStream() {
    if (file_ != nullptr)
        std::fclose(file_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    return std::fread(buffer, 1, count, file_);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    return std::fwrite(buffer, 1, count, file_);
}

std::uint64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    if (!(origin == TSeekOrigin::soCurrent && offset == 0))
        std::fseek(file_, static_cast<long>(offset), whence);
    const long position = std::ftell(file_);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::uint64_t TFileStream::Size() {
    const long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}
