#include "render/DXDraws.h"

#include "render/DirectDrawLibrary.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cfenv>

using namespace ddraw;

namespace {

// Runs a step when the scope ends, also when it is left by an exception.
template <class F>
class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

constexpr std::uint8_t kPaletteNoCollapse = 64;

// The rows of a surface as the 3D device draws into them. It keeps its own
// reference to the surface, so a device that outlives the wrapper finds a
// surface that is still there (and draws nothing once it is lost).
class SurfaceTarget final : public d3drm::ISurfaceTarget {
public:
    explicit SurfaceTarget(ComPtr<IDirectDrawSurface> surface) : surface_(std::move(surface)) {}
    int Width() const override { return surface_->Width(); }
    int Height() const override { return surface_->Height(); }
    int BitCount() const override { return 32; }
    bool IsLost() const override { return surface_->IsLost() != DD_OK; }
    bool Lock(d3drm::RenderTarget& target) override {
        DDSURFACEDESC desc;
        if (Failed(surface_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) return false;
        target.pixels = static_cast<std::uint32_t*>(desc.lpSurface);
        target.width = static_cast<int>(desc.dwWidth);
        target.height = static_cast<int>(desc.dwHeight);
        target.pitchBytes = desc.lPitch;
        return true;
    }
    void Unlock() override { surface_->Unlock(nullptr); }

private:
    ComPtr<IDirectDrawSurface> surface_;
};

}  // namespace

std::array<PALETTEENTRY, 256> SystemPaletteEntries() {
    std::array<PALETTEENTRY, 256> entries{};
    static constexpr std::uint8_t kLow[10][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240}};
    static constexpr std::uint8_t kHigh[10][3] = {
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (int i = 0; i < 10; ++i) {
        entries[static_cast<std::size_t>(i)] = PALETTEENTRY{kLow[i][0], kLow[i][1], kLow[i][2], 0};
        entries[static_cast<std::size_t>(246 + i)] = PALETTEENTRY{kHigh[i][0], kHigh[i][1], kHigh[i][2], 0};
    }
    return entries;
}

// ---------------------------------------------------------------- display

void TDirectDrawDisplay::SetBitCount(int bitCount) {
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        throw EDirectDrawError(dxconsts::SInvalidDisplayBitCount);
    bitCount_ = bitCount;
}

const std::vector<TDirectDrawDisplayMode>& TDirectDrawDisplay::Modes() {
    if (modes_.empty() && owner_.DDraw() && owner_.DDraw()->Interface()) {
        owner_.DDraw()->SetLastResult(owner_.DDraw()->Interface()->EnumDisplayModes(
            0, nullptr, &modes_, [](DDSURFACEDESC* mode, void* context) -> HRESULT {
                static_cast<std::vector<TDirectDrawDisplayMode>*>(context)->push_back({*mode});
                return DDENUMRET_OK;
            }));
    }
    return modes_;
}

// ---------------------------------------------------------------- control

TCustomDXDraw::TCustomDXDraw(QWidget* parent, TComponent* owner)
    : QWidget(parent), TComponent(owner), display_(*this) {
    const auto system = SystemPaletteEntries();
    for (std::size_t i = 0; i < 256; ++i) {
        const PALETTEENTRY& e = system[i];
        ColorTable[i] = TRGBQuad{e.peBlue, e.peGreen, e.peRed, 0};
    }
    DefaultColorTable = ColorTable;
    SetOptions(kDXDrawDefaultOptions);
    resize(100, 100);
    storedWidth_ = width();
    storedHeight_ = height();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    AttachToForm();
}

TCustomDXDraw::~TCustomDXDraw() {
    try {
        Finalize();
    } catch (...) {
        // A handler that fails while the control goes away has nowhere to report to.
    }
    DetachFromForm();
}

void TCustomDXDraw::SetOptions(TDXDrawOptions value) {
    const TDXDrawOptions old = activeOptions_;
    options_ = value;
    if (!initialized_) {
        TDXDrawOptions a = value;
        if (!a.Contains(doFullScreen))
            a = a - TDXDrawOptions{doNoWindowChange, doAllowReboot, doAllowPalette256, doFlip};
        if (!a.Contains(do3D)) a = a - kDXDraw3DOptions;
        if (a.Contains(doSystemMemory)) a.Exclude(doFlip);
        a.Exclude(doHardware);
        activeOptions_ = a;
        return;
    }
    const TDXDrawOptions live{doWaitVBlank, doStretch, doCenter, doDither};
    TDXDrawOptions a = (old - live) + (value * live);
    if (!a.Contains(do3D)) a = a - kDXDraw3DOptions;
    activeOptions_ = a;
    if (a.Contains(do3D) && old.Contains(doDither) != a.Contains(doDither)) {
        const bool dither = a.Contains(doDither);
        if (rmDevice_) rmDevice_->SetDither(dither);
        else if (d3dDevice2_) d3dDevice2_->SetRenderState(d3drm::D3DRENDERSTATE_DITHERENABLE, dither ? 1 : 0);
    }
}

void TCustomDXDraw::SetAutoSize(bool value) {
    autoSize_ = value;
    if (value && !updating_ && !Loading()) SetSurfaceSize(width(), height());
}

int TCustomDXDraw::SurfaceWidth() const {
    return back_ && back_->Interface() ? back_->Width() : storedWidth_;
}

int TCustomDXDraw::SurfaceHeight() const {
    return back_ && back_->Interface() ? back_->Height() : storedHeight_;
}

void TCustomDXDraw::SetSurfaceWidth(int width) { SetSurfaceSize(width, SurfaceHeight()); }

void TCustomDXDraw::SetSurfaceHeight(int height) { SetSurfaceSize(SurfaceWidth(), height); }

void TCustomDXDraw::SetSurfaceSize(int width, int height) {
    if (Loading()) {
        storedWidth_ = width;
        storedHeight_ = height;
        return;
    }
    ApplySurfaceSize(width, height);
}

void TCustomDXDraw::ApplySurfaceSize(int width, int height) {
    if ((width == SurfaceWidth() && height == SurfaceHeight()) || updating_) return;
    if (!initialized_) {
        storedWidth_ = width;
        storedHeight_ = height;
    } else {
        bool changed = false;
        try {
            changed = driver_->SetSize(width, height);
        } catch (...) {
            Finalize();
            throw;
        }
        if (!changed) return;
    }
    NotifyEventList(dxntSetSurfaceSize);
}

void TCustomDXDraw::Loaded() {
    if (autoSize_) {
        storedWidth_ = width();
        storedHeight_ = height();
    }
    NotifyEventList(dxntSetSurfaceSize);
    if (AutoInitialize && !Designing() && !loadInitialized_ &&
        (!options_.Contains(doFullScreen) || !form_)) {
        loadInitialized_ = true;
        Initialize();
    }
}

// ---- listeners

void TCustomDXDraw::RegisterNotifyEvent(TDXDrawNotifyEvent callback, void* owner) {
    UnRegisterNotifyEvent(callback, owner);
    listeners_.push_back(Listener{callback, owner});
    callback(owner, *this, dxntSetSurfaceSize);
    if (initialized_) {
        callback(owner, *this, dxntInitialize);
        if (restoreHold_ <= 0) callback(owner, *this, dxntRestore);
    }
}

void TCustomDXDraw::UnRegisterNotifyEvent(TDXDrawNotifyEvent callback, void* owner) {
    const auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) {
        return l.callback == callback && l.owner == owner;
    });
    if (it == listeners_.end()) return;
    listeners_.erase(it);
    if (initialized_) callback(owner, *this, dxntFinalize);
}

