// The rotating emblem scene of the title screen: the mesh install.dat,
// textured with the picture "lake" and lit by a green and a magenta
// directional light and a dim ambient light, turning about a fixed axis.
// It is built once as the first step of DXDraw1Initialize; afterwards every
// drawn frame moves the scene by one step.
#include "installer/EmblemScene.h"

#include "installer/TForm1.h"
#include "render/DIBTextureLoader.h"
#include "toolkit/Exceptions.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

using namespace d3drm;

namespace {

Ref<IDirect3DRMFrame> lightFrame1;
Ref<IDirect3DRMFrame> lightFrame2;
Ref<IDirect3DRMFrame> emblemFrame;

std::string& TempFolderOverride() {
    static std::string folder;
    return folder;
}

// Removes the temporary texture file however the build step ends.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

IDirect3DRMFrame* LightFrame1() { return lightFrame1.Get(); }
IDirect3DRMFrame* LightFrame2() { return lightFrame2.Get(); }
IDirect3DRMFrame* EmblemFrame() { return emblemFrame.Get(); }

void ReleaseEmblemScene() {
    lightFrame1.Reset();
    lightFrame2.Reset();
    emblemFrame.Reset();
}

std::string TextureTempFolder() {
    if (!TempFolderOverride().empty()) return TempFolderOverride();
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : folder.string();
}

void SetTextureTempFolderForTesting(const std::string& folder) { TempFolderOverride() = folder; }

std::string CreateTextureTempFile(const std::string& folder) {
    // A new file with a unique name, readable by its owner only, so no other
    // user can read, replace or pre-create it.
    std::string pattern = AppendBackslash(folder) + "qorvind-XXXXXX.gdf";
    std::string path = pattern;
    int descriptor = ::mkstemps(path.data(), 4);
    if (descriptor < 0) throw EFCreateError(FormatMessage("Cannot create file %s", pattern));
    ::close(descriptor);
    return path;
}

void TForm1::BuildEmblemScene() {
    IDirect3DRM* rm = DXDraw1->RMObject();
    IDirect3DRMFrame* scene = DXDraw1->SceneFrame();
    IDirect3DRMFrame* camera = DXDraw1->CameraFrame();
    if (!rm || !scene) return;  // no retained-mode objects: nothing to build on
    InstallDIBTextureLoader();

    // Steps 1-3: the three frames, replacing those of an earlier build.
    lightFrame1.Reset();
    rm->CreateFrame(scene, lightFrame1);
    lightFrame2.Reset();
    rm->CreateFrame(scene, lightFrame2);
    emblemFrame.Reset();
    rm->CreateFrame(scene, emblemFrame);

    // Steps 4-7: lights. Light 2's red of 2.0 goes to the lighting as it is.
    Ref<IDirect3DRMLight> light1, light2, ambient;
    rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 0.0f, 1.0f, 0.0f, light1);
    rm->CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 2.0f, 0.0f, 0.8f, light2);
    if (lightFrame1 && light1) lightFrame1->AddLight(light1.Get());
    if (lightFrame2 && light2) lightFrame2->AddLight(light2.Get());
    rm->CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.1f, 0.1f, 0.1f, ambient);
    if (ambient) scene->AddLight(ambient.Get());

    // Steps 8-10: positions and the emblem's turning.
    if (lightFrame1) lightFrame1->SetPosition(scene, 11.0f, 5.0f, -21.0f);
    if (lightFrame2) lightFrame2->SetPosition(scene, -11.0f, 15.0f, -21.0f);
    if (camera) camera->SetPosition(scene, 0.0f, 0.0f, -10.0f);
    if (emblemFrame) {
        emblemFrame->SetPosition(scene, 3.0f, -0.25f, 0.0f);
        emblemFrame->SetRotation(scene, 0.1f, 1.0f, 2.0f, 0.08f);
    }

    // Steps 11-15: the mesh from the program's folder. A missing or broken
    // file leaves the builder empty and the screen without an emblem.
    Ref<IDirect3DRMMeshBuilder> builder;
    rm->CreateMeshBuilder(builder);
    MeshPath = AppendBackslash(ProgramFolder()) + "install.dat";
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(MeshPath).parent_path(), error);
    if (error) throw EInOutError(error.message());
    if (builder) {
        builder->Load(MeshPath.c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr);
        builder->Scale(0.35f, 0.35f, 0.35f);
    }

    // Steps 16-18: "lake" goes to the 3D layer through a bitmap file.
    Ref<IDirect3DRMTexture> texture;
    TPictureCollection& pictures = DXImageList1->Items();
    int lake = pictures.Find("lake");
    if (lake >= 0) {
        if (TGraphic* graphic = pictures.Items(lake)->Picture().Graphic()) {
            TemporaryFile file(CreateTextureTempFile(TextureTempFolder()));
            graphic->SaveToFile(file.Path());
            rm->LoadTexture(file.Path().c_str(), texture);
        }
    }

    // Steps 19-20.
    if (builder) {
        if (texture) builder->SetTexture(texture.Get());
        if (emblemFrame) emblemFrame->AddVisual(builder.Get());
    }
    if (lightFrame1 && emblemFrame) lightFrame1->LookAt(emblemFrame.Get(), scene, D3DRMCONSTRAIN_Z);
}

void TForm1::DXDraw1InitializeSurface(QObject*) {
    if (DXDraw1->ActiveOptions().Contains(doHardware))
        if (IDirect3DRMDevice* device = DXDraw1->RMDevice()) device->SetTextureQuality(D3DRMTEXTURE_LINEAR);
    if (IDirect3DRMDevice2* device2 = DXDraw1->RMDevice2())
        device2->SetRenderMode(D3DRMRENDERMODE_BLENDEDTRANSPARENCY | D3DRMRENDERMODE_SORTEDTRANSPARENCY);
}
