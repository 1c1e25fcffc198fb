#include "render/DXImageList.h"

#include "render/DIB.h"
#include "toolkit/BitmapPicture.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/StoredLayout.h"

#include <algorithm>
#include <bitset>

// ---------------------------------------------------------------------------
// TPictureCollectionItem

TPictureCollectionItem::TPictureCollectionItem(TPictureCollection& collection)
    : THashCollectionItem(collection) {}

TPictureCollectionItem::~TPictureCollectionItem() { Finalize(); }

TPictureCollection& TPictureCollectionItem::PictureCollection() const {
    return static_cast<TPictureCollection&>(*Collection());
}

void TPictureCollectionItem::SetPicture(const TPersistent* source) {
    const TGraphic* graphic = nullptr;
    if (auto* picture = dynamic_cast<const TPicture*>(source))
        graphic = picture->Graphic();
    else
        graphic = dynamic_cast<const TGraphic*>(source);
    if (graphic && dynamic_cast<const TBitmap*>(graphic)) {
        auto dib = std::make_unique<TDIB>();
        dib->AssignFrom(graphic);
        picture_.SetGraphic(std::move(dib));
        return;
    }
    picture_.Assign(source);
}

void TPictureCollectionItem::SetTransparentColor(TColor color) {
    if (color == transparentColor_) return;
    for (const auto& surface : surfaces_) {
        try {
            surface->SetTransparentColor(surface->PixelValueOf(color));
        } catch (const std::exception&) {
            // One surface that cannot be re-keyed does not stop the others.
        }
    }
    transparentColor_ = color;
}

TDirectDrawSurface* TPictureCollectionItem::SurfaceOfPattern(int index) const {
    if (index < 0 || index >= NumPatterns()) return nullptr;
    return patterns_[static_cast<std::size_t>(index)].Surface;
}

int TPictureCollectionItem::PatternWidthInPicture() const {
    return PatternWidth > 0 ? PatternWidth : picture_.Width();
}

int TPictureCollectionItem::PatternHeightInPicture() const {
    return PatternHeight > 0 ? PatternHeight : picture_.Height();
}

int TPictureCollectionItem::PatternColumns() const {
    const int step = PatternWidthInPicture() + SkipWidth;
    // A zero or negative step (an empty picture, or a skip that eats the
    // pattern) gives no pattern rather than a division by zero.
    if (step <= 0 || PatternWidthInPicture() <= 0) return 0;
    return std::max(0, (picture_.Width() + SkipWidth) / step);
}

int TPictureCollectionItem::PatternRows() const {
    const int step = PatternHeightInPicture() + SkipHeight;
    if (step <= 0 || PatternHeightInPicture() <= 0) return 0;
    return std::max(0, (picture_.Height() + SkipHeight) / step);
}

TRect TPictureCollectionItem::PatternRectInPicture(int index) const {
    const int columns = PatternColumns();
    if (columns == 0) return {};
    const int w = PatternWidthInPicture();
    const int h = PatternHeightInPicture();
    const int x = (index % columns) * (w + SkipWidth);
    const int y = (index / columns) * (h + SkipHeight);
    return TRect{x, y, x + w, y + h};
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex) {
    if (!initialized_ || !dest || patternIndex < 0 || patternIndex >= NumPatterns()) return;
    const TPictureCollectionItemPattern& pattern = patterns_[static_cast<std::size_t>(patternIndex)];
    dest->Draw(x, y, pattern.Rect, pattern.Surface, Transparent);
}

void TPictureCollectionItem::Finalize() {
    if (!initialized_) return;
    initialized_ = false;
    patterns_.clear();
    surfaces_.clear();
}

TDirectDrawSurface* TPictureCollectionItem::MakeSurface(const TRect& rect) {
    TCustomDXDraw* dxdraw = PictureCollection().DXDraw();
    surfaces_.push_back(std::make_unique<TDirectDrawSurface>(*dxdraw->DDraw()));
    TDirectDrawSurface* surface = surfaces_.back().get();
    surface->SystemMemory = SystemMemory;
    surface->LoadPictureRect(*picture_.Graphic(), 0, 0, rect);
    // The key is set whatever Transparent says; Transparent only picks the
    // copy flags when drawing.
    surface->SetTransparentColor(surface->PixelValueOf(transparentColor_));
    return surface;
}

