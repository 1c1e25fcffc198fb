// The choices the drawing surface makes about the graphics hardware: which
// 3D device renders into the back surface and with which colour model,
// whether hardware may be used, and, for full screen only, the display
// driver and display mode.
#include "render/DXDraws.h"

#include "render/DirectDrawLibrary.h"

#include <bit>

using namespace ddraw;

namespace dxdevice {

std::uint32_t NormalizeColorModel(std::uint32_t request) {
    if ((request & kRGB) && (request & kMono)) request &= ~kMono;
    if (!(request & (kRGB | kMono))) request |= kRGB;
    return request;
}

bool HardwareAllowed(const DDCAPS& caps, bool backInVideoMemory, std::uint32_t request, std::uint32_t& result) {
    bool allowed = backInVideoMemory && (request & kHardware) && (caps.dwCaps & DDCAPS_3D);
    if (caps.ddsCaps.dwCaps & DDSCAPS_TEXTURE) result |= kTexture;
    if ((request & kTexture) && !(result & kTexture)) allowed = false;
    return allowed;
}

void ConsiderDevice(DeviceSearch& search, const d3drm::GUID* guid, const d3drm::D3DDEVICEDESC& hardware,
                    const d3drm::D3DDEVICEDESC& software) {
    const bool isHardware = hardware.dcmColorModel != 0;
    const d3drm::D3DDEVICEDESC& desc = isHardware ? hardware : software;
    if (isHardware && !search.hardwareAllowed) return;
    if (!(desc.dwDeviceRenderBitDepth & d3drm::BitCountToDepthFlag(search.bitCount))) return;

    d3drm::D3DCOLORMODEL wanted = 0;
    if (search.request & kRGB) wanted = d3drm::D3DCOLOR_RGB;
    if (search.request & kMono) wanted = d3drm::D3DCOLOR_MONO;
    // Once a device of the wanted model is chosen, only that model replaces it.
    if (search.found && !isHardware && search.chosen.dcmColorModel == wanted && desc.dcmColorModel != wanted)
        return;
    if (isHardware || !search.chosenIsHardware) {
        search.found = true;
        search.guid = guid ? *guid : d3drm::GUID{};
        search.hardware = hardware;
        search.software = software;
        search.chosen = desc;
        search.chosenIsHardware = isHardware;
    }
}

DeviceSearch Find3DDevice(d3drm::IDirect3D& d3d, int bitCount, std::uint32_t request, bool hardwareAllowed) {
    DeviceSearch search;
    search.bitCount = bitCount;
    search.request = NormalizeColorModel(request);
    search.hardwareAllowed = hardwareAllowed;
    d3d.EnumDevices(
        [](const d3drm::GUID* guid, const char*, const char*, const d3drm::D3DDEVICEDESC* hardware,
           const d3drm::D3DDEVICEDESC* software, void* context) -> d3drm::HRESULT {
            if (hardware && software) ConsiderDevice(*static_cast<DeviceSearch*>(context), guid, *hardware, *software);
            return d3drm::D3DENUMRET_OK;
        },
        &search);
    if (!search.found) throw EDXDrawError(dxconsts::SNotFound3DDevice);
    return search;
}

std::optional<TDirectDrawDisplayMode> ChooseDisplayMode(const std::vector<TDirectDrawDisplayMode>& modes,
                                                        int width, int height, int bitCount, bool fixedRatio,
                                                        bool fixedSize, bool fixedBitCount) {
    for (const auto& m : modes)
        if (m.Width() == width && m.Height() == height && m.BitCount() == bitCount) return m;

    const auto bitsFit = [&](const TDirectDrawDisplayMode& m) {
        if (fixedBitCount) return m.BitCount() == bitCount;
        return m.BitCount() >= bitCount || (m.BitCount() > 8 && bitCount > 8);
    };
    const auto sizeFits = [&](const TDirectDrawDisplayMode& m) {
        return fixedSize ? (m.Width() == width && m.Height() == height)
                         : (m.Width() >= width && m.Height() >= height);
    };
    const auto smallest = [&](bool sameRatio) -> std::optional<TDirectDrawDisplayMode> {
        std::optional<TDirectDrawDisplayMode> best;
        for (const auto& m : modes) {
            if (!bitsFit(m) || !sizeFits(m)) continue;
            if (sameRatio && std::int64_t{m.Width()} * height != std::int64_t{m.Height()} * width) continue;
            const std::int64_t area = std::int64_t{m.Width()} * m.Height();
            if (!best || area < std::int64_t{best->Width()} * best->Height()) best = m;
        }
        return best;
    };
    std::optional<TDirectDrawDisplayMode> chosen;
    if (fixedRatio) chosen = smallest(true);
    if (!chosen) chosen = smallest(false);
    if (!chosen) return std::nullopt;
    // Keep the wanted depth when the chosen size is also offered at it.
    for (const auto& m : modes)
        if (m.Width() == chosen->Width() && m.Height() == chosen->Height() && m.BitCount() == bitCount) return m;
    return chosen;
}

namespace {

struct DriverCandidate {
    std::optional<GUID> guid;
};

int BitsIn(std::uint32_t value) { return std::popcount(value); }

// The capability bits compared between display drivers.
struct DriverAbilities {
    DDCAPS caps;
    d3drm::D3DDEVICEDESC device;

