// Byte streams that pictures are read from and written to.
//
// Read() may return fewer bytes than asked (the end of the data);
// ReadBuffer() insists on all of them and fails with EReadError
// "Stream read error" otherwise. Every stream here knows its size, so
// readers can compare a declared length with BytesLeft() before trusting it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to `count` bytes; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes up to `count` bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position and returns the new one. Positions are clamped at 0.
    virtual std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::uint64_t Size() = 0;

    std::uint64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::uint64_t position) {
        Seek(static_cast<std::int64_t>(position), TSeekOrigin::soBeginning);
    }
    std::uint64_t BytesLeft();

    void ReadBuffer(void* buffer, std::size_t count);         // EReadError
    void WriteBuffer(const void* buffer, std::size_t count);  // EWriteError

    // Little-endian helpers built on ReadBuffer/WriteBuffer.
    std::uint8_t ReadU8();
    std::uint16_t ReadU16();
    std::uint32_t ReadU32();
    void WriteU8(std::uint8_t value);
    void WriteU16(std::uint16_t value);
    void WriteU32(std::uint32_t value);

    // Copies `count` bytes from `source` (all that is left when count is 0).
    void CopyFrom(TStream& source, std::uint64_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::uint64_t Size() override { return data_.size(); }

    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t> TakeData() { position_ = 0; return std::move(data_); }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};

// A read-only view of a block of memory the caller keeps alive (the stream
// over a locked clipboard block, for instance). Writing fails.
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::uint64_t Size() override { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

enum class TFileMode { fmOpenRead, fmCreate };

// A file opened for reading ("Cannot open file %s", EFOpenError) or created
// and truncated for writing ("Cannot create file %s", EFCreateError).
class TFileStream : public TStream {
public:
    TFileStream(const std::filesystem::path& path, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::uint64_t Size() override;

private:
    std::FILE* file_ = nullptr;
};