void TPictureCollectionItem::Restore() {
    if (!initialized_ || !picture_.Graphic()) return;
    TCustomDXDraw* dxdraw = PictureCollection().DXDraw();
    if (!dxdraw || !dxdraw->DDraw()) return;
    patterns_.clear();
    surfaces_.clear();

    TGraphic& graphic = *picture_.Graphic();
    if (PatternCount() == 0) return;  // nothing to cut (an empty picture)
    if (PatternWidthInPicture() == graphic.Width() && PatternHeightInPicture() == graphic.Height())
        RestoreSinglePattern(graphic);
    else if (SystemMemory)
        RestorePatternsOnOneSurface(graphic);
    else
        RestorePatternsOnTiles(graphic);
}

void TPictureCollectionItem::RestoreSinglePattern(TGraphic& graphic) {
    const TRect whole{0, 0, graphic.Width(), graphic.Height()};
    TDirectDrawSurface* surface = MakeSurface(whole);
    patterns_.push_back({whole, surface});
}

void TPictureCollectionItem::RestorePatternsOnOneSurface(TGraphic& graphic) {
    TDirectDrawSurface* surface = MakeSurface(TRect{0, 0, graphic.Width(), graphic.Height()});
    const int count = PatternCount();
    patterns_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) patterns_.push_back({PatternRectInPicture(i), surface});
}

// Video memory: tiles of about 512 pixels, each a whole number of pattern
// steps wide and high, so that every pattern lies inside one tile.
void TPictureCollectionItem::RestorePatternsOnTiles(TGraphic& graphic) {
    const int pictureWidth = graphic.Width();
    const int pictureHeight = graphic.Height();
    const int sx = PatternWidthInPicture() + SkipWidth;
    const int sy = PatternHeightInPicture() + SkipHeight;
    const int tileWidth = std::min(sx * ((sx + 511) / sx), sx * ((pictureWidth + SkipWidth) / sx));
    const int tileHeight = std::min(sy * ((sy + 511) / sy), sy * ((pictureHeight + SkipHeight) / sy));
    if (tileWidth <= 0 || tileHeight <= 0) return;
    const int tileColumns = (pictureWidth + tileWidth - 1) / tileWidth;
    const int tileRows = (pictureHeight + tileHeight - 1) / tileHeight;

    std::vector<TDirectDrawSurface*> tiles;
    tiles.reserve(static_cast<std::size_t>(tileColumns) * static_cast<std::size_t>(tileRows));
    for (int j = 0; j < tileRows; ++j) {
        for (int i = 0; i < tileColumns; ++i) {
            int width = std::min(tileWidth, pictureWidth - i * tileWidth);
            int height = std::min(tileHeight, pictureHeight - j * tileHeight);
            if (width <= 0) width = tileWidth;
            if (height <= 0) height = tileHeight;
            const int left = i * tileWidth;
            const int top = j * tileHeight;
            tiles.push_back(MakeSurface(TRect{left, top, left + width, top + height}));
        }
    }

    const int w = PatternWidthInPicture();
    const int h = PatternHeightInPicture();
    const int count = PatternCount();
    patterns_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TRect inPicture = PatternRectInPicture(i);
        const int px = inPicture.Left;
        const int py = inPicture.Top;
        const int tile = px / tileWidth + tileColumns * (py / tileHeight);
        const int x = px % tileWidth;
        const int y = py % tileHeight;
        patterns_.push_back({TRect{x, y, x + w, y + h}, tiles[static_cast<std::size_t>(tile)]});
    }
}

// ---------------------------------------------------------------------------
// TPictureCollection

TPictureCollection::TPictureCollection(TCustomDXImageList* owner) : owner_(owner) {}

TPictureCollection::~TPictureCollection() {
    Finalize();
    Clear();
}

TPictureCollectionItem* TPictureCollection::Add() {
    return AddItem(std::unique_ptr<TPictureCollectionItem>(new TPictureCollectionItem(*this)));
}

TPictureCollectionItem* TPictureCollection::Items(int index) const {
    return static_cast<TPictureCollectionItem*>(GetItem(index));
}

void TPictureCollection::Initialize(TCustomDXDraw* dxdraw) {
    Finalize();
    dxdraw_ = dxdraw;
    if (!dxdraw_ || !dxdraw_->Initialized())
        throw EPictureCollectionError(FormatMessage(dxconsts::SDirectXNotInitialized, ClassName()));
    for (int i = 0; i < Count(); ++i) {
        TPictureCollectionItem* item = Items(i);
        item->Finalize();
        item->initialized_ = true;
    }
}

