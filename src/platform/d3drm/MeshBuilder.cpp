#include "MeshBuilder.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace d3drm {

namespace {

// X file header: "xof ", a 4-character version ("0302", "0303"), a format
// ("txt ", "bin ", "tzip" or "bzip") and the float size ("0032" or "0064").
constexpr size_t kXHeaderSize = 16;

bool HasXHeader(const std::vector<char>& data)
{
    if (data.size() < kXHeaderSize || std::memcmp(data.data(), "xof ", 4) != 0)
        return false;
    for (int i = 4; i < 8; ++i) {
        if (data[i] < '0' || data[i] > '9')
            return false;
    }
    const char* format = data.data() + 8;
    const char* floatSize = data.data() + 12;
    bool knownFormat = std::memcmp(format, "txt ", 4) == 0 || std::memcmp(format, "bin ", 4) == 0 ||
                       std::memcmp(format, "tzip", 4) == 0 || std::memcmp(format, "bzip", 4) == 0;
    bool knownFloat = std::memcmp(floatSize, "0032", 4) == 0 || std::memcmp(floatSize, "0064", 4) == 0;
    return knownFormat && knownFloat;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Assimp reserves memory for whatever count a file declares before reading
// the elements, so a 60-byte file declaring two billion vertices makes it
// allocate tens of gigabytes. This is a plausibility check, not a parser: in
// a text X file every integer (not part of a name, a string, a comment or a
// fraction) is a count or an index, and neither can exceed the number of
// bytes in the file, since each element takes at least one byte.
bool TextIntegersFitFile(const std::vector<char>& data)
{
    const size_t size = data.size();
    size_t i = kXHeaderSize;
    while (i < size) {
        char c = data[i];
        if (c == '#' || (c == '/' && i + 1 < size && data[i + 1] == '/')) {
            while (i < size && data[i] != '\n')
                ++i;
        } else if (c == '"') {
            for (++i; i < size && data[i] != '"'; ++i) {
            }
            ++i;
        } else if (IsDigit(c)) {
            const bool inName = i > 0 && (IsNameChar(data[i - 1]) || data[i - 1] == '.');
            uint64_t value = 0;
            bool tooLarge = false;
            for (; i < size && IsDigit(data[i]); ++i) {
                value = value * 10 + static_cast<uint64_t>(data[i] - '0');
                if (value > size) {
                    tooLarge = true;
                    value = size;
                }
            }
            const bool fraction = i < size && (data[i] == '.' || data[i] == 'e' || data[i] == 'E');
            if (tooLarge && !inName && !fraction)
                return false;
            while (i < size && (IsNameChar(data[i]) || data[i] == '.'))
                ++i;  // the rest of the name or number
        } else {
            ++i;
        }
    }
    return true;
}

enum class ReadResult { Ok, Missing, TooLarge };

ReadResult ReadWholeFile(const char* fileName, std::vector<char>& data)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return ReadResult::Missing;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return ReadResult::Missing;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0)
        return ReadResult::Missing;  // not a seekable file (a folder, a pipe)
    if (static_cast<uint64_t>(size) > kMaxMeshFileBytes)
        return ReadResult::TooLarge;
    in.seekg(0, std::ios::beg);
    data.resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(data.data(), size))
        return ReadResult::Missing;
    return ReadResult::Ok;
}

bool Finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Smooth normals: the sum of the (area-weighted) normals of the faces that
// use a vertex. A face's normal points out of its clockwise side.
void ComputeNormals(MeshGroup& group, bool onlyMissing)
{
    std::vector<Vec3> sums(group.vertices.size());
    for (size_t i = 0; i + 2 < group.indices.size(); i += 3) {
        const Vec3& a = group.vertices[group.indices[i]].position;
        const Vec3& b = group.vertices[group.indices[i + 1]].position;
        const Vec3& c = group.vertices[group.indices[i + 2]].position;
        Vec3 n = Cross(b - a, c - a);
        for (int k = 0; k < 3; ++k)
            sums[group.indices[i + k]] = sums[group.indices[i + k]] + n;
    }
    for (size_t v = 0; v < group.vertices.size(); ++v) {
        Vec3& normal = group.vertices[v].normal;
        if (!onlyMissing || Length(normal) == 0)
            normal = Normalize(sums[v]);
    }
}

