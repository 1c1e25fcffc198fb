// Pixels drawn by the software device: colours, depth, culling, texturing,
// clipping and dither. The camera sits at the origin looking along +z; with
// the default field 0.5 a square viewport sees +-d/2 at distance d.
#include "SceneFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace d3drm::test {
namespace {

struct AmbientCase {
    Vec3 ambient;
    Vec3 material;
    uint32_t expected;
};

class AmbientColour : public testing::TestWithParam<AmbientCase> {};

TEST_P(AmbientColour, FillsTheTriangleWithAmbientTimesMaterial)
{
    const AmbientCase& c = GetParam();
    Scene s(64, 64);
    auto mesh = Triangle(*s.rm, {0, 2, 5}, {2, -2, 5}, {-2, -2, 5}, c.material);
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, c.ambient);
    s.Draw();
    EXPECT_EQ(s.Pixel(32, 32), c.expected);
    // Every drawn pixel has the same colour.
    for (uint32_t p : s.pixels)
        EXPECT_TRUE(p == kBackground || p == c.expected) << std::hex << p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AmbientColour,
    testing::Values(AmbientCase{{0.2f, 0.4f, 0.6f}, {1.0f, 0.5f, 1.0f}, 0x333399},
                    // Components above 1.0 act unchanged: 2.0 * 0.3 = 0.6.
                    AmbientCase{{2.0f, 0.0f, 0.8f}, {0.3f, 1.0f, 0.25f}, 0x990033},
                    // The sum is clamped only in the final colour.
                    AmbientCase{{2.0f, 2.0f, 2.0f}, {1.0f, 1.0f, 1.0f}, 0xFFFFFF},
                    AmbientCase{{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, 0x000000}));

struct DirectionalCase {
    float degrees;  // between the light's travel direction and the view axis
    uint32_t expected;
};

class DirectionalShading : public testing::TestWithParam<DirectionalCase> {};

TEST_P(DirectionalShading, ScalesTheLightByNDotL)
{
    const DirectionalCase& c = GetParam();
    Scene s(64, 64);
    auto mesh = Triangle(*s.rm, {0, 2, 5}, {2, -2, 5}, {-2, -2, 5});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    Ref<IDirect3DRMFrame> lightFrame;
    s.rm->CreateFrame(s.root.Get(), lightFrame);
    float a = c.degrees * 3.14159265f / 180.0f;
    ASSERT_EQ(lightFrame->SetOrientation(s.root.Get(), std::sin(a), 0, std::cos(a), 0, 1, 0), D3DRM_OK);
    AddLight(*s.rm, lightFrame.Get(), D3DRMLIGHT_DIRECTIONAL, {0.8f, 0.4f, 1.2f});
    s.Draw();
    EXPECT_EQ(s.Pixel(32, 32), c.expected) << std::hex << s.Pixel(32, 32);
}

// The triangle faces the camera (normal -z); a light travelling along +z hits
// it head on. 0.8, 0.4, 1.2 times cos: 60 degrees gives half.
INSTANTIATE_TEST_SUITE_P(Angles, DirectionalShading,
                         testing::Values(DirectionalCase{0, 0xCC66FF}, DirectionalCase{60, 0x663399},
                                         DirectionalCase{90, 0x000000}, DirectionalCase{150, 0x000000}));

TEST(Shading, GouraudBlendsVertexLightAndFlatUsesTheFaceNormal)
{
    Scene s(64, 64);
    Ref<IDirect3DRMMeshBuilder> mesh;
    s.rm->CreateMeshBuilder(mesh);
    // Top vertex faces the light, the bottom ones are edge-on to it.
    mesh->AddTriangles({{{0, 2, 5}, {0, 0, -1}}, {{2, -2, 5}, {1, 0, 0}}, {{-2, -2, 5}, {-1, 0, 0}}}, {0, 1, 2});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    Ref<IDirect3DRMFrame> lightFrame;
    s.rm->CreateFrame(s.root.Get(), lightFrame);
    AddLight(*s.rm, lightFrame.Get(), D3DRMLIGHT_DIRECTIONAL, {1, 1, 1});
    s.Draw();
    // The triangle covers rows 6.4 to 57.6 (screen y of its corners).
    int previous = 256;
    for (int y = 10; y < 58; y += 4) {
        int red = Red(s.Pixel(32, y));
        EXPECT_LT(red, previous) << "row " << y;
        previous = red;
    }
    // Same depth everywhere, so the blend is linear on screen: row 32's
    // centre is (57.6 - 32.5) / 51.2 of the way from the dark edge.
    EXPECT_NEAR(Red(s.Pixel(32, 32)), 125, 1);

    s.device->SetQuality(D3DRMRENDER_FLAT);
    s.Draw();
    EXPECT_EQ(s.Pixel(32, 10), 0xFFFFFF);
    EXPECT_EQ(s.Pixel(32, 56), 0xFFFFFF);
}

TEST(Depth, NearerTriangleHidesFartherWhateverTheOrder)
{
    for (bool nearFirst : {true, false}) {
        Scene s(64, 64);
        auto nearMesh = Triangle(*s.rm, {0, 1, 4}, {1, -1, 4}, {-1, -1, 4}, {1, 0, 0});
        auto farMesh = Triangle(*s.rm, {0, 4, 8}, {4, -4, 8}, {-4, -4, 8}, {0, 1, 0});
        AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
        Ref<IDirect3DRMFrame> first, second;
        first = AddVisualFrame(*s.rm, s.root.Get(), nearFirst ? nearMesh.Get() : farMesh.Get());
        second = AddVisualFrame(*s.rm, s.root.Get(), nearFirst ? farMesh.Get() : nearMesh.Get());
        s.Draw();
        EXPECT_EQ(s.Pixel(32, 32), 0xFF0000) << "near first: " << nearFirst;
        EXPECT_EQ(s.Pixel(4, 62), 0x00FF00) << "near first: " << nearFirst;
    }
}

TEST(Culling, BackFacingTriangleDrawsNothing)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // Anticlockwise as the camera sees it: the back.
    auto back = Triangle(*s.rm, {0, 2, 5}, {-2, -2, 5}, {2, -2, 5});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), back.Get());
    s.Draw();
    EXPECT_EQ(s.CountDrawn(), 0);

    // Turned half round about y it shows its front.
    frame->SetOrientation(s.root.Get(), 0, 0, -1, 0, 1, 0);
    frame->SetPosition(s.root.Get(), 0, 0, 10);
    s.Draw();
    EXPECT_GT(s.CountDrawn(), 500);
}

