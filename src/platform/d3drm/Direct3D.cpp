#include "Direct3D.h"

namespace d3drm {

// Our own identifiers for the two software devices.
const GUID IID_D3DSoftwareMonoDevice = {0x6a1f3c01, 0x5e2b, 0x4c7d, {0x9a, 0x10, 0x3d, 0x52, 0x7e, 0x41, 0x00, 0x01}};
const GUID IID_D3DSoftwareRGBDevice = {0x6a1f3c01, 0x5e2b, 0x4c7d, {0x9a, 0x10, 0x3d, 0x52, 0x7e, 0x41, 0x00, 0x02}};

namespace {

struct DeviceEntry {
    const GUID* guid;
    const char* description;
    const char* name;
    D3DDEVICEDESC software;
};

D3DDEVICEDESC Describe(D3DCOLORMODEL model)
{
    D3DDEVICEDESC d;
    d.dcmColorModel = model;
    d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY;
    D3DPRIMCAPS& tri = d.dpcTriCaps;
    tri.dwMiscCaps = D3DPMISCCAPS_CULLCW;
    tri.dwRasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_SUBPIXEL | D3DPRASTERCAPS_ZTEST;
    tri.dwZCmpCaps = D3DPCMPCAPS_GREATER;
    tri.dwShadeCaps = model == D3DCOLOR_RGB ? D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB
                                            : D3DPSHADECAPS_COLORFLATMONO | D3DPSHADECAPS_COLORGOURAUDMONO;
    tri.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE;
    tri.dwTextureFilterCaps = D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR;
    tri.dwTextureBlendCaps = D3DPTBLENDCAPS_MODULATE;
    d.dpcLineCaps = tri;
    d.dwDeviceRenderBitDepth = DDBD_32;
    d.dwDeviceZBufferBitDepth = 0;
    d.dwMaxTextureWidth = 4096;
    d.dwMaxTextureHeight = 4096;
    return d;
}

const DeviceEntry kDevices[] = {
    {&IID_D3DSoftwareMonoDevice, "Software rasteriser, mono lighting", "Software Mono", Describe(D3DCOLOR_MONO)},
    {&IID_D3DSoftwareRGBDevice, "Software rasteriser, colour lighting", "Software RGB", Describe(D3DCOLOR_RGB)},
};

}  // namespace

uint32_t BitCountToDepthFlag(int bitCount)
{
    switch (bitCount) {
    case 1: return DDBD_1;
    case 2: return DDBD_2;
    case 4: return DDBD_4;
    case 8: return DDBD_8;
    case 16: return DDBD_16;
    case 24: return DDBD_24;
    case 32: return DDBD_32;
    default: return 0;
    }
}

const D3DDEVICEDESC* FindSoftwareDevice(const GUID& guid)
{
    for (const DeviceEntry& entry : kDevices) {
        if (*entry.guid == guid)
            return &entry.software;
    }
    return nullptr;
}

IDirect3DDevice::IDirect3DDevice(const GUID& guid, const D3DDEVICEDESC& description,
                                 std::shared_ptr<ISurfaceTarget> target)
    : guid_(guid), description_(description), target_(std::move(target))
{
}

HRESULT IDirect3DDevice::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value)
{
    switch (state) {
    case D3DRENDERSTATE_DITHERENABLE: dither_ = value != 0; return D3D_OK;
    case D3DRENDERSTATE_ZENABLE: zEnable_ = value; return D3D_OK;
    case D3DRENDERSTATE_ZWRITEENABLE: zWriteEnable_ = value; return D3D_OK;
    }
    return D3DRMERR_BADVALUE;
}

HRESULT IDirect3DDevice::GetRenderState(D3DRENDERSTATETYPE state, uint32_t& value) const
{
    switch (state) {
    case D3DRENDERSTATE_DITHERENABLE: value = dither_ ? 1 : 0; return D3D_OK;
    case D3DRENDERSTATE_ZENABLE: value = zEnable_; return D3D_OK;
    case D3DRENDERSTATE_ZWRITEENABLE: value = zWriteEnable_; return D3D_OK;
    }
    return D3DRMERR_BADVALUE;
}

HRESULT IDirect3DDevice::GetCaps(D3DDEVICEDESC& hardware, D3DDEVICEDESC& software) const
{
    hardware = D3DDEVICEDESC{};
    software = description_;
    return D3D_OK;
}

HRESULT IDirect3D::EnumDevices(LPD3DENUMDEVICESCALLBACK callback, void* context) const
{
    if (!callback)
        return D3DRMERR_BADVALUE;
    const D3DDEVICEDESC noHardware{};
    for (const DeviceEntry& entry : kDevices) {
        GUID guid = *entry.guid;
        if (callback(&guid, entry.description, entry.name, &noHardware, &entry.software, context) ==
            D3DENUMRET_CANCEL)
            break;
    }
    return D3D_OK;
}

HRESULT IDirect3D::CreateDevice(const GUID& guid, std::shared_ptr<ISurfaceTarget> target,
                                Ref<IDirect3DDevice>& device)
{
    device.Reset();
    const D3DDEVICEDESC* description = FindSoftwareDevice(guid);
    if (!description || !target)
        return D3DRMERR_BADDEVICE;
    if (!(description->dwDeviceRenderBitDepth & BitCountToDepthFlag(target->BitCount())))
        return D3DRMERR_BADDEVICE;
    device = Ref<IDirect3DDevice>::Adopt(new IDirect3DDevice(guid, *description, std::move(target)));
    return D3D_OK;
}

HRESULT Direct3DCreate(Ref<IDirect3D>& direct3D)
{
    direct3D = Ref<IDirect3D>::Adopt(new IDirect3D());
    return D3D_OK;
}

}  // namespace d3drm
