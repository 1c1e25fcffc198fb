// The drawing surface: the control that owns the display objects (DirectDraw
// object, primary surface, back surface, clipper, palette) and the retained-
// mode 3D objects, composes frames in its back surface and shows them.
//
// The control is a Qt widget. It is its own window for the display layer: the
// primary surface writes into the control's picture (a 32-bit image the size
// of the control) and the control paints that picture. Presenting a frame is
// one Blt of the back surface into the picture plus an update() of the
// widget; painting draws the picture as it is, pixel for pixel.
//
// Listeners (the image list) register a (callback, owner) pair and are told
// of seven kinds of events, the last registered first.
#pragma once

#include "platform/d3drm/Direct3DRM.h"
#include "platform/ddraw/DDraw.h"
#include "render/DXConsts.h"
#include "render/DirectDraw.h"
#include "toolkit/Component.h"
#include "toolkit/Palette.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

enum TDXDrawOption : std::uint32_t {
    doFullScreen, doNoWindowChange, doAllowReboot, doWaitVBlank, doAllowPalette256,
    doSystemMemory, doStretch, doCenter, doFlip, do3D, doHardware, doRetainedMode,
    doDrawPrimitive, doSelectDriver, doZBuffer, doTexture, doRGB, doMono, doDither,
};

// A set of options stored in 32 bits, bit n for option n.
class TDXDrawOptions {
public:
    constexpr TDXDrawOptions() = default;
    constexpr TDXDrawOptions(std::initializer_list<TDXDrawOption> options) {
        for (TDXDrawOption o : options) bits_ |= Bit(o);
    }
    static constexpr TDXDrawOptions FromBits(std::uint32_t bits) {
        TDXDrawOptions s;
        s.bits_ = bits;
        return s;
    }
    constexpr std::uint32_t Bits() const { return bits_; }
    constexpr bool Contains(TDXDrawOption o) const { return (bits_ & Bit(o)) != 0; }
    constexpr void Include(TDXDrawOption o) { bits_ |= Bit(o); }
    constexpr void Exclude(TDXDrawOption o) { bits_ &= ~Bit(o); }
    constexpr void Set(TDXDrawOption o, bool on) { on ? Include(o) : Exclude(o); }
    constexpr TDXDrawOptions operator+(TDXDrawOptions o) const { return FromBits(bits_ | o.bits_); }
    constexpr TDXDrawOptions operator-(TDXDrawOptions o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TDXDrawOptions operator*(TDXDrawOptions o) const { return FromBits(bits_ & o.bits_); }
    friend constexpr bool operator==(TDXDrawOptions, TDXDrawOptions) = default;

private:
    static constexpr std::uint32_t Bit(TDXDrawOption o) { return std::uint32_t{1} << o; }
    std::uint32_t bits_ = 0;
};

// The ten 3D options, doHardware through doDither.
inline constexpr TDXDrawOptions kDXDraw3DOptions = {
    doHardware, doRetainedMode, doDrawPrimitive, doSelectDriver, doZBuffer,
    doTexture,  doRGB,          doMono,          doDither};
// The options of a control whose layout stores none.
inline constexpr TDXDrawOptions kDXDrawDefaultOptions = {
    doAllowReboot, doWaitVBlank, doCenter, doHardware, doRetainedMode, doDrawPrimitive,
    doSelectDriver, doTexture, doRGB, doMono, doDither};

enum TDXDrawNotifyType {
    dxntInitializing,      // 0 initialisation starts, before the driver is made
    dxntInitialize,        // 1 surfaces and devices exist
    dxntInitializeSurface, // 2 after OnInitialize, and after a size change remade the back surface
    dxntFinalize,          // 3 during finalisation; and to a listener leaving while initialised
    dxntFinalizeSurface,   // 4 during finalisation; and before a size change remakes the back surface
    dxntRestore,           // 5 surfaces were restored (also at the end of every initialisation)
    dxntSetSurfaceSize,    // 6 the surface size changed, load, initialisation, new listener
};

class TCustomDXDraw;
using TDXDrawNotifyEvent = void (*)(void* owner, TCustomDXDraw& sender, TDXDrawNotifyType kind);
using TNotifyEvent = std::function<void(QObject* sender)>;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TMouseEvent = std::function<void(QObject* sender, TMouseButton button,
                                       Qt::KeyboardModifiers shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(QObject* sender, Qt::KeyboardModifiers shift, int x, int y)>;

struct TDirectDrawDisplayMode {
    ddraw::DDSURFACEDESC SurfaceDesc;
    int Width() const { return static_cast<int>(SurfaceDesc.dwWidth); }
    int Height() const { return static_cast<int>(SurfaceDesc.dwHeight); }
    int BitCount() const { return static_cast<int>(SurfaceDesc.ddpfPixelFormat.dwRGBBitCount); }
};

// The wanted full-screen mode and the display modes on offer (full screen only).
class TDirectDrawDisplay {
public:
    explicit TDirectDrawDisplay(TCustomDXDraw& owner) : owner_(owner) {}

    int Width = 640;
    int Height = 480;
    bool FixedBitCount = true;
    bool FixedRatio = true;
    bool FixedSize = false;

    int BitCount() const { return bitCount_; }
    // 8, 16, 24 or 32; anything else raises EDirectDrawError.
    void SetBitCount(int bitCount);

    // The modes the display offers, read on first use (empty before the
    // display objects exist).
    const std::vector<TDirectDrawDisplayMode>& Modes();
    void ClearModes() { modes_.clear(); }

private:
    TCustomDXDraw& owner_;
    int bitCount_ = 8;
    std::vector<TDirectDrawDisplayMode> modes_;
};

class TDXDrawDriver;

class TCustomDXDraw : public QWidget, public TComponent, public ddraw::IWindow {
public:
    explicit TCustomDXDraw(QWidget* parent = nullptr, TComponent* owner = nullptr);
    ~TCustomDXDraw() override;

    // ---- published properties
    bool AutoInitialize = true;
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TDirectDrawDisplay& Display() { return display_; }
    TDXDrawOptions Options() const { return options_; }
    void SetOptions(TDXDrawOptions options);
    // The back surface's size when it exists, else the stored size.
    int SurfaceWidth() const;
    int SurfaceHeight() const;
    void SetSurfaceWidth(int width);
    void SetSurfaceHeight(int height);
    void SetSurfaceSize(int width, int height);

    TNotifyEvent OnInitializing;
    TNotifyEvent OnInitialize;
    TNotifyEvent OnInitializeSurface;
    TNotifyEvent OnFinalize;
    TNotifyEvent OnFinalizeSurface;
    TNotifyEvent OnRestoreSurface;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // ---- operations
    void Initialize();
    void Finalize();
    bool ReadyToDraw();
    void Render();
    void Flip();
    void Restore();
    void ApplyPalette();

    // ---- state
    bool Initialized() const { return initialized_; }
    bool Updating() const { return updating_; }
    TDXDrawOptions ActiveOptions() const { return activeOptions_; }
    TDirectDraw* DDraw() const { return ddraw_.get(); }
    TDirectDrawSurface* PrimarySurface() const { return primary_.get(); }
    TDirectDrawSurface* BackSurface() const { return back_.get(); }
    TDirectDrawSurface* ZBuffer() const { return zbuffer_.get(); }
    TDirectDrawPalette* Palette() const { return palette_.get(); }
    TDirectDrawClipper* Clipper() const { return clipper_.get(); }
    // The form whose window the control lives in (null: none).
    QWidget* Form() const { return form_; }
    // The display driver chosen for full screen (none: the primary one).
    const std::optional<ddraw::GUID>& Driver() const { return driverGUID_; }

    // Colours loaded into the palette, and those loaded first on restore.
    TColorTable ColorTable{};
    TColorTable DefaultColorTable{};

    // ---- 3D interfaces (each may be absent)
    d3drm::IDirect3D* D3D() const { return d3d_.Get(); }
    d3drm::IDirect3D2* D3D2() const { return d3d2_.Get(); }
    d3drm::IDirect3DDevice* D3DDevice() const { return d3dDevice_.Get(); }
    d3drm::IDirect3DDevice2* D3DDevice2() const { return d3dDevice2_.Get(); }
    d3drm::IDirect3DRM* RMObject() const { return rm_.Get(); }
    d3drm::IDirect3DRM2* RMObject2() const { return rm2_.Get(); }
    d3drm::IDirect3DRMDevice* RMDevice() const { return rmDevice_.Get(); }
    d3drm::IDirect3DRMDevice2* RMDevice2() const { return rmDevice2_.Get(); }
    d3drm::IDirect3DRMViewport* Viewport() const { return viewport_.Get(); }
    d3drm::IDirect3DRMFrame* SceneFrame() const { return scene_.Get(); }
    d3drm::IDirect3DRMFrame* CameraFrame() const { return camera_.Get(); }

    // ---- listeners
    void RegisterNotifyEvent(TDXDrawNotifyEvent callback, void* owner);
    void UnRegisterNotifyEvent(TDXDrawNotifyEvent callback, void* owner);

    // ---- the display layer's view of the control's window
    ddraw::POINT ClientOrigin() const override;
    ddraw::WindowPicture LockPicture() override;
    void UnlockPicture(const ddraw::RECT& changed) override;
    // What the window shows now.
    const QImage& Picture() const { return picture_; }

protected:
    void Loaded() override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class TDXDrawDriver;
    friend class TDXDrawDriverBlt;
    friend class TDXDrawDriverFlip;
    friend class TDirectDrawDisplay;

    void NotifyEventList(TDXDrawNotifyType kind);
    bool CheckSurfaces();
    void SetColorTable(const TColorTable& table);
    std::vector<ddraw::PALETTEENTRY> ConvertColorTable(const TColorTable& table) const;
    void AttachToForm();
    void DetachFromForm();
    void SetCooperativeLevel();
    void SetDisplayMode();
    void Release3D();
    void Setup3D();
    void MakeBackSurface();
    void ApplySurfaceSize(int width, int height);

    struct Listener {
        TDXDrawNotifyEvent callback;
        void* owner;
    };

    TDirectDrawDisplay display_;
    TDXDrawOptions options_;
    TDXDrawOptions activeOptions_;
    bool autoSize_ = true;
    int storedWidth_ = 0;
    int storedHeight_ = 0;

    bool initialized_ = false;
    bool initializeOnce_ = false;
    bool loadInitialized_ = false;
    bool mustFinalize_ = false;
    bool updating_ = false;
    int restoreHold_ = 0;
    bool calledInitialize_ = false;
    bool calledInitializeSurface_ = false;

    QWidget* form_ = nullptr;
    std::vector<Listener> listeners_;
    std::optional<ddraw::GUID> driverGUID_;

    // Declared before the objects made on it, so it is destroyed after them.
    std::unique_ptr<TDirectDraw> ddraw_;
    std::unique_ptr<TDXDrawDriver> driver_;
    std::unique_ptr<TDirectDrawSurface> primary_;
    std::unique_ptr<TDirectDrawSurface> back_;
    std::unique_ptr<TDirectDrawClipper> clipper_;
    std::unique_ptr<TDirectDrawPalette> palette_;
    std::unique_ptr<TDirectDrawSurface> zbuffer_;

    d3drm::Ref<d3drm::IDirect3D> d3d_;
    d3drm::Ref<d3drm::IDirect3D2> d3d2_;
    d3drm::Ref<d3drm::IDirect3DDevice> d3dDevice_;
    d3drm::Ref<d3drm::IDirect3DDevice2> d3dDevice2_;
    d3drm::Ref<d3drm::IDirect3DRM> rm_;
    d3drm::Ref<d3drm::IDirect3DRM2> rm2_;
    d3drm::Ref<d3drm::IDirect3DRMDevice> rmDevice_;
    d3drm::Ref<d3drm::IDirect3DRMDevice2> rmDevice2_;
    d3drm::Ref<d3drm::IDirect3DRMViewport> viewport_;
    d3drm::Ref<d3drm::IDirect3DRMFrame> scene_;
    d3drm::Ref<d3drm::IDirect3DRMFrame> camera_;

    QImage picture_;
    bool presentPending_ = false;
    bool inPaint_ = false;
};

// The drawing surface as forms hold it.
class TDXDraw : public TCustomDXDraw {
public:
    using TCustomDXDraw::TCustomDXDraw;
};

// The strategies that make and show the surfaces.
class TDXDrawDriver {
public:
    explicit TDXDrawDriver(TCustomDXDraw& owner);
    virtual ~TDXDrawDriver();
    // Releases everything the driver made (3D, Z-buffer, clipper, palette,
    // surfaces, retained-mode object).
    virtual void Finalize();
    virtual void Flip() = 0;
    virtual void Initialize() = 0;
    // Remakes the back surface at a new size; false: not possible.
    virtual bool SetSize(int width, int height);

protected:
    TCustomDXDraw& dx_;
};

class TDXDrawDriverBlt final : public TDXDrawDriver {
public:
    using TDXDrawDriver::TDXDrawDriver;
    void Flip() override;
    void Initialize() override;
    bool SetSize(int width, int height) override;
};

class TDXDrawDriverFlip final : public TDXDrawDriver {
public:
    using TDXDrawDriver::TDXDrawDriver;
    void Flip() override;
    void Initialize() override;
};

// The screen's system palette: the twenty static colours at 0..9 and
// 246..255, black between them.
std::array<ddraw::PALETTEENTRY, 256> SystemPaletteEntries();

// ---- Display driver and 3D device set-up

namespace dxdevice {

// The 3D request word.
constexpr std::uint32_t kSelectDriver = 1;
constexpr std::uint32_t kFixedBitCount = 2;
constexpr std::uint32_t kHardware = 4;
constexpr std::uint32_t kRetainedMode = 8;
constexpr std::uint32_t kDrawPrimitive = 16;
constexpr std::uint32_t kZBuffer = 32;
constexpr std::uint32_t kTexture = 64;
constexpr std::uint32_t kRGB = 128;
constexpr std::uint32_t kMono = 256;
constexpr std::uint32_t kDither = 512;

// RGB and mono both: RGB only; neither: RGB.
std::uint32_t NormalizeColorModel(std::uint32_t request);

// Whether a hardware device may be used: only for a back surface in video
// memory, with hardware requested and a driver that reports 3D (and, when
// texture is requested, texture surfaces). Adds kTexture to `result` when
// the driver reports texture surfaces.
bool HardwareAllowed(const ddraw::DDCAPS& caps, bool backInVideoMemory, std::uint32_t request,
                     std::uint32_t& result);

struct DeviceSearch {
    bool found = false;
    int bitCount = 0;
    d3drm::D3DDEVICEDESC hardware;
    d3drm::D3DDEVICEDESC software;
    d3drm::D3DDEVICEDESC chosen;  // the description that counts for the chosen device
    bool chosenIsHardware = false;
    std::uint32_t request = 0;
    d3drm::GUID guid;
    bool hardwareAllowed = false;
};

// One step of the enumeration: takes the device if the rules say so.
void ConsiderDevice(DeviceSearch& search, const d3drm::GUID* guid, const d3drm::D3DDEVICEDESC& hardware,
                    const d3drm::D3DDEVICEDESC& software);
// Enumerates the devices of `d3d` and returns the choice; raises EDXDrawError
// "3D device not found" when none fits.
DeviceSearch Find3DDevice(d3drm::IDirect3D& d3d, int bitCount, std::uint32_t request, bool hardwareAllowed);

// The mode to set for a wanted full-screen mode: the exact one when offered,
// else the fall-backs (same ratio first, then any ratio). None: no mode fits.
std::optional<TDirectDrawDisplayMode> ChooseDisplayMode(const std::vector<TDirectDrawDisplayMode>& modes,
                                                        int width, int height, int bitCount,
                                                        bool fixedRatio, bool fixedSize, bool fixedBitCount);

// Full screen with hardware 3D: the display driver whose 3D abilities fit
// best (none: the primary driver). May change `displayBitCount` when the
// request carries kFixedBitCount.
std::optional<ddraw::GUID> ChooseDisplayDriver(std::uint32_t request, bool selectDriver,
                                               const std::optional<ddraw::GUID>& current,
                                               int& displayBitCount);

}  // namespace dxdevice