Ref<IDirect3DRMTexture> MakeTexture(IDirect3DRM& rm, int width, int height, uint32_t (*texel)(int, int))
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = texel(x, y);
    Ref<IDirect3DRMTexture> texture;
    rm.CreateTextureFromPixels(width, height, pixels.data(), width, texture);
    return texture;
}

uint32_t Distinct(int x, int y) { return (static_cast<uint32_t>(x * 60 + 10) << 16) | ((y * 60 + 20) << 8) | 7; }

TEST(Texture, NearestMapsTexelsOntoTheScreenSquares)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // Exactly fills the view at distance 4.
    auto quad = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    auto texture = MakeTexture(*s.rm, 4, 4, Distinct);
    quad->SetTexture(texture.Get());
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.Draw();
    EXPECT_EQ(s.Pixel(0, 0), Distinct(0, 0));
    EXPECT_EQ(s.Pixel(63, 0), Distinct(3, 0));
    EXPECT_EQ(s.Pixel(0, 63), Distinct(0, 3));
    EXPECT_EQ(s.Pixel(63, 63), Distinct(3, 3));
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            wrong += s.Pixel(x, y) != Distinct(x / 16, y / 16);
    EXPECT_EQ(wrong, 0);
}

uint32_t HalfBlackHalfWhite(int x, int) { return x == 0 ? 0x000000 : 0xFFFFFF; }

TEST(Texture, PerspectiveCorrectOnAQuadReceding)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // Left edge at z = 2, right edge at z = 6. The texture's middle (u = 0.5)
    // lies at x = 0, z = 4, which projects to the screen's centre column;
    // an affine mapping would put it near x = 21.
    auto quad = Quad(*s.rm, {-1, 1, 2}, {1, 1, 6}, {1, -1, 6}, {-1, -1, 2});
    auto texture = MakeTexture(*s.rm, 2, 1, HalfBlackHalfWhite);
    quad->SetTexture(texture.Get());
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.Draw();
    for (int x = 2; x <= 30; ++x)
        EXPECT_EQ(s.Pixel(x, 32), 0x000000) << "x " << x;
    for (int x = 33; x <= 41; ++x)
        EXPECT_EQ(s.Pixel(x, 32), 0xFFFFFF) << "x " << x;
    EXPECT_EQ(s.Pixel(50, 32), kBackground);
}

TEST(Texture, LinearBlendsNeighbouringTexels)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto quad = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    auto texture = MakeTexture(*s.rm, 2, 1, HalfBlackHalfWhite);
    quad->SetTexture(texture.Get());
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.device->SetTextureQuality(D3DRMTEXTURE_LINEAR);
    s.Draw();
    // Texel centres at x = 16 and x = 48; between them the value climbs.
    EXPECT_LE(Red(s.Pixel(16, 10)), 5);
    EXPECT_GE(Red(s.Pixel(47, 10)), 250);
    EXPECT_NEAR(Red(s.Pixel(32, 10)), 132, 4);
    for (int x = 17; x < 48; ++x)
        EXPECT_GT(Red(s.Pixel(x, 10)), Red(s.Pixel(x - 1, 10)));
}

