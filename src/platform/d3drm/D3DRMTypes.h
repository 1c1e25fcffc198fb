// Basic types, result codes and constants of the retained-mode 3D layer.
//
// The numeric values are those the callers pass and test (quality 137,
// D3DRMLIGHT_DIRECTIONAL 3, D3DRMTEXTURE_LINEAR 1, ...), so code written
// against the platform's names runs unchanged on this layer.
#pragma once

#include <cstdint>
#include <cstring>

namespace d3drm {

using HRESULT = int32_t;
using D3DVALUE = float;
using D3DCOLOR = uint32_t;  // 0xAARRGGBB
using D3DCOLORMODEL = uint32_t;

// ---- Result codes -----------------------------------------------------------

constexpr HRESULT MakeResult(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT D3DRM_OK = 0;
constexpr HRESULT D3D_OK = 0;
constexpr HRESULT D3DRMERR_BADOBJECT = MakeResult(781);
constexpr HRESULT D3DRMERR_BADTYPE = MakeResult(782);
constexpr HRESULT D3DRMERR_BADALLOC = MakeResult(783);
constexpr HRESULT D3DRMERR_NOTFOUND = MakeResult(785);
constexpr HRESULT D3DRMERR_FILENOTFOUND = MakeResult(787);
constexpr HRESULT D3DRMERR_BADFILE = MakeResult(788);
constexpr HRESULT D3DRMERR_BADDEVICE = MakeResult(789);
constexpr HRESULT D3DRMERR_BADVALUE = MakeResult(790);
constexpr HRESULT DDERR_SURFACELOST = MakeResult(450);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);

constexpr bool Succeeded(HRESULT r) { return r >= 0; }
constexpr bool Failed(HRESULT r) { return r < 0; }

// ---- Identifiers ------------------------------------------------------------

// A 16-byte identifier; two identifiers are equal when all 16 bytes are.
struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    friend bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
};
static_assert(sizeof(GUID) == 16);

// ---- Vectors and colours ----------------------------------------------------

struct D3DVECTOR {
    D3DVALUE x = 0, y = 0, z = 0;
};

struct D3DRMBOX {
    D3DVECTOR min, max;
};

// Colour helpers: components in 0..1 are scaled to bytes and clamped.
D3DCOLOR D3DRMCreateColorRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue);
D3DCOLOR D3DRMCreateColorRGBA(D3DVALUE red, D3DVALUE green, D3DVALUE blue, D3DVALUE alpha);
inline D3DVALUE D3DRMColorGetRed(D3DCOLOR c) { return static_cast<D3DVALUE>((c >> 16) & 0xFF) / 255.0f; }
inline D3DVALUE D3DRMColorGetGreen(D3DCOLOR c) { return static_cast<D3DVALUE>((c >> 8) & 0xFF) / 255.0f; }
inline D3DVALUE D3DRMColorGetBlue(D3DCOLOR c) { return static_cast<D3DVALUE>(c & 0xFF) / 255.0f; }
inline D3DVALUE D3DRMColorGetAlpha(D3DCOLOR c) { return static_cast<D3DVALUE>(c >> 24) / 255.0f; }

// ---- Lights -----------------------------------------------------------------

enum D3DRMLIGHTTYPE : uint32_t {
    D3DRMLIGHT_AMBIENT = 0,
    D3DRMLIGHT_POINT = 1,
    D3DRMLIGHT_SPOT = 2,
    D3DRMLIGHT_DIRECTIONAL = 3,
    D3DRMLIGHT_PARALLELPOINT = 4,
};

// ---- Frames -----------------------------------------------------------------

enum D3DRMFRAMECONSTRAINT : uint32_t {
    D3DRMCONSTRAIN_Z = 0,  // turn about the x and y axes only: no roll
    D3DRMCONSTRAIN_Y = 1,
    D3DRMCONSTRAIN_X = 2,
};

// ---- Loading ----------------------------------------------------------------

constexpr uint32_t D3DRMLOAD_FROMFILE = 0x00;
constexpr uint32_t D3DRMLOAD_FROMMEMORY = 0x200;  // not supported: Load reports D3DRMERR_BADVALUE

// ---- Device quality (a render quality word is shade | light | fill) --------

using D3DRMRENDERQUALITY = uint32_t;
constexpr uint32_t D3DRMSHADE_FLAT = 0;
constexpr uint32_t D3DRMSHADE_GOURAUD = 1;
constexpr uint32_t D3DRMSHADE_PHONG = 2;
constexpr uint32_t D3DRMSHADE_MASK = 7;
constexpr uint32_t D3DRMLIGHT_OFF = 0;
constexpr uint32_t D3DRMLIGHT_ON = 8;
constexpr uint32_t D3DRMLIGHT_MASK = 0x38;
constexpr uint32_t D3DRMFILL_POINTS = 0;
constexpr uint32_t D3DRMFILL_WIREFRAME = 0x40;
constexpr uint32_t D3DRMFILL_SOLID = 0x80;
constexpr uint32_t D3DRMFILL_MASK = 0x1C0;