void TCustomDXDraw::NotifyEventList(TDXDrawNotifyType kind) {
    // Last registered first. A listener may leave while being told; the
    // index is checked against the list as it is now.
    for (std::size_t i = listeners_.size(); i > 0; --i) {
        if (i > listeners_.size()) continue;
        const Listener l = listeners_[i - 1];
        l.callback(l.owner, *this, kind);
    }
}

// ---- initialisation and finalisation

void TCustomDXDraw::Initialize() {
    initializeOnce_ = true;
    Finalize();
    if (!form_) throw EDXDrawError(dxconsts::SNotFoundForm);

    try {
        if (OnInitializing) OnInitializing(this);
        updating_ = true;
        mustFinalize_ = true;
        {
            Finally clearUpdating([this] { updating_ = false; });
            NotifyEventList(dxntInitializing);

            const bool fullScreenHardware3D = options_.Contains(doFullScreen) && options_.Contains(do3D) &&
                                              options_.Contains(doHardware) &&
                                              !options_.Contains(doSystemMemory);
            if (fullScreenHardware3D) {
                std::uint32_t request = 0;
                if (options_.Contains(doSelectDriver)) request |= dxdevice::kSelectDriver;
                if (display_.FixedBitCount) request |= dxdevice::kFixedBitCount;
                if (options_.Contains(doTexture)) request |= dxdevice::kTexture;
                if (options_.Contains(doRGB)) request |= dxdevice::kRGB;
                if (options_.Contains(doMono)) request |= dxdevice::kMono;
                int bitCount = display_.BitCount();
                driverGUID_ = dxdevice::ChooseDisplayDriver(request, options_.Contains(doSelectDriver),
                                                            driverGUID_, bitCount);
                display_.SetBitCount(bitCount);
            }
            const bool useDriverGUID = activeOptions_.Contains(doFullScreen) &&
                                       activeOptions_.Contains(doHardware) &&
                                       !activeOptions_.Contains(doSystemMemory) && driverGUID_;
            ddraw_ = std::make_unique<TDirectDraw>(useDriverGUID ? &*driverGUID_ : nullptr);
            if (activeOptions_.Contains(doFlip)) driver_ = std::make_unique<TDXDrawDriverFlip>(*this);
            else driver_ = std::make_unique<TDXDrawDriverBlt>(*this);

            SetCooperativeLevel();
            if (activeOptions_.Contains(doFullScreen)) SetDisplayMode();
            if (autoSize_) {
                storedWidth_ = width();
                storedHeight_ = height();
            }
            driver_->Initialize();
        }
        initialized_ = true;
        ++restoreHold_;
    } catch (...) {
        Finalize();
        throw;
    }

    {
        Finally lowerHold([this] { --restoreHold_; });
        NotifyEventList(dxntSetSurfaceSize);
        NotifyEventList(dxntInitialize);
        calledInitialize_ = true;
        if (OnInitialize) OnInitialize(this);
        NotifyEventList(dxntInitializeSurface);
        calledInitializeSurface_ = true;
        if (OnInitializeSurface) OnInitializeSurface(this);
    }
    Restore();
}