TEST(Texture, LightingModulatesTexels)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {0.5f, 2.0f, 1.0f});
    auto quad = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    auto texture = MakeTexture(*s.rm, 1, 1, [](int, int) -> uint32_t { return 0x80A040; });
    quad->SetTexture(texture.Get());
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.Draw();
    // 0x80 * 0.5, 0xA0 * 2 clamped, 0x40 * 1.
    EXPECT_EQ(s.Pixel(10, 10), 0x40FF40u);
}

TEST(Clipping, OnlyTheViewportIsWrittenAndThePartBehindTheCameraIsCut)
{
    std::vector<uint32_t> pixels(32 * 32, 0xDEADBEEF);
    auto target = std::make_shared<MemoryTarget>(pixels.data(), 32, 32, 32 * 4);
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMDevice> device;
    rm->CreateDeviceFromSurface(nullptr, target, device);
    device->SetQuality(D3DRMRENDER_GOURAUD);
    Ref<IDirect3DRMFrame> root, camera;
    rm->CreateFrame(nullptr, root);
    rm->CreateFrame(root.Get(), camera);
    Ref<IDirect3DRMViewport> viewport;
    ASSERT_EQ(rm->CreateViewport(device.Get(), camera.Get(), 8, 8, 16, 16, viewport), D3DRM_OK);
    AddLight(*rm, root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // One vertex far off to the side and behind the camera; both windings so
    // one side faces the camera.
    Ref<IDirect3DRMMeshBuilder> mesh;
    rm->CreateMeshBuilder(mesh);
    mesh->AddTriangles({{{0, 300, 10}}, {{300, -300, 10}}, {{-300, -300, -5}}}, {0, 1, 2, 0, 2, 1});
    auto frame = AddVisualFrame(*rm, root.Get(), mesh.Get());
    viewport->Render(root.Get());
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            bool inside = x >= 8 && x < 24 && y >= 8 && y < 24;
            EXPECT_EQ(pixels[y * 32 + x], inside ? 0xFFFFFFu : 0xDEADBEEFu) << x << "," << y;
        }
    }
}

TEST(Projection, FieldSpansTheShorterSideAndYIsUp)
{
    // 128 x 64: the field (0.5) spans the 32-pixel half-height; x uses the
    // same pixels per unit, so x / z = 0.5 lands 32 pixels right of centre.
    Scene s(128, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto mesh = Triangle(*s.rm, {2.0f, 1.25f, 4}, {2.25f, 0.75f, 4}, {1.75f, 0.75f, 4});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    s.Draw();
    ASSERT_EQ(s.device->LastUpdateRects().size(), 1u);
    const PixelRect& r = s.device->LastUpdateRects()[0];
    // Corners at x 96 +- 4 and y 32 - 20 .. 32 - 12 (above the centre).
    EXPECT_EQ(r.left, 92);
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.top, 12);
    EXPECT_EQ(r.bottom, 20);
}

TEST(Clipping, FrontAndBackPlanes)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto mesh = Triangle(*s.rm, {0, 1, 0}, {1, -1, 0}, {-1, -1, 0});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    struct Row {
        float z;
        bool drawn;
    } rows[] = {{0.5f, false}, {2.0f, true}, {4900.0f, true}, {5100.0f, false}};
    for (const Row& row : rows) {
        frame->SetPosition(s.root.Get(), 0, 0, row.z);
        frame->SetOrientation(s.root.Get(), 0, 0, 1, 0, 1, 0);
        mesh->Empty();
        // Large enough to cover pixels at any of the distances.
        float k = row.z;
        mesh->AddTriangles({{{0, k, 0}}, {{k, -k, 0}}, {{-k, -k, 0}}}, {0, 1, 2});
        s.Draw();
        EXPECT_EQ(s.CountDrawn() > 0, row.drawn) << "z " << row.z;
    }
}

TEST(Dither, OrderedDitherSpreadsTheFractionOverA4x4Block)
{
    Scene s(16, 16);
    // 100.25 / 255 per channel.
    float a = 100.25f / 255.0f;
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {a, a, a});
    auto quad = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.Draw();
    for (uint32_t p : s.pixels)
        EXPECT_EQ(p, 0x646464u);
    s.device->SetDither(true);
    s.Draw();
    int raised = 0;
    for (int y = 4; y < 8; ++y)
        for (int x = 8; x < 12; ++x) {
            int red = Red(s.Pixel(x, y));
            EXPECT_TRUE(red == 100 || red == 101);
            raised += red == 101;
        }
    EXPECT_EQ(raised, 4);
}

