// The name-hashed collection: an ordered list of named items that can also
// be found by name through 256 hash buckets.
//
// Each item sits in exactly one bucket chain, chosen from its lower-cased
// name (HashOf). Renaming moves the item to the head of its new chain, so
// among items whose names compare equal without regard to case, Find
// returns the one named last. Each item also caches its position in the
// list; the collection keeps those positions right when items are added,
// deleted or moved, so Find never searches the list itself.
//
// Names are byte strings in the Windows-1252 code page: lower-casing and the
// case-insensitive comparison follow that code page's letters.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class THashCollection;

class THashCollectionItem {
public:
    virtual ~THashCollectionItem();
    THashCollectionItem(const THashCollectionItem&) = delete;
    THashCollectionItem& operator=(const THashCollectionItem&) = delete;

    THashCollection* Collection() const { return collection_; }

    const std::string& Name() const { return name_; }
    // A name that differs from the current one (exact comparison) relinks
    // the item at the head of its new bucket's chain.
    void SetName(const std::string& name);

    // Position in the collection (cached; maintained by the collection).
    int Index() const { return index_; }
    // Moves the item to `index` within the collection.
    void SetIndex(int index);

    int Bucket() const { return bucket_; }
    // Chain links, toward the head (Previous) and away from it (Next).
    THashCollectionItem* Previous() const { return prev_; }
    THashCollectionItem* Next() const { return next_; }

protected:
    // Items are made by their collection (THashCollection::AddItem), which
    // links them into bucket 0 and gives them the last position.
    explicit THashCollectionItem(THashCollection& collection) : collection_(&collection) {}

private:
    friend class THashCollection;

    void Link();
    void Unlink();

    THashCollection* collection_;
    int bucket_ = 0;
    int index_ = -1;
    std::string name_;
    THashCollectionItem* prev_ = nullptr;
    THashCollectionItem* next_ = nullptr;
};

class THashCollection {
public:
    static constexpr int kBucketCount = 256;

    THashCollection() = default;
    virtual ~THashCollection();
    THashCollection(const THashCollection&) = delete;
    THashCollection& operator=(const THashCollection&) = delete;

    // The type name used in messages ("%s cannot be initialized").
    virtual const char* ClassName() const { return "THashCollection"; }

    int Count() const { return static_cast<int>(items_.size()); }
    // EListError "List index out of bounds (%d)" outside 0 .. Count() - 1.
    THashCollectionItem* GetItem(int index) const;

    // Position of the item named `name` (without regard to case; the most
    // recently named wins), or -1.
    int Find(const std::string& name) const;

    // Destroys the item at `index` (EListError when out of range).
    void Delete(int index);
    // Destroys every item, last first.
    void Clear();
    // Moves the item at `from` to position `to` (EListError when either is
    // out of range); the items in between shift by one.
    void Move(int from, int to);

    // The bucket of a name: (16 * L + c[L-2] + c[0]) mod 256 over the
    // lower-cased bytes, the sum term only when L >= 2.
    static int HashOf(const std::string& name);

    // First item of a bucket's chain, or null.
    THashCollectionItem* BucketHead(int bucket) const { return buckets_.at(bucket); }

protected:
    // Takes ownership of a freshly made item and appends it.
    template <class Item>
    Item* AddItem(std::unique_ptr<Item> item) {
        Item* raw = item.get();
        Append(std::move(item));
        return raw;
    }

    // Called before the item at `index` is destroyed (by Delete or Clear).
    virtual void ItemDeleting(THashCollectionItem& /*item*/) {}

private:
    friend class THashCollectionItem;

    void Append(std::unique_ptr<THashCollectionItem> item);
    void Renumber(int from, int to);

    std::vector<std::unique_ptr<THashCollectionItem>> items_;
    std::array<THashCollectionItem*, kBucketCount> buckets_{};
};

// Windows-1252 lower-casing of one byte, and of a whole name.
std::uint8_t AnsiLowerByte(std::uint8_t c);
std::string AnsiLowerCase(const std::string& text);

// Locale-aware comparison of two Windows-1252 names without regard to case:
// true when they compare equal.
bool AnsiSameText(const std::string& a, const std::string& b);
