#include "render/DXClass.h"

#include "toolkit/Exceptions.h"

#include <QString>

#include <algorithm>
#include <cstdio>

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252 (0 where undefined);
// all other bytes are the Latin-1 code points of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString FromCp1252(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (unsigned char c : text) {
        char16_t unit = c;
        if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0) unit = kCp1252High[c - 0x80];
        result.append(QChar(unit));
    }
    return result;
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

[[noreturn]] void ListIndexError(int index) {
    char message[64];
    std::snprintf(message, sizeof message, "List index out of bounds (%d)", index);
    throw EListError(message);
}

}  // namespace

std::uint8_t AnsiLowerByte(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint8_t>(c + 0x20);
    // Latin-1 capitals, except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<std::uint8_t>(c + 0x20);
    switch (c) {
        case 0x8A: return 0x9A;  // S caron
        case 0x8C: return 0x9C;  // OE
        case 0x8E: return 0x9E;  // Z caron
        case 0x9F: return 0xFF;  // Y diaeresis
        default: return c;
    }
}

std::string AnsiLowerCase(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(AnsiLowerByte(static_cast<std::uint8_t>(c)));
    return lower;
}

bool AnsiSameText(const std::string& a, const std::string& b) {
    // The program's own names are ASCII; for those, case folding is the whole
    // story and no locale can make two different folded names equal.
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (AnsiLowerByte(static_cast<std::uint8_t>(a[i])) !=
                AnsiLowerByte(static_cast<std::uint8_t>(b[i])))
                return false;
        return true;
    }
    return QString::localeAwareCompare(FromCp1252(a).toCaseFolded(),
                                       FromCp1252(b).toCaseFolded()) == 0;
}

// ---------------------------------------------------------------------------
// THashCollectionItem

THashCollectionItem::~THashCollectionItem() {
    if (collection_) Unlink();
}

void THashCollectionItem::SetName(const std::string& name) {
    if (name == name_) return;
    name_ = name;
    Unlink();
    Link();
}

void THashCollectionItem::SetIndex(int index) { collection_->Move(index_, index); }

void THashCollectionItem::Link() {
    auto& buckets = collection_->buckets_;
    bucket_ = THashCollection::HashOf(name_);
    next_ = buckets[bucket_];
    prev_ = nullptr;
    if (next_) next_->prev_ = this;
    buckets[bucket_] = this;
}

void THashCollectionItem::Unlink() {
    auto& buckets = collection_->buckets_;
    if (prev_) {
        prev_->next_ = next_;
        if (next_) next_->prev_ = prev_;
    } else if (buckets[bucket_] == this) {
        buckets[bucket_] = next_;
        if (next_) next_->prev_ = nullptr;
    }
    prev_ = nullptr;
    next_ = nullptr;
}

// ---------------------------------------------------------------------------
// THashCollection

THashCollection::~THashCollection() { Clear(); }

int THashCollection::HashOf(const std::string& name) {
    const std::size_t length = name.size();
    std::uint32_t sum = 0;
    if (length >= 2)
        sum = AnsiLowerByte(static_cast<std::uint8_t>(name[length - 2])) +
              AnsiLowerByte(static_cast<std::uint8_t>(name[0]));
    // Only the low 8 bits of 16 * L matter, so the length may be reduced first.
    return static_cast<int>((16u * static_cast<std::uint32_t>(length & 0xFF) + sum) & 0xFF);
}

THashCollectionItem* THashCollection::GetItem(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return items_[static_cast<std::size_t>(index)].get();
}

int THashCollection::Find(const std::string& name) const {
    for (const THashCollectionItem* item = buckets_[static_cast<std::size_t>(HashOf(name))]; item;
         item = item->next_)
        if (AnsiSameText(item->name_, name)) return item->index_;
    return -1;
}

void THashCollection::Append(std::unique_ptr<THashCollectionItem> item) {
    item->collection_ = this;
    item->index_ = Count();
    item->Link();
    items_.push_back(std::move(item));
}

void THashCollection::Delete(int index) {
    GetItem(index);  // range check
    ItemDeleting(*items_[static_cast<std::size_t>(index)]);
    std::unique_ptr<THashCollectionItem> item = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    Renumber(index, Count() - 1);
    item.reset();  // unlinks
}

void THashCollection::Clear() {
    while (!items_.empty()) Delete(Count() - 1);
}

void THashCollection::Move(int from, int to) {
    GetItem(from);
    GetItem(to);
    if (from == to) return;
    auto begin = items_.begin();
    if (from < to)
        std::rotate(begin + from, begin + from + 1, begin + to + 1);
    else
        std::rotate(begin + to, begin + from, begin + from + 1);
    Renumber(std::min(from, to), std::max(from, to));
}

void THashCollection::Renumber(int from, int to) {
    for (int i = std::max(from, 0); i <= to && i < Count(); ++i)
        items_[static_cast<std::size_t>(i)]->index_ = i;
}