void TCustomDXDraw::Finalize() {
    if (!mustFinalize_) return;
    storedWidth_ = SurfaceWidth();
    storedHeight_ = SurfaceHeight();
    display_.ClearModes();
    updating_ = true;

    Finally last([this] {
        mustFinalize_ = false;
        initialized_ = false;
        SetOptions(options_);
        driver_.reset();
        ddraw_.reset();
        updating_ = false;
    });
    {
        Finally sendFinalizeSurface([this] { NotifyEventList(dxntFinalizeSurface); });
        if (calledInitializeSurface_) {
            calledInitializeSurface_ = false;
            if (OnFinalizeSurface) OnFinalizeSurface(this);
        }
    }
    {
        Finally sendFinalize([this] { NotifyEventList(dxntFinalize); });
        if (calledInitialize_) {
            calledInitialize_ = false;
            if (OnFinalize) OnFinalize(this);
        }
    }
}

void TCustomDXDraw::SetCooperativeLevel() {
    DWORD flags;
    if (activeOptions_.Contains(doFullScreen)) {
        flags = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWMODEX;
        if (activeOptions_.Contains(doNoWindowChange)) flags |= DDSCL_NOWINDOWCHANGES;
        if (activeOptions_.Contains(doAllowReboot)) flags |= DDSCL_ALLOWREBOOT;
    } else {
        flags = DDSCL_NORMAL;
    }
    // The control stands for the form's window: it is the window the display
    // layer writes into.
    ddraw_->SetLastResult(ddraw_->IDraw()->SetCooperativeLevel(this, flags));
}

void TCustomDXDraw::SetDisplayMode() {
    IDirectDraw* dd = ddraw_->IDraw();
    const int w = display_.Width, h = display_.Height, bits = display_.BitCount();
    if (w > 0 && h > 0) {
        ddraw_->SetLastResult(dd->SetDisplayMode(static_cast<DWORD>(w), static_cast<DWORD>(h),
                                                 static_cast<DWORD>(bits)));
        if (Succeeded(ddraw_->LastResult())) return;
        const auto mode = dxdevice::ChooseDisplayMode(display_.Modes(), w, h, bits, display_.FixedRatio,
                                                      display_.FixedSize, display_.FixedBitCount);
        if (mode) {
            ddraw_->SetLastResult(dd->SetDisplayMode(static_cast<DWORD>(mode->Width()),
                                                     static_cast<DWORD>(mode->Height()),
                                                     static_cast<DWORD>(mode->BitCount())));
            if (Succeeded(ddraw_->LastResult())) {
                display_.Width = mode->Width();
                display_.Height = mode->Height();
                display_.SetBitCount(mode->BitCount());
                return;
            }
        }
    }
    throw EDXDrawError(dxconsts::DisplayModeMessage(w, h, bits));
}

// ---- palette