    int Compare(const DriverAbilities& earlier) const {
        const auto sign = [](int a, int b) { return (a > b) - (a < b); };
        const std::uint32_t surfaceMask = DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP;
        int sum = sign(BitsIn(caps.ddsCaps.dwCaps & surfaceMask), BitsIn(earlier.caps.ddsCaps.dwCaps & surfaceMask));
        const auto primCaps = [](const d3drm::D3DPRIMCAPS& p) {
            return BitsIn(p.dwMiscCaps) + BitsIn(p.dwRasterCaps) + BitsIn(p.dwZCmpCaps) + BitsIn(p.dwShadeCaps) +
                   BitsIn(p.dwTextureCaps) + BitsIn(p.dwTextureFilterCaps) + BitsIn(p.dwTextureBlendCaps);
        };
        sum += sign(primCaps(device.dpcLineCaps), primCaps(earlier.device.dpcLineCaps));
        sum += sign(primCaps(device.dpcTriCaps), primCaps(earlier.device.dpcTriCaps));
        sum += sign(BitsIn(device.dwDeviceRenderBitDepth), BitsIn(earlier.device.dwDeviceRenderBitDepth));
        sum += sign(BitsIn(device.dwDeviceZBufferBitDepth), BitsIn(earlier.device.dwDeviceZBufferBitDepth));
        return sum;
    }
};

}  // namespace

std::optional<GUID> ChooseDisplayDriver(std::uint32_t request, bool selectDriver, const std::optional<GUID>& current,
                                        int& displayBitCount) {
    request = NormalizeColorModel(request);
    std::vector<DriverCandidate> drivers;
    const auto enumerate = DXLoadEntry<decltype(&DirectDrawEnumerateA)>("DDraw.dll", "DirectDrawEnumerateA");
    enumerate(
        [](GUID* guid, char*, char*, void* context) -> int {
            auto& list = *static_cast<std::vector<DriverCandidate>*>(context);
            list.push_back(DriverCandidate{guid ? std::optional<GUID>(*guid) : std::nullopt});
            return 1;
        },
        &drivers);

    std::optional<DriverAbilities> best;
    std::optional<GUID> bestGuid;
    d3drm::D3DDEVICEDESC bestDevice;
    for (const DriverCandidate& driver : drivers) {
        if (!selectDriver && driver.guid != current) continue;
        try {
            TDirectDraw dd(driver.guid ? &*driver.guid : nullptr);
            const DDCAPS& caps = dd.DriverCaps();
            if (!(caps.dwCaps & DDCAPS_3D)) continue;
            if ((request & kTexture) && !(caps.ddsCaps.dwCaps & DDSCAPS_TEXTURE)) continue;
            DDSURFACEDESC mode;
            dd.IDraw()->GetDisplayMode(&mode);
            const int currentBits = static_cast<int>(mode.ddpfPixelFormat.dwRGBBitCount);
            const std::uint32_t depthsWanted = (request & kFixedBitCount)
                                                   ? (d3drm::DDBD_16 | d3drm::DDBD_24 | d3drm::DDBD_32)
                                                   : d3drm::BitCountToDepthFlag(currentBits);
            d3drm::Ref<d3drm::IDirect3D> d3d;
            if (d3drm::Failed(d3drm::Direct3DCreate(d3d)) || !d3d) continue;
            struct Found {
                bool any = false;
                std::uint32_t depths;
                d3drm::D3DDEVICEDESC device;
            } found{false, depthsWanted, {}};
            d3d->EnumDevices(
                [](const d3drm::GUID*, const char*, const char*, const d3drm::D3DDEVICEDESC* hardware,
                   const d3drm::D3DDEVICEDESC*, void* context) -> d3drm::HRESULT {
                    auto& f = *static_cast<Found*>(context);
                    if (hardware && hardware->dcmColorModel != 0 && (hardware->dwDeviceRenderBitDepth & f.depths)) {
                        f.any = true;
                        f.device = *hardware;
                    }
                    return d3drm::D3DENUMRET_OK;
                },
                &found);
            if (!found.any) continue;
            DriverAbilities abilities{caps, found.device};
            if (best) {
                if (caps.dwVidMemTotal < best->caps.dwVidMemTotal) continue;
                if (abilities.Compare(*best) < 0) continue;
            }
            best = abilities;
            bestGuid = driver.guid;
            bestDevice = found.device;
        } catch (const Exception&) {
            // A driver that cannot be examined is simply not chosen.
        }
    }
    if (best && (request & kFixedBitCount) &&
        !(bestDevice.dwDeviceRenderBitDepth & d3drm::BitCountToDepthFlag(displayBitCount))) {
        for (int bits : {16, 24, 32}) {
            if (bestDevice.dwDeviceRenderBitDepth & d3drm::BitCountToDepthFlag(bits)) {
                displayBitCount = bits;
                break;
            }
        }
    }
    return best ? bestGuid : current;
}

}  // namespace dxdevice
