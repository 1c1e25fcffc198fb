#include "MeshBuilder.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <zlib.h>

#include <algorithm>
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

uint32_t ReadU32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

// The same plausibility check for the binary form, which is a stream of
// tokens (a 16-bit code, then the token's data):
//   1 name, 2 string      32-bit length, that many bytes (a string is
//                         followed by a 16-bit terminator token)
//   3 integer             32-bit value
//   5 GUID                16 bytes
//   6 integer list        32-bit count, count 32-bit values
//   7 float list          32-bit count, count floats of the header's size
//   10..20, 31, 40..52    punctuation and type keywords, no data
// Every length and list must fit in the bytes left, every integer must not
// exceed the file's size (as in the text form), and unknown tokens are
// refused.
bool BinaryTokensFitFile(const std::vector<char>& data, size_t floatSize)
{
    const size_t size = data.size();
    size_t i = kXHeaderSize;
    auto have = [&](size_t n) { return n <= size - i; };
    while (i < size) {
        if (!have(2))
            return false;
        const unsigned token = static_cast<unsigned char>(data[i]) | static_cast<unsigned char>(data[i + 1]) << 8;
        i += 2;
        switch (token) {
        case 1:
        case 2: {
            if (!have(4))
                return false;
            const uint32_t length = ReadU32(&data[i]);
            i += 4;
            if (!have(length))
                return false;
            i += length;
            if (token == 2) {
                if (!have(2))
                    return false;
                i += 2;
            }
            break;
        }
        case 3:
            if (!have(4) || ReadU32(&data[i]) > size)
                return false;
            i += 4;
            break;
        case 5:
            if (!have(16))
                return false;
            i += 16;
            break;
        case 6:
        case 7: {
            if (!have(4))
                return false;
            const uint64_t count = ReadU32(&data[i]);
            i += 4;
            const size_t element = token == 6 ? 4 : floatSize;
            if (count > (size - i) / element)
                return false;
            if (token == 6) {
                for (uint64_t k = 0; k < count; ++k) {
                    if (ReadU32(&data[i + k * 4]) > size)
                        return false;
                }
            }
            i += static_cast<size_t>(count) * element;
            break;
        }
        default:
            if (!((token >= 10 && token <= 20) || token == 31 || (token >= 40 && token <= 52)))
                return false;
            break;
        }
    }
    return true;
}

// The compressed forms ("tzip": text, "bzip": binary) are inflated here, with
// caps, and handed to Assimp in their plain form; Assimp sizes its output
// buffer by the block count alone, so a small file of many tiny blocks would
// make it allocate without bound. Layout after the header:
//   32-bit size of the whole plain file, header included
//   blocks: 16-bit plain size (at most 32768), 16-bit compressed size
//           counting the signature, "CK", raw deflate data that may refer
//           back into the previous block's plain bytes
bool InflateCompressed(const std::vector<char>& data, std::vector<char>& plain)
{
    constexpr size_t kBlockLimit = 32768;
    const size_t size = data.size();
    if (size < kXHeaderSize + 4)
        return false;
    const uint32_t total = ReadU32(&data[kXHeaderSize]);
    if (total < kXHeaderSize || total - kXHeaderSize > kMaxMeshFileBytes)
        return false;
    const size_t expected = total - kXHeaderSize;
    plain.clear();
    plain.reserve(expected);

    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    bool ok = true;
    size_t i = kXHeaderSize + 4;
    size_t previousStart = 0;
    while (ok && i < size) {
        if (size - i < 6) {
            ok = false;
            break;
        }
        const size_t plainSize = static_cast<unsigned char>(data[i]) | static_cast<unsigned char>(data[i + 1]) << 8;
        const size_t packedSize = static_cast<unsigned char>(data[i + 2]) | static_cast<unsigned char>(data[i + 3]) << 8;
        i += 4;
        if (plainSize == 0 || plainSize > kBlockLimit || packedSize < 2 || packedSize > size - i ||
            data[i] != 'C' || data[i + 1] != 'K' || plainSize > expected - plain.size()) {
            ok = false;
            break;
        }
        const size_t blockStart = plain.size();
        plain.resize(blockStart + plainSize);
        inflateReset(&stream);
        if (blockStart > 0) {
            inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(plain.data() + previousStart),
                                 static_cast<uInt>(blockStart - previousStart));
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + i + 2));
        stream.avail_in = static_cast<uInt>(packedSize - 2);
        stream.next_out = reinterpret_cast<Bytef*>(plain.data() + blockStart);
        stream.avail_out = static_cast<uInt>(plainSize);
        const int result = inflate(&stream, Z_SYNC_FLUSH);
        ok = (result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR) && stream.avail_out == 0;
        previousStart = blockStart;
        i += packedSize;
    }
    inflateEnd(&stream);
    return ok && plain.size() == expected;
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
        aiColor4D diffuse;
        if (!defaultMaterial && material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS &&
            std::isfinite(diffuse.a))
            group.alpha = std::clamp(diffuse.a, 0.0f, 1.0f);

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
    // A compressed file continues as its plain form.
    const char* format = data.data() + 8;
    const bool textZip = std::memcmp(format, "tzip", 4) == 0;
    if (textZip || std::memcmp(format, "bzip", 4) == 0) {
        std::vector<char> plain;
        if (!InflateCompressed(data, plain))
            return D3DRMERR_BADFILE;
        std::memcpy(data.data() + 8, textZip ? "txt " : "bin ", 4);
        data.resize(kXHeaderSize);
        data.insert(data.end(), plain.begin(), plain.end());
        format = data.data() + 8;
    }
    const size_t floatSize = std::memcmp(data.data() + 12, "0064", 4) == 0 ? 8 : 4;
    if (std::memcmp(format, "txt ", 4) == 0 && !TextIntegersFitFile(data))
        return D3DRMERR_BADFILE;
    if (std::memcmp(format, "bin ", 4) == 0 && !BinaryTokensFitFile(data, floatSize))
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
    for (MeshGroup& group : groups_) {
        group.colour = {red, green, blue};
        group.alpha = 1.0f;
    }
    return D3DRM_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetColor(D3DCOLOR colour)
{
    SetColorRGB(D3DRMColorGetRed(colour), D3DRMColorGetGreen(colour), D3DRMColorGetBlue(colour));
    for (MeshGroup& group : groups_)
        group.alpha = D3DRMColorGetAlpha(colour);
    return D3DRM_OK;
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
    for (const MeshVertex& v : vertices) {
        if (!Finite(v.position) || !Finite(v.normal) || !std::isfinite(v.u) || !std::isfinite(v.v))
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