struct ModelCase {
    const GUID* device;
    uint32_t expected;
};

class ColourModel : public testing::TestWithParam<ModelCase> {};

TEST_P(ColourModel, MonoDeviceLightsByIntensity)
{
    Scene s(32, 32, *GetParam().device);
    auto mesh = Triangle(*s.rm, {0, 2, 5}, {2, -2, 5}, {-2, -2, 5});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    Ref<IDirect3DRMFrame> lightFrame;
    s.rm->CreateFrame(s.root.Get(), lightFrame);
    AddLight(*s.rm, lightFrame.Get(), D3DRMLIGHT_DIRECTIONAL, {1, 0, 0});
    s.Draw();
    EXPECT_EQ(s.Pixel(16, 16), GetParam().expected) << std::hex << s.Pixel(16, 16);
}

// Mono: intensity 0.299 of pure red, on 32 shades round(0.299 * 31) / 31.
INSTANTIATE_TEST_SUITE_P(Devices, ColourModel,
                         testing::Values(ModelCase{&IID_D3DSoftwareRGBDevice, 0xFF0000},
                                         ModelCase{&IID_D3DSoftwareMonoDevice, 0x4A4A4A}));

struct TransparencyCase {
    uint32_t renderMode;
    uint32_t expected;
};

class Transparency : public testing::TestWithParam<TransparencyCase> {};

TEST_P(Transparency, RenderModeDecidesHowSeeThroughFacesDraw)
{
    Scene s(32, 32);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    // A half see-through green quad in front, listed before an opaque red
    // one behind it.
    auto glass = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    glass->SetColor(D3DRMCreateColorRGBA(0, 1, 0, 0.5f));  // alpha 128 / 255
    auto wall = Quad(*s.rm, {-4, 4, 8}, {4, 4, 8}, {4, -4, 8}, {-4, -4, 8});
    wall->SetColorRGB(1, 0, 0);
    auto front = AddVisualFrame(*s.rm, s.root.Get(), glass.Get());
    auto back = AddVisualFrame(*s.rm, s.root.Get(), wall.Get());
    ASSERT_EQ(s.device->SetRenderMode(GetParam().renderMode), D3DRM_OK);
    s.Draw();
    EXPECT_EQ(s.Pixel(16, 16), GetParam().expected) << std::hex << s.Pixel(16, 16);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Transparency,
    testing::Values(
        // Off: the glass is drawn opaque and hides the wall.
        TransparencyCase{0, 0x00FF00},
        // Blended in list order: the glass blends over the background and,
        // writing no depth, is then painted over by the wall.
        TransparencyCase{D3DRMRENDERMODE_BLENDEDTRANSPARENCY, 0xFF0000},
        // Sorted: drawn after the wall, 128/255 green over 127/255 red.
        TransparencyCase{D3DRMRENDERMODE_BLENDEDTRANSPARENCY | D3DRMRENDERMODE_SORTEDTRANSPARENCY, 0x7F8000}));

TEST(Fill, WireframeDrawsEdgesOnly)
{
    Scene s(64, 64);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto mesh = Triangle(*s.rm, {0, 2, 5}, {2, -2, 5}, {-2, -2, 5});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    s.Draw();
    int solid = s.CountDrawn();
    ASSERT_EQ(s.device->SetQuality(D3DRMRENDER_WIREFRAME), D3DRM_OK);
    s.Draw();
    EXPECT_EQ(s.Pixel(32, 32), kBackground);
    EXPECT_GT(s.CountDrawn(), 60);
    EXPECT_LT(s.CountDrawn(), solid / 4);
}

TEST(Surface, LostSurfaceIsNotDrawn)
{
    Scene s(16, 16);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto quad = Quad(*s.rm, {-2, 2, 4}, {2, 2, 4}, {2, -2, 4}, {-2, -2, 4});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), quad.Get());
    s.target->SetLost(true);
    EXPECT_EQ(s.viewport->Clear(), DDERR_SURFACELOST);
    EXPECT_EQ(s.viewport->Render(s.root.Get()), DDERR_SURFACELOST);
    for (uint32_t p : s.pixels)
        EXPECT_EQ(p, 0xDEADBEEFu);
    s.target->SetLost(false);
    s.Draw();
    EXPECT_EQ(s.Pixel(8, 8), 0xFFFFFFu);
}

}  // namespace
}  // namespace d3drm::test