std::vector<PALETTEENTRY> TCustomDXDraw::ConvertColorTable(const TColorTable& table) const {
    std::vector<PALETTEENTRY> entries(256);
    for (std::size_t i = 0; i < 256; ++i)
        entries[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, table[i].rgbReserved};
    if (!activeOptions_.Contains(doAllowPalette256)) {
        const auto system = SystemPaletteEntries();
        for (std::size_t i = 0; i < 10; ++i) entries[i] = system[i];
        for (std::size_t i = 246; i < 256; ++i) entries[i] = system[i];
    }
    for (PALETTEENTRY& e : entries) e.peFlags = kPaletteNoCollapse;
    return entries;
}

void TCustomDXDraw::SetColorTable(const TColorTable& table) {
    if (!initialized_ || !palette_) return;
    const auto entries = ConvertColorTable(table);
    palette_->SetEntries(0, 256, entries.data());
}

void TCustomDXDraw::ApplyPalette() { SetColorTable(ColorTable); }

// ---- drawing

bool TCustomDXDraw::CheckSurfaces() {
    if (!initialized_ || updating_ || !primary_ || !primary_->Interface()) return false;
    primary_->SetLastResult(primary_->Interface()->IsLost());
    if (primary_->LastResult() != DDERR_SURFACELOST) return true;
    Restore();
    if (!primary_ || !primary_->Interface()) return false;
    primary_->SetLastResult(primary_->Interface()->IsLost());
    return primary_->LastResult() == DD_OK;
}

bool TCustomDXDraw::ReadyToDraw() {
    if (!initialized_ || updating_) return false;
    if (!back_ || !back_->Interface()) return false;
    return CheckSurfaces();
}

void TCustomDXDraw::Restore() {
    if (!initialized_ || updating_) return;
    updating_ = true;
    Finally clear([this] { updating_ = false; });
    if (!primary_->Restore() || !back_->Restore()) return;
    primary_->Fill(0);
    back_->Fill(0);
    if (palette_) {
        primary_->SetPalette(palette_.get());
        back_->SetPalette(palette_.get());
    }
    SetColorTable(DefaultColorTable);
    if (OnRestoreSurface) OnRestoreSurface(this);
    NotifyEventList(dxntRestore);
    SetColorTable(ColorTable);
}

void TCustomDXDraw::Render() {
    if (!initialized_ || !activeOptions_.Contains(do3D) || !activeOptions_.Contains(doRetainedMode)) return;
    if (!viewport_ || !rmDevice_) return;
    // The rasteriser may leave the floating-point state changed; start and
    // end from the default one.
    std::fesetenv(FE_DFL_ENV);
    viewport_->Clear();
    viewport_->Render(scene_.Get());
    rmDevice_->Update();
    std::fesetenv(FE_DFL_ENV);
}

void TCustomDXDraw::Flip() {
    if (!initialized_ || updating_) return;
    if (!CheckSurfaces()) return;
    driver_->Flip();
}

// ---- the window

POINT TCustomDXDraw::ClientOrigin() const {
    const QPoint p = mapToGlobal(QPoint(0, 0));
    return POINT{p.x(), p.y()};
}

WindowPicture TCustomDXDraw::LockPicture() {
    if (picture_.size() != size()) {
        picture_ = QImage(size(), QImage::Format_RGB32);
        picture_.fill(palette().color(QPalette::Button));
    }
    if (picture_.isNull()) return WindowPicture{};
    return WindowPicture{reinterpret_cast<std::uint32_t*>(picture_.bits()), picture_.width(), picture_.height(),
                         static_cast<int>(picture_.bytesPerLine())};
}

void TCustomDXDraw::UnlockPicture(const RECT& changed) {
    if (changed.left >= changed.right || changed.top >= changed.bottom) return;
    presentPending_ = true;
    if (!inPaint_)
        update(QRect(changed.left, changed.top, changed.right - changed.left, changed.bottom - changed.top));
}

void TCustomDXDraw::paintEvent(QPaintEvent* event) {
    // A paint that no frame asked for means the window was uncovered: show
    // the last frame again at once, without waiting for the blank.
    if (!presentPending_ && initialized_ && !inPaint_) {
        inPaint_ = true;
        const bool waited = activeOptions_.Contains(doWaitVBlank);
        activeOptions_.Exclude(doWaitVBlank);
        Finally restoreWait([&] {
            if (waited) activeOptions_.Include(doWaitVBlank);
            inPaint_ = false;
        });
        Flip();
    }
    presentPending_ = false;
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(event->rect(), palette().color(QPalette::Button));
        return;
    }
    painter.drawImage(event->rect(), picture_, event->rect());
    if (picture_.width() < width() || picture_.height() < height()) {
        const QRegion rest = QRegion(event->rect()) - QRegion(picture_.rect());
        for (const QRect& r : rest) painter.fillRect(r, palette().color(QPalette::Button));
    }
}

