// The 3D device choice, the hardware decision and the display mode fall-back.
#include "render/DXDraws.h"

#include <gtest/gtest.h>

namespace {

using namespace dxdevice;

d3drm::D3DDEVICEDESC Desc(d3drm::D3DCOLORMODEL model, std::uint32_t depths) {
    d3drm::D3DDEVICEDESC d;
    d.dcmColorModel = model;
    d.dwDeviceRenderBitDepth = depths;
    return d;
}

struct Device {
    std::uint32_t id;
    bool hardware;
    d3drm::D3DCOLORMODEL model;
    std::uint32_t depths;
};

// Runs the enumeration rules over a list of devices, in order.
DeviceSearch Search(std::initializer_list<Device> devices, int bitCount, std::uint32_t request, bool hardwareAllowed) {
    DeviceSearch s;
    s.bitCount = bitCount;
    s.request = NormalizeColorModel(request);
    s.hardwareAllowed = hardwareAllowed;
    for (const Device& d : devices) {
        d3drm::GUID guid;
        guid.Data1 = d.id;
        const auto desc = Desc(d.model, d.depths);
        ConsiderDevice(s, &guid, d.hardware ? desc : d3drm::D3DDEVICEDESC{}, d.hardware ? d3drm::D3DDEVICEDESC{} : desc);
    }
    return s;
}

constexpr auto MONO = d3drm::D3DCOLOR_MONO;
constexpr auto RGB = d3drm::D3DCOLOR_RGB;
constexpr auto D8 = d3drm::DDBD_8, D16 = d3drm::DDBD_16, D32 = d3drm::DDBD_32;

TEST(DeviceChoice, Rules) {
    struct Row {
        const char* what;
        std::initializer_list<Device> devices;
        int bitCount;
        std::uint32_t request;
        bool hardwareAllowed;
        bool found;
        std::uint32_t chosen;
    };
    const Row rows[] = {
        {"RGB and mono requested: RGB wins", {{1, false, MONO, D32}, {2, false, RGB, D32}}, 32, kRGB | kMono, false, true, 2},
        {"RGB chosen is kept against a later mono", {{2, false, RGB, D32}, {1, false, MONO, D32}}, 32, kRGB | kMono, false, true, 2},
        {"only mono renders at the depth", {{1, false, MONO, D16}, {2, false, RGB, D32}}, 16, kRGB | kMono, false, true, 1},
        {"last fitting software device wins", {{2, false, RGB, D32}, {3, false, RGB, D32}}, 32, kRGB, false, true, 3},
        {"mono wanted", {{2, false, RGB, D32}, {1, false, MONO, D32}, {3, false, RGB, D32}}, 32, kMono, false, true, 1},
        {"hardware skipped when not allowed", {{1, false, RGB, D32}, {9, true, RGB, D32}}, 32, kRGB | kHardware, false, true, 1},
        {"hardware replaces software", {{1, false, RGB, D32}, {9, true, MONO, D32}}, 32, kRGB | kHardware, true, true, 9},
        {"software never replaces hardware", {{9, true, MONO, D32}, {1, false, RGB, D32}}, 32, kRGB, true, true, 9},
        {"no device at the depth", {{1, false, MONO, D32}, {2, false, RGB, D32}}, 8, kRGB, false, false, 0},
        {"neither model requested means RGB", {{2, false, RGB, D8}, {1, false, MONO, D8}}, 8, 0, false, true, 2},
    };
    for (const Row& r : rows) {
        const DeviceSearch s = Search(r.devices, r.bitCount, r.request, r.hardwareAllowed);
        EXPECT_EQ(s.found, r.found) << r.what;
        if (r.found) {
            EXPECT_EQ(s.guid.Data1, r.chosen) << r.what;
        }
    }
}

TEST(DeviceChoice, TheSoftwareDevicesOnOffer) {
    d3drm::Ref<d3drm::IDirect3D> d3d;
    ASSERT_EQ(d3drm::Direct3DCreate(d3d), d3drm::D3D_OK);
    const DeviceSearch s = Find3DDevice(*d3d, 32, kRGB | kMono, false);
    EXPECT_EQ(s.chosen.dcmColorModel, d3drm::D3DCOLOR_RGB);
    EXPECT_FALSE(s.chosenIsHardware);
    try {
        Find3DDevice(*d3d, 8, kRGB, false);
        FAIL() << "no exception";
    } catch (const EDXDrawError& e) {
        EXPECT_STREQ(e.what(), "3D device not found");
    }
}

TEST(DeviceChoice, HardwareNeedsVideoMemory3DAndTextures) {
    ddraw::DDCAPS caps;
    caps.dwCaps = ddraw::DDCAPS_3D;
    caps.ddsCaps.dwCaps = ddraw::DDSCAPS_TEXTURE;
    std::uint32_t result = 0;
    EXPECT_TRUE(HardwareAllowed(caps, true, kHardware | kTexture, result));
    EXPECT_EQ(result, kTexture);
    result = 0;
    EXPECT_FALSE(HardwareAllowed(caps, false, kHardware | kTexture, result)) << "system memory back surface";
    EXPECT_FALSE(HardwareAllowed(caps, true, kTexture, result)) << "hardware not requested";
    caps.ddsCaps.dwCaps = 0;
    result = 0;
    EXPECT_FALSE(HardwareAllowed(caps, true, kHardware | kTexture, result)) << "textures requested but missing";
    EXPECT_TRUE(HardwareAllowed(caps, true, kHardware, result));
    caps.dwCaps = 0;
    EXPECT_FALSE(HardwareAllowed(caps, true, kHardware, result)) << "no 3D in the driver";

    // The display layer of this program reports no 3D hardware at all.
    ddraw::IDirectDraw* dd = nullptr;
    ASSERT_EQ(ddraw::DirectDrawCreate(nullptr, &dd, nullptr), ddraw::DD_OK);
    ddraw::DDCAPS ours;
    dd->GetCaps(&ours, nullptr);
    result = 0;
    EXPECT_FALSE(HardwareAllowed(ours, true, kHardware | kTexture, result));
    EXPECT_EQ(result, kTexture);
    dd->Release();
}

TEST(DisplayMode, FallBacks) {
    const auto mode = [](int w, int h, int bits) {
        TDirectDrawDisplayMode m;
        m.SurfaceDesc.dwWidth = static_cast<ddraw::DWORD>(w);
        m.SurfaceDesc.dwHeight = static_cast<ddraw::DWORD>(h);
        m.SurfaceDesc.ddpfPixelFormat.dwRGBBitCount = static_cast<ddraw::DWORD>(bits);
        return m;
    };
    const std::vector<TDirectDrawDisplayMode> modes = {mode(640, 480, 16), mode(800, 600, 32), mode(1280, 720, 32),
                                                       mode(1280, 1024, 32), mode(800, 600, 16)};
    const auto pick = [&](int w, int h, int bits, bool ratio, bool size, bool fixedBits) {
        auto m = ChooseDisplayMode(modes, w, h, bits, ratio, size, fixedBits);
        return m ? std::to_string(m->Width()) + "x" + std::to_string(m->Height()) + "x" + std::to_string(m->BitCount())
                 : std::string("none");
    };
    EXPECT_EQ(pick(640, 480, 16, true, false, true), "640x480x16");
    EXPECT_EQ(pick(640, 480, 32, true, false, true), "800x600x32") << "same ratio, larger, exact depth";
    EXPECT_EQ(pick(640, 480, 8, true, false, true), "none");
    EXPECT_EQ(pick(640, 480, 8, true, false, false), "640x480x16") << "at least the wanted depth";
    EXPECT_EQ(pick(1000, 700, 32, true, false, true), "1280x720x32") << "no same-ratio mode: any ratio";
    EXPECT_EQ(pick(700, 500, 16, true, false, false), "800x600x16") << "the wanted depth kept at the chosen size";
    EXPECT_EQ(pick(700, 500, 24, true, true, false), "none") << "fixed size allows only the exact size";
}

}  // namespace