void TPictureCollection::Finalize() {
    try {
        for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
    } catch (...) {
        dxdraw_ = nullptr;
        throw;
    }
    dxdraw_ = nullptr;
}

void TPictureCollection::Restore() {
    for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

const std::array<std::pair<int, TRGBQuad>, 16>& TPictureCollection::FixedColors() {
    // TRGBQuad is blue, green, red, reserved.
    static const std::array<std::pair<int, TRGBQuad>, 16> fixed = {{
        {0, {0, 0, 0, 0}},         {1, {0, 0, 128, 0}},       {2, {0, 128, 0, 0}},
        {3, {0, 128, 128, 0}},     {4, {128, 0, 0, 0}},       {5, {128, 0, 128, 0}},
        {6, {128, 128, 0, 0}},     {7, {192, 192, 192, 0}},   {248, {128, 128, 128, 0}},
        {249, {0, 0, 255, 0}},     {250, {0, 255, 0, 0}},     {251, {0, 255, 255, 0}},
        {252, {255, 0, 0, 0}},     {253, {255, 0, 255, 0}},   {254, {255, 255, 0, 0}},
        {255, {255, 255, 255, 0}},
    }};
    return fixed;
}

namespace {

// The slots of a colour table being built: which are taken, and how many.
class ColorTableBuilder {
public:
    explicit ColorTableBuilder(TColorTable& table) : table_(table) { table_.fill(TRGBQuad{}); }

    void Occupy(int slot, const TRGBQuad& color) {
        used_.set(static_cast<std::size_t>(slot));
        table_[static_cast<std::size_t>(slot)] = color;
        ++count_;
    }

    // A colour no used slot holds goes to the lowest free slot; with every
    // slot taken it is dropped.
    void Add(const TRGBQuad& color) {
        int firstFree = -1;
        for (int slot = 0; slot < 256; ++slot) {
            if (used_.test(static_cast<std::size_t>(slot))) {
                if (table_[static_cast<std::size_t>(slot)] == color) return;
            } else if (firstFree < 0) {
                firstFree = slot;
            }
        }
        if (firstFree >= 0) Occupy(firstFree, color);
    }

    bool Full() const { return count_ >= 256; }

private:
    TColorTable& table_;
    std::bitset<256> used_;
    int count_ = 0;
};

void AddBitmapColors(ColorTableBuilder& builder, const TDIB& dib) {
    if (dib.BitCount() > 8) return;
    // Every pixel is visited: only indices that some pixel uses count.
    std::bitset<256> usedIndices;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) usedIndices.set(dib.GetPixel(x, y) & 0xFF);
    const TColorTable& colors = dib.Image()->ColorTable();
    for (std::size_t index = 0; index < 256; ++index)
        if (usedIndices.test(index)) builder.Add(colors[index]);
}

void AddPaletteColors(ColorTableBuilder& builder, TGraphic& graphic) {
    const TLogicalPalette* palette = graphic.PaletteHandle();
    if (!palette) return;
    const int count = std::min(palette->Count(), 256);
    for (int i = 0; i < count; ++i) builder.Add(ToRGBQuad(palette->Entries()[static_cast<std::size_t>(i)]));
}

}  // namespace

void TPictureCollection::BuildColorTable() {
    ColorTableBuilder builder(colorTable_);
    for (const auto& [slot, color] : FixedColors()) builder.Occupy(slot, color);
    for (int i = 0; i < Count(); ++i) {
        TGraphic* graphic = Items(i)->Picture().Graphic();
        if (!graphic) continue;
        if (auto* dib = dynamic_cast<TDIB*>(graphic))
            AddBitmapColors(builder, *dib);
        else
            AddPaletteColors(builder, *graphic);
        if (builder.Full()) break;
    }
}

void TPictureCollection::ReadColorTable(TStream& stream) {
    TColorTable table;
    stream.ReadBuffer(table.data(), sizeof table);
    colorTable_ = table;
}

void TPictureCollection::WriteColorTable(TStream& stream) const {
    stream.WriteBuffer(colorTable_.data(), sizeof colorTable_);
}

// ---------------------------------------------------------------------------
// TCustomDXImageList

TCustomDXImageList::TCustomDXImageList(TComponent* owner)
    : TComponent(owner), items_(std::make_unique<TPictureCollection>(this)) {}