void TCustomDXDraw::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (autoSize_ && !updating_ && !Loading()) ApplySurfaceSize(width(), height());
}

namespace {
TMouseButton ButtonOf(Qt::MouseButton b) {
    if (b == Qt::RightButton) return TMouseButton::mbRight;
    if (b == Qt::MiddleButton) return TMouseButton::mbMiddle;
    return TMouseButton::mbLeft;
}
}  // namespace

void TCustomDXDraw::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, ButtonOf(event->button()), event->modifiers(), p.x(), p.y());
}

void TCustomDXDraw::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), p.x(), p.y());
}

void TCustomDXDraw::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseUp) OnMouseUp(this, ButtonOf(event->button()), event->modifiers(), p.x(), p.y());
}

bool TCustomDXDraw::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ParentChange:
            AttachToForm();
            break;
        case QEvent::ApplicationPaletteChange:
            // Colours of the desktop changed: in the foreground, rebuild.
            if (isActiveWindow()) {
                Restore();
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

// ---- the form hook

void TCustomDXDraw::AttachToForm() {
    QWidget* form = nullptr;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (w->isWindow()) {
            form = w;
            break;
        }
    }
    if (form == form_) return;
    DetachFromForm();
    form_ = form;
    if (form_ && !Designing()) form_->installEventFilter(this);
}

void TCustomDXDraw::DetachFromForm() {
    if (form_) form_->removeEventFilter(this);
    form_ = nullptr;
}

bool TCustomDXDraw::eventFilter(QObject* watched, QEvent* event) {
    if (watched != form_) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            if (initialized_ && activeOptions_.Contains(doFullScreen) && activeOptions_.Contains(doFlip))
                ddraw_->SetLastResult(ddraw_->IDraw()->FlipToGDISurface());
            break;
        case QEvent::Show:
            if (AutoInitialize && !initializeOnce_) {
                // The form handles its showing first; then the control starts.
                static_cast<QObject*>(form_)->event(event);
                Initialize();
                return true;
            }
            break;
        default:
            break;
    }
    return false;
}

// ---------------------------------------------------------------- drivers

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw& owner) : dx_(owner) {}

TDXDrawDriver::~TDXDrawDriver() { Finalize(); }

bool TDXDrawDriver::SetSize(int, int) { return false; }

void TDXDrawDriver::Finalize() {
    dx_.Release3D();
    if (dx_.zbuffer_) {
        if (dx_.back_ && dx_.back_->Interface() && dx_.zbuffer_->Interface())
            dx_.back_->SetLastResult(dx_.back_->Interface()->DeleteAttachedSurface(0, dx_.zbuffer_->Interface()));
        dx_.zbuffer_.reset();
    }
    dx_.clipper_.reset();
    dx_.palette_.reset();
    dx_.back_.reset();
    dx_.primary_.reset();
    dx_.rm2_.Reset();
    dx_.rm_.Reset();
}

void TDXDrawDriverBlt::Initialize() {
    TCustomDXDraw& dx = dx_;
    dx.primary_ = std::make_unique<TDirectDrawSurface>(*dx.ddraw_);
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (!dx.primary_->CreateSurface(desc))
        throw EDXDrawError(FormatMessage(dxconsts::SCannotMade, dxconsts::SPrimarySurface));

    dx.back_ = std::make_unique<TDirectDrawSurface>(*dx.ddraw_);

    dx.clipper_ = std::make_unique<TDirectDrawClipper>(*dx.ddraw_);
    dx.clipper_->SetHandle(&dx);
    dx.primary_->SetClipper(dx.clipper_.get());

    dx.palette_ = std::make_unique<TDirectDrawPalette>(*dx.ddraw_);
    const auto entries = dx.ConvertColorTable(dx.ColorTable);
    DWORD caps = DDPCAPS_8BIT | DDPCAPS_INITIALIZE;
    if (dx.activeOptions_.Contains(doAllowPalette256)) caps |= DDPCAPS_ALLOW256;
    dx.palette_->CreatePalette(caps, entries.data());
    dx.primary_->SetPalette(dx.palette_.get());

    dx.MakeBackSurface();
}

