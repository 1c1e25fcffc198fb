// The device list, device creation and settings, the update rectangles,
// viewports and texture loading.
#include "SceneFixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>

#include <string>
#include <vector>

namespace d3drm::test {
namespace {

struct Listed {
    GUID guid;
    std::string name;
    D3DDEVICEDESC hardware, software;
};

HRESULT Collect(const GUID* guid, const char*, const char* name, const D3DDEVICEDESC* hardware,
                const D3DDEVICEDESC* software, void* context)
{
    static_cast<std::vector<Listed>*>(context)->push_back({*guid, name, *hardware, *software});
    return D3DENUMRET_OK;
}

TEST(Enumeration, OffersAMonoAndAnRGBSoftwareDeviceFor32BitTargets)
{
    Ref<IDirect3D> d3d;
    ASSERT_EQ(Direct3DCreate(d3d), D3D_OK);
    std::vector<Listed> devices;
    ASSERT_EQ(d3d->EnumDevices(Collect, &devices), D3D_OK);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].guid, IID_D3DSoftwareMonoDevice);
    EXPECT_EQ(devices[0].software.dcmColorModel, D3DCOLOR_MONO);
    EXPECT_EQ(devices[1].guid, IID_D3DSoftwareRGBDevice);
    EXPECT_EQ(devices[1].software.dcmColorModel, D3DCOLOR_RGB);
    for (const Listed& d : devices) {
        EXPECT_EQ(d.hardware.dcmColorModel, 0u) << d.name;  // software
        EXPECT_EQ(d.software.dwDeviceRenderBitDepth & BitCountToDepthFlag(32), DDBD_32);
        EXPECT_EQ(d.software.dwDeviceRenderBitDepth & BitCountToDepthFlag(8), 0u);
        EXPECT_TRUE(d.software.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_PERSPECTIVE);
        EXPECT_TRUE(d.software.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_DITHER);
    }

    // A callback that cancels stops the enumeration.
    std::vector<Listed> first;
    d3d->EnumDevices(
        [](const GUID* g, const char* desc, const char* n, const D3DDEVICEDESC* h, const D3DDEVICEDESC* s, void* c) {
            Collect(g, desc, n, h, s, c);
            return D3DENUMRET_CANCEL;
        },
        &first);
    EXPECT_EQ(first.size(), 1u);
}

class EightBitTarget : public ISurfaceTarget {
public:
    int Width() const override { return 8; }
    int Height() const override { return 8; }
    int BitCount() const override { return 8; }
    bool IsLost() const override { return false; }
    bool Lock(RenderTarget&) override { return false; }
    void Unlock() override {}
};

TEST(Creation, RefusesUnknownDevicesAndTargetsItCannotRenderTo)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMDevice> device;
    EXPECT_EQ(rm->CreateDeviceFromSurface(&IID_D3DSoftwareRGBDevice, std::make_shared<EightBitTarget>(), device),
              D3DRMERR_BADDEVICE);
    EXPECT_FALSE(device);
    std::vector<uint32_t> pixels(64);
    auto target = std::make_shared<MemoryTarget>(pixels.data(), 8, 8, 32);
    GUID unknown{};
    EXPECT_EQ(rm->CreateDeviceFromSurface(&unknown, target, device), D3DRMERR_BADDEVICE);
    ASSERT_EQ(rm->CreateDeviceFromSurface(&IID_D3DSoftwareMonoDevice, target, device), D3DRM_OK);
    EXPECT_EQ(device->GetColorModel(), D3DCOLOR_MONO);
    EXPECT_EQ(device->GetWidth(), 8);

    Ref<IDirect3DRMFrame> camera;
    rm->CreateFrame(nullptr, camera);
    Ref<IDirect3DRMViewport> viewport;
    EXPECT_EQ(rm->CreateViewport(device.Get(), camera.Get(), 4, 0, 5, 8, viewport), D3DRMERR_BADVALUE);
    ASSERT_EQ(rm->CreateViewport(device.Get(), camera.Get(), 0, 0, 8, 8, viewport), D3DRM_OK);
    EXPECT_EQ(viewport->SetBack(5000.0f), D3DRM_OK);
    EXPECT_FLOAT_EQ(viewport->GetBack(), 5000.0f);
    EXPECT_EQ(viewport->SetFront(5000.0f), D3DRMERR_BADVALUE);
    EXPECT_EQ(viewport->SetField(0.0f), D3DRMERR_BADVALUE);
}