TCustomDXImageList::~TCustomDXImageList() {
    SetDXDraw(nullptr);
    items_.reset();
}

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* dxdraw) {
    if (dxdraw == dxdraw_) return;
    if (dxdraw_) {
        QObject::disconnect(destroyedConnection_);
        TCustomDXDraw* old = dxdraw_;
        dxdraw_ = nullptr;
        old->UnRegisterNotifyEvent(&TCustomDXImageList::DXDrawNotifyEvent, this);
    }
    dxdraw_ = dxdraw;
    if (dxdraw_) {
        // The drawing surface may go first; then the list forgets it.
        destroyedConnection_ = QObject::connect(dxdraw_, &QObject::destroyed, [this] {
            dxdraw_ = nullptr;
            items_->Finalize();
        });
        dxdraw_->RegisterNotifyEvent(&TCustomDXImageList::DXDrawNotifyEvent, this);
    }
}

void TCustomDXImageList::DXDrawNotifyEvent(void* owner, TCustomDXDraw& sender, TDXDrawNotifyType kind) {
    auto* list = static_cast<TCustomDXImageList*>(owner);
    switch (kind) {
        case dxntInitialize: list->items_->Initialize(&sender); break;
        case dxntFinalize: list->items_->Finalize(); break;
        case dxntRestore: list->items_->Restore(); break;
        default: break;
    }
}

namespace {

// Colour values a layout may name.
bool ColorOfName(const std::string& name, TColor& color) {
    struct Named {
        const char* name;
        TColor color;
    };
    static const Named named[] = {
        {"clBlack", 0x000000},   {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
        {"clNavy", 0x800000},    {"clPurple", 0x800080}, {"clTeal", 0x808000},  {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0},  {"clRed", 0x0000FF},    {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
        {"clBlue", 0xFF0000},    {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
        {"clBtnFace", clBtnFace},
    };
    for (const Named& n : named)
        if (name == n.name) {
            color = n.color;
            return true;
        }
    return false;
}

void ReadPictureData(TPictureCollectionItem& item, const TLayoutProperty& property,
                     const TLayoutBinder& binder) {
    const std::vector<std::uint8_t>& data = binder.Bytes(property);
    TReadOnlyMemoryStream stream(data.data(), data.size());
    try {
        item.Picture().ReadData(stream);
    } catch (const std::exception& error) {
        binder.Fail(property.line, std::string("Picture.Data: ") + error.what());
    }
    // A class the program does not know leaves the picture empty; in the
    // program's own layout that can only be a mistake.
    if (!item.Picture().Graphic() && !data.empty() && data[0] != 0)
        binder.Fail(property.line, "Picture.Data: unknown picture class '" +
                                       std::string(data.begin() + 1,
                                                   data.begin() + 1 + std::min<std::size_t>(data[0], data.size() - 1)) +
                                       "'");
    if (stream.BytesLeft() != 0)
        binder.Fail(property.line, "Picture.Data: " + std::to_string(stream.BytesLeft()) +
                                       " bytes follow the picture");
}

}  // namespace

void TCustomDXImageList::ReadStoredItems(const std::vector<TLayoutItem>& items, const TLayoutBinder& binder) {
    for (const TLayoutItem& stored : items) {
        TPictureCollectionItem* item = items_->Add();
        for (const TLayoutProperty& property : stored.properties) {
            const std::string& name = property.name;
            if (name == "Name") {
                item->SetName(binder.String(property));
            } else if (name == "PatternHeight") {
                item->PatternHeight = binder.Int32(property);
            } else if (name == "PatternWidth") {
                item->PatternWidth = binder.Int32(property);
            } else if (name == "SkipHeight") {
                item->SkipHeight = binder.Int32(property);
            } else if (name == "SkipWidth") {
                item->SkipWidth = binder.Int32(property);
            } else if (name == "Picture.Data") {
                ReadPictureData(*item, property, binder);
            } else if (name == "SystemMemory") {
                item->SystemMemory = binder.Boolean(property);
            } else if (name == "Transparent") {
                item->Transparent = binder.Boolean(property);
            } else if (name == "TransparentColor") {
                TColor color = 0;
                if (property.value.kind == TLayoutValue::Kind::Symbol) {
                    if (!ColorOfName(property.value.text, color))
                        binder.Fail(property.line, "'" + property.value.text + "' is not a colour name");
                } else {
                    color = binder.Int32(property);
                }
                item->SetTransparentColor(color);
            } else {
                binder.UnknownProperty(property);
            }
        }
    }
}