constexpr D3DRMRENDERQUALITY D3DRMRENDER_WIREFRAME = D3DRMSHADE_FLAT | D3DRMLIGHT_OFF | D3DRMFILL_WIREFRAME;
constexpr D3DRMRENDERQUALITY D3DRMRENDER_UNLITFLAT = D3DRMSHADE_FLAT | D3DRMLIGHT_OFF | D3DRMFILL_SOLID;
constexpr D3DRMRENDERQUALITY D3DRMRENDER_FLAT = D3DRMSHADE_FLAT | D3DRMLIGHT_ON | D3DRMFILL_SOLID;
constexpr D3DRMRENDERQUALITY D3DRMRENDER_GOURAUD = D3DRMSHADE_GOURAUD | D3DRMLIGHT_ON | D3DRMFILL_SOLID;  // 137
constexpr D3DRMRENDERQUALITY D3DRMRENDER_PHONG = D3DRMSHADE_PHONG | D3DRMLIGHT_ON | D3DRMFILL_SOLID;

enum D3DRMTEXTUREQUALITY : uint32_t {
    D3DRMTEXTURE_NEAREST = 0,
    D3DRMTEXTURE_LINEAR = 1,
};

// Render mode flags (SetRenderMode).
constexpr uint32_t D3DRMRENDERMODE_BLENDEDTRANSPARENCY = 1;
constexpr uint32_t D3DRMRENDERMODE_SORTEDTRANSPARENCY = 2;

// ---- Device description (3D device enumeration) -----------------------------

constexpr D3DCOLORMODEL D3DCOLOR_MONO = 1;
constexpr D3DCOLORMODEL D3DCOLOR_RGB = 2;

// Render and Z-buffer depth flags, one bit per bits-per-pixel value.
constexpr uint32_t DDBD_1 = 0x4000;
constexpr uint32_t DDBD_2 = 0x2000;
constexpr uint32_t DDBD_4 = 0x1000;
constexpr uint32_t DDBD_8 = 0x0800;
constexpr uint32_t DDBD_16 = 0x0400;
constexpr uint32_t DDBD_24 = 0x0200;
constexpr uint32_t DDBD_32 = 0x0100;

// Triangle capabilities (D3DPRIMCAPS members).
constexpr uint32_t D3DPMISCCAPS_CULLCW = 0x20;
constexpr uint32_t D3DPRASTERCAPS_DITHER = 0x1;
constexpr uint32_t D3DPRASTERCAPS_SUBPIXEL = 0x20;
constexpr uint32_t D3DPRASTERCAPS_ZTEST = 0x10;
constexpr uint32_t D3DPCMPCAPS_GREATER = 0x10;
constexpr uint32_t D3DPSHADECAPS_COLORFLATRGB = 0x2;
constexpr uint32_t D3DPSHADECAPS_COLORGOURAUDRGB = 0x8;
constexpr uint32_t D3DPSHADECAPS_COLORFLATMONO = 0x1;
constexpr uint32_t D3DPSHADECAPS_COLORGOURAUDMONO = 0x4;
constexpr uint32_t D3DPTEXTURECAPS_PERSPECTIVE = 0x1;
constexpr uint32_t D3DPTFILTERCAPS_NEAREST = 0x1;
constexpr uint32_t D3DPTFILTERCAPS_LINEAR = 0x2;
constexpr uint32_t D3DPTBLENDCAPS_MODULATE = 0x8;

// Device capability flags (dwDevCaps).
constexpr uint32_t D3DDEVCAPS_FLOATTLVERTEX = 0x1;
constexpr uint32_t D3DDEVCAPS_SORTINCREASINGZ = 0x2;
constexpr uint32_t D3DDEVCAPS_TLVERTEXSYSTEMMEMORY = 0x40;
constexpr uint32_t D3DDEVCAPS_TEXTURESYSTEMMEMORY = 0x100;

struct D3DPRIMCAPS {
    uint32_t dwMiscCaps = 0;
    uint32_t dwRasterCaps = 0;
    uint32_t dwZCmpCaps = 0;
    uint32_t dwShadeCaps = 0;
    uint32_t dwTextureCaps = 0;
    uint32_t dwTextureFilterCaps = 0;
    uint32_t dwTextureBlendCaps = 0;
};

// What a 3D device can do. A device with dcmColorModel == 0 in its hardware
// description is a software device; this layer offers software devices only.
struct D3DDEVICEDESC {
    D3DCOLORMODEL dcmColorModel = 0;
    uint32_t dwDevCaps = 0;
    D3DPRIMCAPS dpcLineCaps;
    D3DPRIMCAPS dpcTriCaps;
    uint32_t dwDeviceRenderBitDepth = 0;   // DDBD_* flags of the targets it renders to
    uint32_t dwDeviceZBufferBitDepth = 0;  // DDBD_* flags of attachable Z-buffers (none: it keeps its own)
    uint32_t dwMaxTextureWidth = 0;
    uint32_t dwMaxTextureHeight = 0;
};

// Immediate-mode render states understood by IDirect3DDevice::SetRenderState.
enum D3DRENDERSTATETYPE : uint32_t {
    D3DRENDERSTATE_ZENABLE = 7,
    D3DRENDERSTATE_ZWRITEENABLE = 14,
    D3DRENDERSTATE_DITHERENABLE = 26,
};

// Enumeration callback results.
constexpr HRESULT D3DENUMRET_CANCEL = 0;
constexpr HRESULT D3DENUMRET_OK = 1;

}  // namespace d3drm
