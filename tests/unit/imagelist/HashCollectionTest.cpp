// The name-hashed collection: buckets, chains, lookup and cached positions.
#include "render/DXImageList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TPictureCollection> MakeNamed(const std::vector<std::string>& names) {
    auto collection = std::make_unique<TPictureCollection>();
    for (const std::string& name : names) collection->Add()->SetName(name);
    return collection;
}

// The fourteen names of the main window's image list, in catalogue order.
const std::vector<std::string> kCatalogue = {
    "bg",         "info_install1", "info_install2", "info_install3", "info_nfo1",
    "info_nfo2",  "info_nfo3",     "info_quit1",    "info_quit2",    "info_quit3",
    "duskwing",   "progbar",       "star",          "lake"};

}  // namespace

TEST(HashCollection, BucketsOfNames) {
    struct Row {
        const char* name;
        int bucket;
    };
    const Row rows[] = {
        {"info_install1", 165}, {"info_install2", 165}, {"info_install3", 165},
        {"bg", 228},            {"BG", 228},            {"lake", 23},
        {"", 0},                {"x", 16},              {"\xC9", 16},
    };
    for (const Row& row : rows) EXPECT_EQ(THashCollection::HashOf(row.name), row.bucket) << row.name;
}

TEST(HashCollection, NewItemsSitInBucketZeroUntilNamed) {
    TPictureCollection collection;
    TPictureCollectionItem* a = collection.Add();
    TPictureCollectionItem* b = collection.Add();
    EXPECT_EQ(collection.BucketHead(0), b);  // the newest heads the chain
    EXPECT_EQ(b->Next(), a);
    EXPECT_EQ(a->Previous(), b);
    EXPECT_EQ(collection.Find(""), 1);

    b->SetName("bg");
    EXPECT_EQ(b->Bucket(), 228);
    EXPECT_EQ(collection.BucketHead(0), a);
    EXPECT_EQ(a->Previous(), nullptr);
    EXPECT_EQ(collection.Find(""), 0);
    a->SetName("lake");
    EXPECT_EQ(collection.Find(""), -1);
}

TEST(HashCollection, FindIgnoresCaseInEveryMix) {
    auto owned = MakeNamed(kCatalogue);
    TPictureCollection& collection = *owned;
    for (const char* spelling : {"bg", "BG", "Bg", "bG"}) EXPECT_EQ(collection.Find(spelling), 0);
    EXPECT_EQ(collection.Find("INFO_NFO3"), 6);
    EXPECT_EQ(collection.Find("Lake"), 13);
    EXPECT_EQ(collection.Find("info_nfo4"), -1);
    // Windows-1252 letters beyond ASCII fold too.
    collection.Items(12)->SetName("\xC9toile");  // E acute
    EXPECT_EQ(collection.Find("\xE9TOILE"), 12);
}

TEST(HashCollection, ChainOfAButtonsImagesHoldsAllThree) {
    auto owned = MakeNamed(kCatalogue);
    TPictureCollection& collection = *owned;
    int inChain = 0;
    for (THashCollectionItem* item = collection.BucketHead(165); item; item = item->Next()) ++inChain;
    EXPECT_EQ(inChain, 3);
    EXPECT_EQ(collection.Find("info_install1"), 1);
    EXPECT_EQ(collection.Find("info_install3"), 3);
}

TEST(HashCollection, MostRecentlyNamedWins) {
    TPictureCollection collection;
    TPictureCollectionItem* first = collection.Add();
    TPictureCollectionItem* second = collection.Add();
    first->SetName("Star");
    second->SetName("STAR");
    EXPECT_EQ(collection.Find("star"), 1);
    EXPECT_EQ(collection.Find("Star"), 1);
    // Naming the first again (a different spelling) puts it back in front.
    first->SetName("star");
    EXPECT_EQ(collection.Find("STAR"), 0);
    // Setting the same name again changes nothing.
    second->SetName("STAR");
    EXPECT_EQ(collection.Find("STAR"), 0);
    // Renamed away, the name no longer finds it.
    first->SetName("moon");
    EXPECT_EQ(collection.Find("star"), 1);
    EXPECT_EQ(collection.Find("MOON"), 0);
}

TEST(HashCollection, PositionsFollowDeletionsAndMoves) {
    auto owned = MakeNamed(kCatalogue);
    TPictureCollection& collection = *owned;
    collection.Delete(3);  // "info_install3"
    EXPECT_EQ(collection.Count(), 13);
    EXPECT_EQ(collection.Find("lake"), 12);
    EXPECT_EQ(collection.Find("info_install3"), -1);
    EXPECT_EQ(collection.Find("info_install2"), 2);
    EXPECT_EQ(collection.Find("info_nfo1"), 3);

    collection.Move(12, 0);  // "lake" to the front
    EXPECT_EQ(collection.Find("lake"), 0);
    EXPECT_EQ(collection.Find("bg"), 1);
    EXPECT_EQ(collection.Find("star"), 12);
    collection.Items(0)->SetIndex(5);
    EXPECT_EQ(collection.Find("lake"), 5);
    EXPECT_EQ(collection.Find("bg"), 0);
    EXPECT_EQ(collection.Find("info_nfo1"), 3);
    for (int i = 0; i < collection.Count(); ++i) EXPECT_EQ(collection.Items(i)->Index(), i);
}

TEST(HashCollection, DeletingTheChainHeadKeepsTheRestFindable) {
    auto owned = MakeNamed(kCatalogue);
    TPictureCollection& collection = *owned;
    collection.Delete(collection.Find("info_install3"));  // head of bucket 165
    EXPECT_EQ(collection.Find("info_install1"), 1);
    EXPECT_EQ(collection.Find("info_install2"), 2);
    collection.Delete(collection.Find("info_install1"));  // tail
    EXPECT_EQ(collection.Find("info_install2"), 1);
    EXPECT_EQ(collection.BucketHead(165)->Next(), nullptr);
}

TEST(HashCollection, IndexOutOfRangeIsAListError) {
    auto owned = MakeNamed({"bg"});
    TPictureCollection& collection = *owned;
    for (int bad : {-1, 1}) {
        try {
            collection.Items(bad);
            FAIL() << bad;
        } catch (const EListError& error) {
            EXPECT_EQ(error.Message(), "List index out of bounds (" + std::to_string(bad) + ")");
        }
    }
    EXPECT_THROW(collection.Delete(1), EListError);
}