void TCustomDXDraw::MakeBackSurface() {
    back_->SetInterface(nullptr);
    activeOptions_.Exclude(doSystemMemory);
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = static_cast<DWORD>(std::max(SurfaceWidth(), 1));
    desc.dwHeight = static_cast<DWORD>(std::max(SurfaceHeight(), 1));
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (options_.Contains(doSystemMemory)) desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (activeOptions_.Contains(do3D)) desc.ddsCaps.dwCaps |= DDSCAPS_3DDEVICE;
    if (!back_->CreateSurface(desc)) {
        desc.ddsCaps.dwCaps = (desc.ddsCaps.dwCaps & ~DDSCAPS_VIDEOMEMORY) | DDSCAPS_SYSTEMMEMORY;
        if (!back_->CreateSurface(desc))
            throw EDXDrawError(FormatMessage(dxconsts::SCannotMade, dxconsts::SSurface));
    }
    if (!(back_->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY)) activeOptions_.Include(doSystemMemory);
    if (palette_) back_->SetPalette(palette_.get());
    back_->Fill(0);
    if (activeOptions_.Contains(do3D)) Setup3D();
}

void TDXDrawDriverBlt::Flip() {
    TCustomDXDraw& dx = dx_;
    const POINT origin = dx.ClientOrigin();
    RECT dest;
    const TDXDrawOptions a = dx.activeOptions_;
    if (a.Contains(doStretch)) {
        dest = RECT{origin.x, origin.y, origin.x + dx.width(), origin.y + dx.height()};
    } else {
        int x = origin.x, y = origin.y;
        const int bw = dx.back_->Width(), bh = dx.back_->Height();
        if (a.Contains(doCenter)) {
            x += (dx.width() - bw) / 2;   // C++ division truncates toward zero
            y += (dx.height() - bh) / 2;
        }
        dest = RECT{x, y, x + bw, y + bh};
    }
    if (a.Contains(doWaitVBlank))
        dx.ddraw_->SetLastResult(dx.ddraw_->IDraw()->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr));
    DDBLTFX fx;
    const TRect destRect{dest.left, dest.top, dest.right, dest.bottom};
    const TRect whole = dx.back_->ClientRect();
    dx.primary_->Blt(&destRect, &whole, DDBLT_WAIT, fx, dx.back_.get());
}

bool TDXDrawDriverBlt::SetSize(int width, int height) {
    TCustomDXDraw& dx = dx_;
    dx.storedWidth_ = std::max(width, 1);
    dx.storedHeight_ = std::max(height, 1);
    ++dx.restoreHold_;
    {
        Finally lowerHold([&dx] { --dx.restoreHold_; });
        dx.updating_ = true;
        Finally clearUpdating([&dx] { dx.updating_ = false; });
        dx.NotifyEventList(dxntFinalizeSurface);
        if (dx.calledInitializeSurface_) {
            dx.calledInitializeSurface_ = false;
            if (dx.OnFinalizeSurface) dx.OnFinalizeSurface(&dx);
        }
        dx.MakeBackSurface();
        dx.NotifyEventList(dxntInitializeSurface);
        dx.calledInitializeSurface_ = true;
        if (dx.OnInitializeSurface) dx.OnInitializeSurface(&dx);
    }
    dx.Restore();
    dx.back_->Fill(0);
    return true;
}

void TDXDrawDriverFlip::Initialize() {
    TCustomDXDraw& dx = dx_;
    dx.primary_ = std::make_unique<TDirectDrawSurface>(*dx.ddraw_);
    DDSURFACEDESC desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if (dx.activeOptions_.Contains(do3D)) desc.ddsCaps.dwCaps |= DDSCAPS_3DDEVICE;
    if (!dx.primary_->CreateSurface(desc))
        throw EDXDrawError(FormatMessage(dxconsts::SCannotMade, dxconsts::SPrimarySurface));

    dx.back_ = std::make_unique<TDirectDrawSurface>(*dx.ddraw_);
    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* raw = nullptr;
    dx.primary_->SetLastResult(dx.primary_->ISurface()->GetAttachedSurface(&backCaps, &raw));
    dx.back_->SetInterface(ComPtr<IDirectDrawSurface>::Adopt(raw));
    dx.activeOptions_.Set(doSystemMemory,
                          (dx.back_->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) != 0);

    dx.clipper_ = std::make_unique<TDirectDrawClipper>(*dx.ddraw_);

    dx.palette_ = std::make_unique<TDirectDrawPalette>(*dx.ddraw_);
    const auto entries = dx.ConvertColorTable(dx.ColorTable);
    DWORD caps = DDPCAPS_8BIT;
    if (dx.options_.Contains(doAllowPalette256)) caps |= DDPCAPS_ALLOW256;
    dx.palette_->CreatePalette(caps, entries.data());
    dx.primary_->SetPalette(dx.palette_.get());
    if (dx.back_->Interface()) dx.back_->SetPalette(dx.palette_.get());

    if (dx.activeOptions_.Contains(do3D) && dx.back_->Interface()) dx.Setup3D();
}