Vec3 MaterialColour(const aiMaterial* material, const char* key, unsigned type, unsigned index, Vec3 fallback)
{
    aiColor4D c;
    if (material && material->Get(key, type, index, c) == AI_SUCCESS && std::isfinite(c.r) && std::isfinite(c.g) &&
        std::isfinite(c.b))
        return {std::max(c.r, 0.0f), std::max(c.g, 0.0f), std::max(c.b, 0.0f)};
    return fallback;
}

// Turns Assimp's meshes into groups; false when the scene breaks a cap or
// holds no triangle.
bool ConvertScene(const aiScene* scene, std::vector<MeshGroup>& groups)
{
    size_t totalVertices = 0, totalTriangles = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        if (!mesh || !mesh->mVertices)
            continue;
        totalVertices += mesh->mNumVertices;
        totalTriangles += mesh->mNumFaces;
        if (totalVertices > kMaxMeshVertices || totalTriangles > kMaxMeshTriangles)
            return false;

        MeshGroup group;
        const aiMaterial* material =
            mesh->mMaterialIndex < scene->mNumMaterials ? scene->mMaterials[mesh->mMaterialIndex] : nullptr;
        // Faces without a material in the file are white. Assimp gives them
        // a grey stand-in material, told apart by having no name: every
        // material it reads from the file carries one.
        aiString materialName;
        bool defaultMaterial = !material || material->Get(AI_MATKEY_NAME, materialName) != AI_SUCCESS ||
                               std::strcmp(materialName.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0;
        group.colour = defaultMaterial ? Vec3{1, 1, 1} : MaterialColour(material, AI_MATKEY_COLOR_DIFFUSE, {1, 1, 1});
        group.emissive = MaterialColour(material, AI_MATKEY_COLOR_EMISSIVE, {0, 0, 0});

        group.vertices.resize(mesh->mNumVertices);
        const aiVector3D* uvs = mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0] : nullptr;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            MeshVertex& out = group.vertices[v];
            out.position = {mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z};
            if (!Finite(out.position))
                return false;
            if (mesh->mNormals) {
                Vec3 n{mesh->mNormals[v].x, mesh->mNormals[v].y, mesh->mNormals[v].z};
                out.normal = Finite(n) ? Normalize(n) : Vec3{};
            }
            if (uvs && std::isfinite(uvs[v].x) && std::isfinite(uvs[v].y)) {
                out.u = uvs[v].x;
                out.v = uvs[v].y;
            }
        }
        group.indices.reserve(static_cast<size_t>(mesh->mNumFaces) * 3);
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3)
                continue;  // points and lines left over by triangulation
            for (int k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= mesh->mNumVertices)
                    return false;
                group.indices.push_back(face.mIndices[k]);
            }
        }
        if (group.indices.empty())
            continue;
        ComputeNormals(group, true);
        groups.push_back(std::move(group));
    }
    return !groups.empty();
}

}  // namespace

