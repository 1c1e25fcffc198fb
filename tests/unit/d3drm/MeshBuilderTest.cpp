// Loading X files into the mesh builder, and what Scale does to the mesh.
#include "SceneFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace d3drm::test {
namespace {

std::string Data(const char* name) { return std::string(D3DRM_TEST_DATA) + "/" + name; }

std::string WriteTemp(const char* name, const std::string& bytes)
{
    std::string path = std::string(D3DRM_TEST_OUTPUT) + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Ref<IDirect3DRMMeshBuilder> NewBuilder()
{
    Ref<IDirect3DRM> rm;
    Direct3DRMCreate(rm);
    Ref<IDirect3DRMMeshBuilder> builder;
    rm->CreateMeshBuilder(builder);
    return builder;
}

TEST(Load, TextCubeWithNormalsTextureCoordinatesAndMaterial)
{
    auto builder = NewBuilder();
    ASSERT_EQ(builder->Load(Data("cube.x").c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), D3DRM_OK);
    EXPECT_EQ(builder->GetFaceCount(), 12u);
    EXPECT_EQ(builder->GetVertexCount(), 24u);
    D3DRMBOX box;
    ASSERT_EQ(builder->GetBox(box), D3DRM_OK);
    EXPECT_FLOAT_EQ(box.min.x, -1.0f);
    EXPECT_FLOAT_EQ(box.max.z, 1.0f);
    ASSERT_EQ(builder->Groups().size(), 1u);
    const MeshGroup& group = builder->Groups()[0];
    EXPECT_FLOAT_EQ(group.colour.y, 0.75f);
    // As in the file: each face's normal points out of the cube, and the
    // face's corners run clockwise seen from outside.
    for (size_t i = 0; i < group.indices.size(); i += 3) {
        const MeshVertex& a = group.vertices[group.indices[i]];
        const MeshVertex& b = group.vertices[group.indices[i + 1]];
        const MeshVertex& c = group.vertices[group.indices[i + 2]];
        Vec3 faceNormal = Normalize(Cross(b.position - a.position, c.position - a.position));
        EXPECT_NEAR(Dot(faceNormal, a.normal), 1.0f, 1e-5f);
        EXPECT_NEAR(Dot(a.normal, a.position), 1.0f, 1e-5f);
    }
    // v grows downward as in the file: the first vertex of the file (the
    // -x face's first corner at y = -1) has texture coordinates (0, 0).
    bool found = false;
    for (const MeshVertex& v : group.vertices) {
        if (v.position.x == -1 && v.position.y == -1 && v.position.z == 1 && v.normal.x == -1)
            found = v.u == 0 && v.v == 0;
    }
    EXPECT_TRUE(found);

    ASSERT_EQ(builder->Scale(0.35f, 0.35f, 0.35f), D3DRM_OK);
    builder->GetBox(box);
    EXPECT_FLOAT_EQ(box.max.y, 0.35f);
}

TEST(Load, FrameTransformsApplyAndMissingNormalsAreMade)
{
    auto builder = NewBuilder();
    ASSERT_EQ(builder->Load(Data("framed_triangle.x").c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr),
              D3DRM_OK);
    D3DRMBOX box;
    builder->GetBox(box);
    EXPECT_FLOAT_EQ(box.min.x, 1.0f);
    EXPECT_FLOAT_EQ(box.max.x, 3.0f);
    const MeshGroup& group = builder->Groups().at(0);
    EXPECT_FLOAT_EQ(group.colour.x, 1.0f);  // no material: white
    for (const MeshVertex& v : group.vertices) {
        EXPECT_FLOAT_EQ(v.normal.z, -1.0f);  // the clockwise side faces -z
    }
}

struct GoodFile {
    const char* file;
    size_t faces;
};

class LoadForms : public testing::TestWithParam<GoodFile> {};

TEST_P(LoadForms, BinaryAndCompressedFormsLoadLikeText)
{
    auto builder = NewBuilder();
    ASSERT_EQ(builder->Load(Data(GetParam().file).c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), D3DRM_OK);
    EXPECT_EQ(builder->GetFaceCount(), GetParam().faces);
    D3DRMBOX box;
    builder->GetBox(box);
    EXPECT_FLOAT_EQ(box.max.y, 1.0f);
}

// Made by data/make_x_files.py; cube_tzip.x spans three compressed blocks.
INSTANTIATE_TEST_SUITE_P(Files, LoadForms,
                         testing::Values(GoodFile{"triangle_bin.x", 1}, GoodFile{"triangle_bzip.x", 1},
                                         GoodFile{"cube_tzip.x", 12}));

struct BadFile {
    const char* what;
    std::string path;
    HRESULT expected;
};

class LoadFailure : public testing::TestWithParam<BadFile> {};

TEST_P(LoadFailure, ReturnsACodeAndLeavesTheBuilderAsItWas)
{
    const BadFile& bad = GetParam();
    auto builder = NewBuilder();
    EXPECT_EQ(builder->Load(bad.path.c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), bad.expected);
    EXPECT_EQ(builder->GetFaceCount(), 0u);
    D3DRMBOX box;
    EXPECT_EQ(builder->GetBox(box), D3DRMERR_NOTFOUND);

    // A builder holding a mesh keeps it.
    ASSERT_EQ(builder->Load(Data("cube.x").c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), D3DRM_OK);
    EXPECT_EQ(builder->Load(bad.path.c_str(), nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), bad.expected);
    EXPECT_EQ(builder->GetFaceCount(), 12u);
}

std::vector<BadFile> BadFiles()
{
    std::string cube = ReadFile(Data("cube.x"));
    return {
        {"missing", Data("no_such_file.x"), D3DRMERR_FILENOTFOUND},
        {"folder", Data(""), D3DRMERR_FILENOTFOUND},
        {"syntax error", Data("garbled.x"), D3DRMERR_BADFILE},
        {"not an X file", Data("not_an_x_file.x"), D3DRMERR_BADFILE},
        {"empty", WriteTemp("empty.x", ""), D3DRMERR_BADFILE},
        {"header only", WriteTemp("header_only.x", "xof 0302txt 0032\n"), D3DRMERR_BADFILE},
        {"truncated", WriteTemp("truncated.x", cube.substr(0, cube.size() / 2)), D3DRMERR_BADFILE},
        {"unknown format", WriteTemp("unknown_format.x", "xof 0302abc 0032\n" + cube.substr(17)), D3DRMERR_BADFILE},
        // Declares two billion vertices in 60 bytes: refused before any
        // memory is reserved for them.
        {"absurd count", WriteTemp("absurd_count.x", "xof 0302txt 0032\nMesh Huge {\n  2000000000;\n  0.0; 1.0; 0.0;,\n}\n"),
         D3DRMERR_BADFILE},
        {"binary absurd count", Data("absurd_count_bin.x"), D3DRMERR_BADFILE},
        {"compressed tiny blocks", Data("tiny_blocks_tzip.x"), D3DRMERR_BADFILE},
        {"compressed short", Data("short_tzip.x"), D3DRMERR_BADFILE},
        {"binary noise", WriteTemp("noise.x", std::string("xof 0302bin 0032") + std::string(200, '\x07')),
         D3DRMERR_BADFILE},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailure, testing::ValuesIn(BadFiles()),
                         [](const testing::TestParamInfo<BadFile>& info) {
                             std::string name;
                             for (char c : std::string(info.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(Load, RefusesWhatItCannotDo)
{
    auto builder = NewBuilder();
    std::string cube = Data("cube.x");
    EXPECT_EQ(builder->Load(cube.c_str(), "Cube", D3DRMLOAD_FROMFILE, nullptr, nullptr), D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->Load(cube.c_str(), nullptr, D3DRMLOAD_FROMMEMORY, nullptr, nullptr), D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->Load(nullptr, nullptr, D3DRMLOAD_FROMFILE, nullptr, nullptr), D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->GetFaceCount(), 0u);
}

TEST(Scale, MirroringKeepsTheFrontFacingTheCameraAndZeroIsRefused)
{
    Scene s(32, 32);
    AddLight(*s.rm, s.root.Get(), D3DRMLIGHT_AMBIENT, {1, 1, 1});
    auto mesh = Triangle(*s.rm, {0.5f, 2, 5}, {2.5f, -2, 5}, {-1.5f, -2, 5});
    auto frame = AddVisualFrame(*s.rm, s.root.Get(), mesh.Get());
    EXPECT_EQ(mesh->Scale(0, 1, 1), D3DRMERR_BADVALUE);
    ASSERT_EQ(mesh->Scale(-1, 1, 1), D3DRM_OK);
    s.Draw();
    EXPECT_GT(s.CountDrawn(), 100);
    // The normal was mirrored with the shape: still toward the camera.
    EXPECT_NEAR(mesh->Groups()[0].vertices[0].normal.z, -1.0f, 1e-6f);
}

TEST(Builder, AddTrianglesRefusesIndicesOutsideTheVerticesAndNonFiniteValues)
{
    auto builder = NewBuilder();
    EXPECT_EQ(builder->AddTriangles({{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}}, {0, 1, 3}), D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->AddTriangles({{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}}, {0, 1}), D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->AddTriangles({{{0, 0, 0}}, {{1, 0, 0}}, {{0, std::nanf(""), 0}}}, {0, 1, 2}),
              D3DRMERR_BADVALUE);
    EXPECT_EQ(builder->GetFaceCount(), 0u);
}

}  // namespace
}  // namespace d3drm::test