void TDXDrawDriverFlip::Flip() {
    TCustomDXDraw& dx = dx_;
    if (dx.form_ && dx.form_->isActiveWindow())
        dx.primary_->SetLastResult(dx.primary_->ISurface()->Flip(nullptr, DDFLIP_WAIT));
    else
        dx.primary_->SetLastResult(DD_OK);
}

// ---------------------------------------------------------------- 3D set-up

void TCustomDXDraw::Release3D() {
    viewport_.Reset();
    camera_.Reset();
    scene_.Reset();
    rmDevice2_.Reset();
    rmDevice_.Reset();
    d3dDevice2_.Reset();
    d3dDevice_.Reset();
    d3d2_.Reset();
    d3d_.Reset();
}

void TCustomDXDraw::Setup3D() {
    // A remade back surface gets new devices; scene and camera stay.
    viewport_.Reset();
    rmDevice2_.Reset();
    rmDevice_.Reset();
    d3dDevice2_.Reset();
    d3dDevice_.Reset();
    d3d2_.Reset();
    d3d_.Reset();
    if (zbuffer_) {
        if (back_->Interface() && zbuffer_->Interface())
            back_->Interface()->DeleteAttachedSurface(0, zbuffer_->Interface());
        zbuffer_.reset();
    }

    try {
        std::uint32_t request = 0;
        if (options_.Contains(doSelectDriver)) request |= dxdevice::kSelectDriver;
        if (options_.Contains(doHardware)) request |= dxdevice::kHardware;
        if (activeOptions_.Contains(doRetainedMode)) request |= dxdevice::kRetainedMode;
        if (activeOptions_.Contains(doDrawPrimitive)) request |= dxdevice::kDrawPrimitive;
        if (options_.Contains(doZBuffer)) request |= dxdevice::kZBuffer;
        if (options_.Contains(doTexture)) request |= dxdevice::kTexture;
        if (options_.Contains(doRGB)) request |= dxdevice::kRGB;
        if (options_.Contains(doMono)) request |= dxdevice::kMono;
        if (options_.Contains(doDither)) request |= dxdevice::kDither;
        std::uint32_t result = 0;

        // The 3D object of the DirectDraw object, and its DirectX 5 form.
        if (d3drm::Failed(d3drm::Direct3DCreate(d3d_)) || !d3d_)
            throw EIntfCastError(dxconsts::SInterfaceNotSupported);
        d3d2_ = d3d_;
        if (!d3d2_ && (request & dxdevice::kDrawPrimitive)) throw EDXDrawError(dxconsts::SNecessaryDirectX5);
        if (d3d2_) result |= dxdevice::kDrawPrimitive;

        const bool backInVideo = (back_->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0;
        bool hardware = dxdevice::HardwareAllowed(ddraw_->DriverCaps(), backInVideo, request, result);
        const int bitCount = back_->BitCount();
        dxdevice::DeviceSearch search = dxdevice::Find3DDevice(*d3d_, bitCount, request, hardware);

        const auto target = std::make_shared<SurfaceTarget>(ComPtr<IDirectDrawSurface>::Share(back_->ISurface()));
        const bool dither = (request & dxdevice::kDither) != 0;

        // Z-buffer for the chosen device, deepest preference 16, 24, 32.
        const auto makeZBuffer = [&] {
            if (!(request & dxdevice::kZBuffer)) return;
            const std::uint32_t depths = search.chosen.dwDeviceZBufferBitDepth;
            int depth = 0;
            if (depths & d3drm::DDBD_16) depth = 16;
            else if (depths & d3drm::DDBD_24) depth = 24;
            else if (depths & d3drm::DDBD_32) depth = 32;
            if (!depth) return;
            zbuffer_ = std::make_unique<TDirectDrawSurface>(*ddraw_);
            DDSURFACEDESC z;
            z.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_ZBUFFERBITDEPTH;
            z.dwWidth = static_cast<DWORD>(back_->Width());
            z.dwHeight = static_cast<DWORD>(back_->Height());
            z.dwZBufferBitDepth = static_cast<DWORD>(depth);
            z.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | (search.chosenIsHardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
            if (zbuffer_->CreateSurface(z)) {
                back_->SetLastResult(back_->ISurface()->AddAttachedSurface(zbuffer_->Interface()));
                if (Succeeded(back_->LastResult())) return;
            }
            zbuffer_.reset();
        };
        makeZBuffer();

        if (request & dxdevice::kRetainedMode) {
            if (!rm_) {
                const auto create = DXLoadEntry<decltype(&d3drm::Direct3DRMCreate)>("D3DRM.dll", "Direct3DRMCreate");
                if (d3drm::Failed(create(rm_)) || !rm_)
                    throw EDXDrawError(FormatMessage(dxconsts::SDirectXNotInitialized, dxconsts::SDirect3DRM));
                if (d3d2_) rm2_ = rm_;
            }
            const bool viaDX5 = static_cast<bool>(rm2_);
            d3drm::IDirect3DRM* factory = viaDX5 ? rm2_.Get() : rm_.Get();
            d3drm::HRESULT made = factory->CreateDeviceFromSurface(&search.guid, target, rmDevice2_);
            if (d3drm::Failed(made) && hardware) {
                hardware = false;
                search = dxdevice::Find3DDevice(*d3d_, bitCount, request, hardware);
                made = factory->CreateDeviceFromSurface(&search.guid, target, rmDevice2_);
            }
            if (d3drm::Failed(made) || !rmDevice2_)
                throw EDXDrawError(FormatMessage(dxconsts::SCannotMade, viaDX5 ? dxconsts::SIDirect3DRMDevice2
                                                                               : dxconsts::SIDirect3DRMDevice));
            rmDevice2_->GetDirect3DDevice(d3dDevice_);
            rmDevice2_->GetDirect3DDevice(d3dDevice2_);
            rmDevice_ = rmDevice2_;
            if (!viaDX5) rmDevice2_.Reset();

            rmDevice_->SetBufferCount(2);
            rmDevice_->SetQuality(d3drm::D3DRMRENDER_GOURAUD);
            rmDevice_->SetTextureQuality(d3drm::D3DRMTEXTURE_NEAREST);
            rmDevice_->SetDither(dither);
            if (dither) result |= dxdevice::kDither;
            if (bitCount == 8) rmDevice_->SetShades(8);
            rm_->SetDefaultTextureColors(64);
            rm_->SetDefaultTextureShades(32);

            if (!scene_) {
                rm_->CreateFrame(nullptr, scene_);
                rm_->CreateFrame(scene_.Get(), camera_);
                camera_->SetPosition(camera_.Get(), 0, 0, 0);
            }
            rm_->CreateViewport(rmDevice_.Get(), camera_.Get(), 0, 0, back_->Width(), back_->Height(), viewport_);
            if (viewport_) viewport_->SetBack(5000.0f);
            result |= dxdevice::kRetainedMode;
        } else {
            d3drm::Ref<d3drm::IDirect3DDevice> device;
            const d3drm::HRESULT made = d3d2_ ? d3d2_->CreateDevice(search.guid, target, device)
                                              : d3d_->CreateDevice(search.guid, target, device);
            if (d3drm::Failed(made) || !device)
                throw EDXDrawError(FormatMessage(dxconsts::SCannotMade, d3d2_ ? dxconsts::SIDirect3DDevice2
                                                                              : dxconsts::SIDirect3DDevice));
            d3dDevice_ = device;
            if (d3d2_) d3dDevice2_ = device;
            device->SetRenderState(d3drm::D3DRENDERSTATE_DITHERENABLE, dither ? 1 : 0);
            device->SetRenderState(d3drm::D3DRENDERSTATE_ZENABLE, zbuffer_ ? 1 : 0);
            device->SetRenderState(d3drm::D3DRENDERSTATE_ZWRITEENABLE, zbuffer_ ? 1 : 0);
            if (dither) result |= dxdevice::kDither;
        }

        if (search.chosenIsHardware) result |= dxdevice::kHardware;
        if (search.chosen.dcmColorModel == d3drm::D3DCOLOR_RGB) result |= dxdevice::kRGB;
        else if (search.chosen.dcmColorModel == d3drm::D3DCOLOR_MONO) result |= dxdevice::kMono;
        if (zbuffer_) result |= dxdevice::kZBuffer;

        static constexpr std::pair<std::uint32_t, TDXDrawOption> kResultBits[] = {
            {dxdevice::kHardware, doHardware},         {dxdevice::kRetainedMode, doRetainedMode},
            {dxdevice::kDrawPrimitive, doDrawPrimitive}, {dxdevice::kSelectDriver, doSelectDriver},
            {dxdevice::kZBuffer, doZBuffer},           {dxdevice::kTexture, doTexture},
            {dxdevice::kRGB, doRGB},                   {dxdevice::kMono, doMono},
            {dxdevice::kDither, doDither}};
        for (const auto& [bit, option] : kResultBits) activeOptions_.Set(option, (result & bit) != 0);
    } catch (...) {
        Release3D();
        if (zbuffer_) {
            if (back_->Interface() && zbuffer_->Interface())
                back_->Interface()->DeleteAttachedSurface(0, zbuffer_->Interface());
            zbuffer_.reset();
        }
        throw;
    }
}
