#include "unace/Decoder.h"

#include <algorithm>
#include <cstring>

#include "unace/AceCrc.h"
#include "unace/ModeFilters.h"

namespace unace {

namespace {

constexpr size_t kWindowCapacity = 2 * Decoder::kHistorySize;
// Room past the decode limit: one piece may end with a match of up to 259
// bytes copied in 8-byte strides.
constexpr size_t kMatchSlack = 512;

constexpr unsigned kModeLz77 = unsigned(Mode::Lz77);
constexpr unsigned kModeDelta = unsigned(Mode::Delta);
constexpr unsigned kModeExe = unsigned(Mode::Exe);
constexpr unsigned kModeSound8 = unsigned(Mode::Sound8);
constexpr unsigned kModeSound32B = unsigned(Mode::Sound32B);
constexpr unsigned kModePic = unsigned(Mode::Pic);

constexpr unsigned kMaxDeltaLength = 65536;

}  // namespace

Decoder::Decoder() : input_(new uint8_t[BitReader::kBufferSize]) {}

bool Decoder::EnsureWindow() {
    if (!window_) {
        window_.reset(new uint8_t[kWindowCapacity + kMatchSlack]);
        ResetHistory();
    }
    return true;
}

void Decoder::ResetHistory() {
    pos_ = emitted_ = histStart_ = 0;
    flushAt_ = kPieceSize;
}

DecodeStatus Decoder::DecodeEntry(Method method, uint64_t origSize, bool solid, ByteSource& source,
                                  OutputSink& sink, uint32_t& crc) {
    EnsureWindow();
    emitted_ = pos_;   // a failed entry may have left bytes that were never output
    if (pos_ + kPieceSize + kMatchSlack > kWindowCapacity) Compact();
    if (!solid) histStart_ = pos_;
    flushAt_ = pos_ + kPieceSize;
    sink_ = &sink;
    stopped_ = false;
    crc_ = kAceCrcInit;
    produceLeft_ = origSize;
    entryOut_ = 0;
    mode_ = kModeLz77;
    blockLeft_ = 0;
    std::fill(std::begin(rep_), std::end(rep_), 0);
    exeHeldSize_ = 0;
    deltaByte_ = 0;

    DecodeStatus status = DecodeStatus::Ok;
    if (origSize != 0) {
        switch (method) {
            case Method::Stored: status = CopyStored(source); break;
            case Method::Lz77: status = DecodeCompressed(source, false); break;
            case Method::Blocked: status = DecodeCompressed(source, true); break;
            default: status = DecodeStatus::Corrupt; break;
        }
    }
    crc = crc_;
    sink_ = nullptr;
    return status;
}

DecodeStatus Decoder::CopyStored(ByteSource& source) {
    while (produceLeft_ > 0) {
        if (pos_ >= flushAt_ && !FlushPiece()) return DecodeStatus::Stopped;
        const size_t want = size_t(std::min<uint64_t>(flushAt_ - pos_, produceLeft_));
        const size_t got = source.Fill(window_.get() + pos_, want);
        if (got == 0) return DecodeStatus::Corrupt;   // data ends early
        pos_ += got;
        produceLeft_ -= got;
    }
    FlushWindow();
    return stopped_ ? DecodeStatus::Stopped : DecodeStatus::Ok;
}

DecodeStatus Decoder::DecodeCompressed(ByteSource& source, bool blocked) {
    br_.Reset(&source, input_.get());
    while (produceLeft_ > 0) {
        LzResult r = LzResult::Corrupt;
        if (mode_ == kModeLz77 || mode_ == kModeExe)
            r = DecodeLz(produceLeft_, blocked, false);
        else if (mode_ == kModeDelta)
            r = ExpectSwitch();
        else if (mode_ >= kModeSound8 && mode_ <= kModeSound32B)
            r = DecodeSound();
        else if (mode_ == kModePic)
            r = DecodePic();
        if (r == LzResult::Switch) r = ApplySwitch(pending_);
        if (r == LzResult::Corrupt) return DecodeStatus::Corrupt;
        if (r == LzResult::Stopped) return DecodeStatus::Stopped;
    }
    FlushWindow();
    if (mode_ == kModeExe) ExeFinish();
    if (stopped_) return DecodeStatus::Stopped;
    // Every consumed bit must lie inside the packed data.
    return br_.Overrun() ? DecodeStatus::Corrupt : DecodeStatus::Ok;
}

bool Decoder::ReadBlockHeader() {
    if (!mainTable_.Read(br_, kMainSymbolMax, kMainMaxWidth)) return false;
    if (!lengthTable_.Read(br_, kLengthSymbolMax, kMainMaxWidth)) return false;
    blockLeft_ = br_.Read(15);
    // The archiver never writes an empty block; accepting one would let a
    // stream of empty blocks run without producing output.
    return blockLeft_ != 0 && !br_.Overrun();
}

bool Decoder::ReadModeRecord(ModeRecord& record) {
    record = ModeRecord{};
    record.mode = br_.Read(8);
    if (record.mode > kModePic) return false;
    if (record.mode == kModeDelta) {
        record.deltaDistance = br_.Read(8);
        record.deltaLength = br_.Read(17);
    } else if (record.mode == kModeExe) {
        record.exeVariant = br_.Read(8);
    }
    return !br_.Overrun();
}

// The LZ77 loop. Decodes symbols until `want` bytes are produced or a mode
// switch record was read (`blocked` streams outside DELTA blocks only).
// Local copies of the reader and window position keep the loop in
// registers; `save`/`load` move them to and from the members around calls
// that need the members.
Decoder::LzResult Decoder::DecodeLz(uint64_t want, bool blocked, bool inDelta) {
    BitReader br = br_;
    uint8_t* const win = window_.get();
    size_t pos = pos_;
    size_t histStart = histStart_;
    uint64_t left = want;
    unsigned blockLeft = blockLeft_;
    uint32_t rep[4] = {rep_[0], rep_[1], rep_[2], rep_[3]};

    auto save = [&] {
        br_ = br;
        pos_ = pos;
        blockLeft_ = blockLeft;
        std::copy(rep, rep + 4, rep_);
        produceLeft_ -= want - left;
        want = left;
    };
    auto load = [&] {
        br = br_;
        pos = pos_;
        histStart = histStart_;
        blockLeft = blockLeft_;
    };

    LzResult result = LzResult::Done;
    for (;;) {
        if (left == 0) break;
        if (pos >= flushAt_ && !inDelta) {
            save();
            if (!FlushPiece()) return LzResult::Stopped;
            if (br_.Overrun()) return LzResult::Corrupt;
            load();
        }
        if (blockLeft == 0) {
            save();
            if (!ReadBlockHeader()) return LzResult::Corrupt;
            load();
        }
        --blockLeft;
        br.Refill();
        const int s = mainTable_.Decode(br);
        if (s < 256) {
            if (s < 0) {
                result = LzResult::Corrupt;
                break;
            }
            win[pos++] = uint8_t(s);
            --left;
            continue;
        }

        uint32_t d;
        unsigned length;
        if (s < int(kSymbolFirstDistance)) {
            // Repeat of one of the last four distances; it moves to the front.
            const unsigned k = unsigned(s) - kSymbolFirstRepeat;
            d = rep[k];
            for (unsigned j = k; j > 0; --j) rep[j] = rep[j - 1];
            rep[0] = d;
            br.Refill();
            const int l = lengthTable_.Decode(br);
            if (l < 0) {
                result = LzResult::Corrupt;
                break;
            }
            length = unsigned(l) + (k <= 1 ? 2 : 3);
        } else if (s < int(kSymbolModeSwitch)) {
            // New distance with b significant bits; the top bit is implicit.
            // At least 22 bits remain after the symbol, enough for b - 1 <= 21.
            const unsigned b = unsigned(s) - kSymbolFirstDistance;
            if (b <= 1) {
                d = b;
            } else {
                d = (1u << (b - 1)) | br.Peek(b - 1);
                br.Consume(b - 1);
            }
            br.Refill();
            const int l = lengthTable_.Decode(br);
            if (l < 0) {
                result = LzResult::Corrupt;
                break;
            }
            length = unsigned(l) + (d <= 255 ? 2 : d <= 8191 ? 3 : 4);
            rep[3] = rep[2];
            rep[2] = rep[1];
            rep[1] = rep[0];
            rep[0] = d;
        } else if (s == int(kSymbolModeSwitch) && blocked && !inDelta) {
            save();
            return ReadModeRecord(pending_) ? LzResult::Switch : LzResult::Corrupt;
        } else {
            result = LzResult::Corrupt;   // 283 outside the 2.0 LZ77 modes, or 284
            break;
        }

        const size_t distance = size_t(d) + 1;
        if (length > left || distance > pos - histStart) {
            result = LzResult::Corrupt;
            break;
        }
        uint8_t* dst = win + pos;
        const uint8_t* src = dst - distance;
        if (distance >= 8) {
            // Strides of 8 never read bytes this copy has yet to write; the
            // last stride may write up to 7 bytes past the match (slack).
            for (unsigned k = 0; k < length; k += 8) std::memcpy(dst + k, src + k, 8);
        } else if (distance == 1) {
            std::memset(dst, src[0], length);
        } else {
            for (unsigned k = 0; k < length; ++k) dst[k] = src[k];
        }
        pos += length;
        left -= length;
    }
    save();
    if (result == LzResult::Done && br_.Overrun()) result = LzResult::Corrupt;
    return result;
}

Decoder::LzResult Decoder::ApplySwitch(const ModeRecord& record) {
    FlushWindow();   // what was decoded so far still belongs to the old mode
    if (stopped_) return LzResult::Stopped;
    if (mode_ == kModeExe && record.mode != kModeExe) ExeFinish();
    const unsigned old = mode_;
    mode_ = record.mode;
    if (record.mode >= kModeSound8 && record.mode <= kModeSound32B) {
        if (old != record.mode) sound_.Reset(record.mode);
        sound_.StartRegion();
    } else if (record.mode == kModePic) {
        if (old != kModePic && !pic_.Start(br_)) return LzResult::Corrupt;
    } else if (record.mode == kModeExe) {
        exeVariant_ = record.exeVariant;
    } else if (record.mode == kModeDelta) {
        return DecodeDeltaBlock();
    }
    return stopped_ ? LzResult::Stopped : LzResult::Done;
}

// One DELTA block: L bytes of LZ77 output, kept as they are in the history,
// are summed up bytewise and de-interleaved from D planes for the output.
Decoder::LzResult Decoder::DecodeDeltaBlock() {
    const unsigned stride = pending_.deltaDistance;
    const unsigned length = pending_.deltaLength;
    if (stride == 0 || length == 0 || length % stride != 0 || length > kMaxDeltaLength ||
        length > produceLeft_)
        return LzResult::Corrupt;
    if (pos_ + length + kMatchSlack > kWindowCapacity) Compact();
    const size_t start = pos_;
    const LzResult r = DecodeLz(length, true, true);
    if (r != LzResult::Done) return r;

    scratch_.resize(length);
    DeltaDecode(window_.get() + start, scratch_.data(), length, stride, deltaByte_);
    Emit(scratch_.data(), length);
    emitted_ = pos_;
    return stopped_ ? LzResult::Stopped : LzResult::Done;
}

// After a DELTA block the archiver always switches mode; anything else is
// treated as damage.
Decoder::LzResult Decoder::ExpectSwitch() {
    if (blockLeft_ == 0 && !ReadBlockHeader()) return LzResult::Corrupt;
    --blockLeft_;
    br_.Refill();
    if (mainTable_.Decode(br_) != int(kSymbolModeSwitch)) return LzResult::Corrupt;
    return ReadModeRecord(pending_) ? LzResult::Switch : LzResult::Corrupt;
}

Decoder::LzResult Decoder::DecodeSound() {
    while (produceLeft_ > 0) {
        const int b = sound_.NextByte(br_);
        if (b == SoundModel::kModeSwitch)
            return ReadModeRecord(pending_) ? LzResult::Switch : LzResult::Corrupt;
        if (b < 0 || br_.Overrun()) return LzResult::Corrupt;
        if (!PutByte(uint8_t(b))) return LzResult::Stopped;
    }
    return LzResult::Done;
}

Decoder::LzResult Decoder::DecodePic() {
    while (produceLeft_ > 0) {
        if (br_.Read(1) == 0) return ReadModeRecord(pending_) ? LzResult::Switch : LzResult::Corrupt;
        if (!pic_.DecodeRow(br_)) return LzResult::Corrupt;
        const std::vector<uint8_t>& row = pic_.Row();
        const size_t n = size_t(std::min<uint64_t>(row.size(), produceLeft_));
        for (size_t i = 0; i < n; ++i)
            if (!PutByte(row[i])) return LzResult::Stopped;
    }
    return LzResult::Done;
}

// ---- output side ------------------------------------------------------------

bool Decoder::FlushPiece() {
    FlushWindow();
    if (stopped_) return false;
    if (pos_ + kPieceSize + kMatchSlack > kWindowCapacity) Compact();
    flushAt_ = pos_ + kPieceSize;
    return true;
}

void Decoder::FlushWindow() {
    if (pos_ > emitted_) {
        if (mode_ == kModeExe)
            ExeFeed(window_.get() + emitted_, pos_ - emitted_);
        else
            Emit(window_.get() + emitted_, pos_ - emitted_);
    }
    emitted_ = pos_;
}

// Keeps the last 4 MiB of history at the window's front. Everything decoded
// has been output before.
void Decoder::Compact() {
    if (pos_ <= kHistorySize) return;
    const size_t shift = pos_ - kHistorySize;
    std::memmove(window_.get(), window_.get() + shift, kHistorySize);
    pos_ -= shift;
    emitted_ = pos_;
    histStart_ = histStart_ > shift ? histStart_ - shift : 0;
    flushAt_ = pos_ + kPieceSize;
}

// EXE regions go out through ExeTranslate; bytes it cannot finish yet wait
// in exeHeld_ for the next piece (entryOut_ is the output position of the
// first of them).
void Decoder::ExeFeed(const uint8_t* data, size_t size) {
    scratch_.resize(exeHeldSize_ + size);
    uint8_t* buf = scratch_.data();
    std::memcpy(buf, exeHeld_, exeHeldSize_);
    std::memcpy(buf + exeHeldSize_, data, size);
    const size_t n = exeHeldSize_ + size;
    const size_t ready = ExeTranslate(buf, n, entryOut_, exeVariant_);
    exeHeldSize_ = n - ready;
    std::memcpy(exeHeld_, buf + ready, exeHeldSize_);
    Emit(buf, ready);
}

void Decoder::ExeFinish() {
    if (exeHeldSize_) {
        const size_t n = exeHeldSize_;
        exeHeldSize_ = 0;
        uint8_t copy[8];
        std::memcpy(copy, exeHeld_, n);
        Emit(copy, n);
    }
}

void Decoder::Emit(const uint8_t* data, size_t size) {
    if (stopped_ || size == 0) return;
    crc_ = AceCrc32(data, size, crc_);
    entryOut_ += size;
    if (!sink_->Write(data, size)) stopped_ = true;
}

}  // namespace unace