HRESULT IDirect3DRMMeshBuilder::Load(const char* fileName, const char* objectName, uint32_t options,
                                     const void* textureCallback, const void* /*argument*/)
{
    if (!fileName || (objectName && *objectName) || options != D3DRMLOAD_FROMFILE || textureCallback)
        return D3DRMERR_BADVALUE;

    std::vector<char> data;
    switch (ReadWholeFile(fileName, data)) {
    case ReadResult::Missing: return D3DRMERR_FILENOTFOUND;
    case ReadResult::TooLarge: return D3DRMERR_BADFILE;
    case ReadResult::Ok: break;
    }
    if (!HasXHeader(data))
        return D3DRMERR_BADFILE;
    if (std::memcmp(data.data() + 8, "txt ", 4) == 0 && !TextIntegersFitFile(data))
        return D3DRMERR_BADFILE;

    // Assimp reads X files into right-handed coordinates with counter-
    // clockwise faces and v flipped; these steps give the file's own back.
    // Normals are not generated by Assimp: ComputeNormals does it in our
    // coordinates when the file has none.
    const unsigned steps = aiProcess_Triangulate | aiProcess_PreTransformVertices | aiProcess_MakeLeftHanded |
                           aiProcess_FlipWindingOrder | aiProcess_FlipUVs | aiProcess_SortByPType;
    std::vector<MeshGroup> groups;
    try {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(data.data(), data.size(), steps, "x");
        if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !ConvertScene(scene, groups))
            return D3DRMERR_BADFILE;
    } catch (const std::exception&) {
        return D3DRMERR_BADFILE;
    }
    groups_ = std::move(groups);
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::Scale(D3DVALUE sx, D3DVALUE sy, D3DVALUE sz)
{
    if (sx == 0 || sy == 0 || sz == 0 || !std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(sz))
        return D3DRMERR_BADVALUE;
    const bool mirrored = ((sx < 0) != (sy < 0)) != (sz < 0);
    for (MeshGroup& group : groups_) {
        for (MeshVertex& v : group.vertices) {
            v.position = {v.position.x * sx, v.position.y * sy, v.position.z * sz};
            // Normals transform with the inverse transpose: divide.
            v.normal = Normalize(Vec3{v.normal.x / sx, v.normal.y / sy, v.normal.z / sz});
        }
        // A mirror image turns clockwise faces anticlockwise: swap two
        // corners so the front stays the front.
        if (mirrored) {
            for (size_t i = 0; i + 2 < group.indices.size(); i += 3)
                std::swap(group.indices[i + 1], group.indices[i + 2]);
        }
    }
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetTexture(IDirect3DRMTexture* texture)
{
    texture_ = Ref<IDirect3DRMTexture>(texture);
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetColorRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue)
{
    for (MeshGroup& group : groups_)
        group.colour = {red, green, blue};
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetColor(D3DCOLOR colour)
{
    return SetColorRGB(D3DRMColorGetRed(colour), D3DRMColorGetGreen(colour), D3DRMColorGetBlue(colour));
}

HRESULT IDirect3DRMMeshBuilder::AddTriangles(const std::vector<MeshVertex>& vertices,
                                             const std::vector<uint32_t>& indices, Vec3 colour)
{
    if (indices.size() % 3 != 0 || vertices.size() > kMaxMeshVertices || indices.size() / 3 > kMaxMeshTriangles)
        return D3DRMERR_BADVALUE;
    for (uint32_t index : indices) {
        if (index >= vertices.size())
            return D3DRMERR_BADVALUE;
    }
    MeshGroup group;
    group.vertices = vertices;
    group.indices = indices;
    group.colour = colour;
    ComputeNormals(group, true);
    groups_.push_back(std::move(group));
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::GenerateNormals()
{
    for (MeshGroup& group : groups_)
        ComputeNormals(group, false);
    return D3DRM_OK;
}

size_t IDirect3DRMMeshBuilder::GetVertexCount() const
{
    size_t count = 0;
    for (const MeshGroup& group : groups_)
        count += group.vertices.size();
    return count;
}

size_t IDirect3DRMMeshBuilder::GetFaceCount() const
{
    size_t count = 0;
    for (const MeshGroup& group : groups_)
        count += group.indices.size() / 3;
    return count;
}

HRESULT IDirect3DRMMeshBuilder::GetBox(D3DRMBOX& box) const
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    for (const MeshGroup& group : groups_) {
        for (const MeshVertex& v : group.vertices) {
            lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
            hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
        }
    }
    if (lo.x > hi.x)
        return D3DRMERR_NOTFOUND;  // empty
    box.min = {lo.x, lo.y, lo.z};
    box.max = {hi.x, hi.y, hi.z};
    return D3DRM_OK;
}

}  // namespace d3drm