TEST(Settings, QualityWordIsDecodedAndCheckedBitByBit)
{
    Scene s(8, 8);
    struct Row {
        uint32_t quality;
        HRESULT expected;
    } rows[] = {
        {137, D3DRM_OK},  // Gouraud, lights on, solid
        {D3DRMRENDER_WIREFRAME, D3DRM_OK},
        {D3DRMRENDER_UNLITFLAT, D3DRM_OK},
        {D3DRMRENDER_PHONG, D3DRM_OK},
        {D3DRMSHADE_GOURAUD | D3DRMLIGHT_ON | D3DRMFILL_POINTS, D3DRM_OK},
        {3 | D3DRMLIGHT_ON | D3DRMFILL_SOLID, D3DRMERR_BADVALUE},  // no such shade mode
        {D3DRMSHADE_FLAT | 0x10 | D3DRMFILL_SOLID, D3DRMERR_BADVALUE},
        {D3DRMSHADE_FLAT | D3DRMLIGHT_ON | 0xC0, D3DRMERR_BADVALUE},
        {137 | 0x200, D3DRMERR_BADVALUE},
    };
    for (const Row& row : rows) {
        s.device->SetQuality(D3DRMRENDER_FLAT);
        EXPECT_EQ(s.device->SetQuality(row.quality), row.expected) << row.quality;
        EXPECT_EQ(s.device->GetQuality(), row.expected == D3DRM_OK ? row.quality : D3DRMRENDER_FLAT);
    }
    EXPECT_EQ(137u, D3DRMRENDER_GOURAUD);

    EXPECT_EQ(s.device->SetTextureQuality(D3DRMTEXTURE_LINEAR), D3DRM_OK);
    EXPECT_EQ(s.device->SetTextureQuality(6), D3DRMERR_BADVALUE);
    EXPECT_EQ(s.device->SetShades(8), D3DRM_OK);
    EXPECT_EQ(s.device->SetShades(12), D3DRMERR_BADVALUE);
    EXPECT_EQ(s.device->SetBufferCount(2), D3DRM_OK);
    EXPECT_EQ(s.device->SetBufferCount(0), D3DRMERR_BADVALUE);
    EXPECT_EQ(s.device->SetRenderMode(D3DRMRENDERMODE_BLENDEDTRANSPARENCY | D3DRMRENDERMODE_SORTEDTRANSPARENCY),
              D3DRM_OK);
    EXPECT_EQ(s.device->GetRenderMode(), 3u);
    EXPECT_EQ(s.rm->SetDefaultTextureColors(64), D3DRM_OK);
    EXPECT_EQ(s.rm->SetDefaultTextureShades(32), D3DRM_OK);
    uint32_t texel = 0;
    Ref<IDirect3DRMTexture> texture;
    s.rm->CreateTextureFromPixels(1, 1, &texel, 1, texture);
    EXPECT_EQ(texture->GetColors(), 64u);
    EXPECT_EQ(texture->GetShades(), 32u);

    // Dither is one switch, seen through both device interfaces.
    Ref<IDirect3DDevice> immediate;
    s.device->GetDirect3DDevice(immediate);
    s.device->SetDither(true);
    uint32_t value = 0;
    immediate->GetRenderState(D3DRENDERSTATE_DITHERENABLE, value);
    EXPECT_EQ(value, 1u);
    immediate->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 0);
    EXPECT_FALSE(s.device->GetDither());
}

TEST(Update, ReportsDrawnAreasForTheBufferCountAndForcedAreas)
{
    Scene s(64, 64);
    s.device->SetBufferCount(2);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // A small square left of centre, then moved right.
    auto quad = Quad(*s.rm, {-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}, {-0.5f, -0.5f, 0});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    frame->SetPosition(s.root.Get(), -1, 0, 4);  // pixels 8..24
    s.Draw();
    ASSERT_EQ(s.device->LastUpdateRects().size(), 1u);
    PixelRect first = s.device->LastUpdateRects()[0];
    EXPECT_EQ(first.left, 8);
    EXPECT_EQ(first.right, 24);

    frame->SetPosition(s.root.Get(), 1, 0, 4);  // pixels 40..56
    s.Draw();
    ASSERT_EQ(s.device->LastUpdateRects().size(), 1u);
    EXPECT_EQ(s.device->LastUpdateRects()[0].left, 8);  // the old place is still in the other buffer
    EXPECT_EQ(s.device->LastUpdateRects()[0].right, 56);

    s.viewport->ForceUpdate(0, 0, 100, 3);
    s.Draw();
    ASSERT_EQ(s.device->LastUpdateRects().size(), 2u);
    EXPECT_EQ(s.device->LastUpdateRects()[0].right, 64);  // clipped to the viewport
    EXPECT_EQ(s.device->LastUpdateRects()[0].bottom, 3);
    EXPECT_EQ(s.device->LastUpdateRects()[1].left, 40);
}

bool LoadWithQImage(const std::string& fileName, TextureImage& image)
{
    QImage picture;
    if (!picture.load(QString::fromStdString(fileName)))
        return false;
    picture = picture.convertToFormat(QImage::Format_RGB32);
    image.width = picture.width();
    image.height = picture.height();
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.pixels[static_cast<size_t>(y) * image.width], picture.constScanLine(y), image.width * 4u);
    return true;
}

bool OversizedLoader(const std::string&, TextureImage& image)
{
    image.width = kMaxTextureSide + 1;
    image.height = 1;
    image.pixels.assign(image.width, 0);
    return true;
}

TEST(LoadTexture, ReadsBitmapFilesThroughTheInstalledLoader)
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(0x123456);
    picture.setPixel(4, 2, 0xABCDEF);
    std::string path = std::string(D3DRM_TEST_OUTPUT) + "/texture.bmp";
    ASSERT_TRUE(picture.save(QString::fromStdString(path), "BMP"));

    Ref<IDirect3DRMTexture> texture;
    SetTextureFileLoader(nullptr);
    EXPECT_EQ(rm->LoadTexture(path.c_str(), texture), D3DRMERR_BADFILE);
    SetTextureFileLoader(LoadWithQImage);
    EXPECT_EQ(rm->LoadTexture((path + ".missing").c_str(), texture), D3DRMERR_FILENOTFOUND);
    ASSERT_EQ(rm->LoadTexture(path.c_str(), texture), D3DRM_OK);
    EXPECT_EQ(texture->Width(), 5);
    EXPECT_EQ(texture->Height(), 3);
    EXPECT_EQ(texture->Pixels()[0], 0x123456u);
    EXPECT_EQ(texture->Pixels()[14], 0xABCDEFu);
    SetTextureFileLoader(OversizedLoader);
    EXPECT_EQ(rm->LoadTexture(path.c_str(), texture), D3DRMERR_BADFILE);
    EXPECT_FALSE(texture);
    SetTextureFileLoader(nullptr);
}

}  // namespace
}  // namespace d3drm::test
