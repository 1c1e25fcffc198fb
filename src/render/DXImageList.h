// The named image list: pictures kept by name and turned into surfaces of a
// drawing surface.
//
// TDXImageList owns a TPictureCollection of TPictureCollectionItem entries.
// Each item holds a picture and cuts it into patterns (equal rectangles,
// numbered row by row). The list listens to its drawing surface: when the
// surface initialises, the items become ready; when it restores (also right
// after initialising), each item makes its surfaces from its picture; when
// it finalises, the surfaces go. Drawing an item copies one pattern from
// its surface onto another surface, through the colour key when the item is
// transparent.
//
// The collection also builds the one colour table the screen palette is
// loaded from: sixteen fixed colours, then every colour the pictures' pixels
// use, in item order, until the 256 entries are full.
#pragma once

#include "render/DXClass.h"
#include "render/DXDraws.h"
#include "render/DirectDraw.h"
#include "toolkit/Component.h"
#include "toolkit/Exceptions.h"
#include "toolkit/Palette.h"
#include "toolkit/Picture.h"

#include <QMetaObject>

#include <array>
#include <memory>
#include <string>
#include <vector>

DECLARE_EXCEPTION(EPictureCollectionError, Exception);

class TCustomDXImageList;
class TPictureCollection;
class TStream;
struct TLayoutItem;
class TLayoutBinder;

// One pattern: its rectangle on the surface that holds it.
struct TPictureCollectionItemPattern {
    TRect Rect;
    TDirectDrawSurface* Surface = nullptr;
};

class TPictureCollectionItem : public THashCollectionItem {
public:
    ~TPictureCollectionItem() override;

    TPictureCollection& PictureCollection() const;

    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    // Stores a copy of `source` (a TPicture or a TGraphic; null empties). A
    // device bitmap is converted to a device-independent bitmap first.
    // Surfaces are remade at the next restore.
    void SetPicture(const TPersistent* source);

    std::int32_t PatternHeight = 0;  // 0 or less: the picture's height
    std::int32_t PatternWidth = 0;   // 0 or less: the picture's width
    std::int32_t SkipHeight = 0;     // gap between pattern rows
    std::int32_t SkipWidth = 0;      // gap between pattern columns
    bool SystemMemory = false;       // make the surfaces in system memory
    bool Transparent = true;         // draw through the colour key

    TColor TransparentColor() const { return transparentColor_; }
    // A new colour re-keys every surface the item holds, then is stored.
    void SetTransparentColor(TColor color);

    bool Initialized() const { return initialized_; }
    int NumPatterns() const { return static_cast<int>(patterns_.size()); }
    const TPictureCollectionItemPattern& Pattern(int index) const { return patterns_.at(index); }
    // The surface that holds pattern `index`, or null outside the patterns.
    TDirectDrawSurface* SurfaceOfPattern(int index) const;
    const std::vector<std::unique_ptr<TDirectDrawSurface>>& Surfaces() const { return surfaces_; }

    // Pattern geometry of the current picture and settings.
    int PatternWidthInPicture() const;   // w
    int PatternHeightInPicture() const;  // h
    int PatternColumns() const;          // (picture width + SkipWidth) div (w + SkipWidth)
    int PatternRows() const;
    int PatternCount() const { return PatternColumns() * PatternRows(); }
    // Pattern `index` in the picture (numbered row by row).
    TRect PatternRectInPicture(int index) const;

    // Copies pattern `patternIndex` to (x, y) of `dest`. Nothing happens for
    // an item that is not initialised or a pattern it does not have.
    void Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex);

    // The surfaces' life cycle, driven by the collection.
    void Finalize();
    void Restore();

private:
    friend class TPictureCollection;
    explicit TPictureCollectionItem(TPictureCollection& collection);

    TDirectDrawSurface* MakeSurface(const TRect& rect);
    void RestoreSinglePattern(TGraphic& graphic);
    void RestorePatternsOnOneSurface(TGraphic& graphic);
    void RestorePatternsOnTiles(TGraphic& graphic);

    TPicture picture_;
    bool initialized_ = false;
    std::vector<TPictureCollectionItemPattern> patterns_;
    std::vector<std::unique_ptr<TDirectDrawSurface>> surfaces_;
    TColor transparentColor_ = clBlack;
};

class TPictureCollection : public THashCollection {
public:
    explicit TPictureCollection(TCustomDXImageList* owner = nullptr);
    ~TPictureCollection() override;

    const char* ClassName() const override { return "TPictureCollection"; }

    TCustomDXImageList* Owner() const { return owner_; }
    // The drawing surface the collection is initialised for, or null.
    TCustomDXDraw* DXDraw() const { return dxdraw_; }

    TPictureCollectionItem* Add();
    // EListError "List index out of bounds (%d)" outside the items.
    TPictureCollectionItem* Items(int index) const;
    TPictureCollectionItem* operator[](int index) const { return Items(index); }

    // Finalises, binds to `dxdraw` and makes every item ready for surfaces.
    // EPictureCollectionError "TPictureCollection cannot be initialized"
    // when `dxdraw` is null or not initialised.
    void Initialize(TCustomDXDraw* dxdraw);
    void Finalize();
    void Restore();

    // Fills ColorTable from the fixed colours and the pictures' colours.
    void BuildColorTable();
    const TColorTable& ColorTable() const { return colorTable_; }
    // The fixed colours and their slots.
    static const std::array<std::pair<int, TRGBQuad>, 16>& FixedColors();

    // The stored binary property "ColorTable": the 1024 bytes as they are.
    static constexpr const char* kColorTablePropertyName = "ColorTable";
    void ReadColorTable(TStream& stream);
    void WriteColorTable(TStream& stream) const;

private:
    TCustomDXImageList* owner_;
    TCustomDXDraw* dxdraw_ = nullptr;
    TColorTable colorTable_{};
};

class TCustomDXImageList : public TComponent {
public:
    explicit TCustomDXImageList(TComponent* owner = nullptr);
    ~TCustomDXImageList() override;

    TCustomDXDraw* DXDraw() const { return dxdraw_; }
    // Leaves the old drawing surface (which finalises the collection when it
    // is initialised) and registers with the new one.
    void SetDXDraw(TCustomDXDraw* dxdraw);

    TPictureCollection& Items() { return *items_; }
    const TPictureCollection& Items() const { return *items_; }

    // Reads the stored properties of the list's items, one TLayoutItem per
    // picture, through the picture container.
    void ReadStoredItems(const std::vector<TLayoutItem>& items, const TLayoutBinder& binder);

private:
    static void DXDrawNotifyEvent(void* owner, TCustomDXDraw& sender, TDXDrawNotifyType kind);

    TCustomDXDraw* dxdraw_ = nullptr;
    QMetaObject::Connection destroyedConnection_;
    std::unique_ptr<TPictureCollection> items_;
};

class TDXImageList : public TCustomDXImageList {
public:
    using TCustomDXImageList::TCustomDXImageList;
};
