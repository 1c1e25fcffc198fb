// The mesh builder: a mesh visual that is loaded from a file, scaled,
// coloured and textured.
//
// Load reads an X file (text, binary or compressed) through Assimp. Before
// the file reaches Assimp its size is capped and its header checked, and the
// result is checked against caps on vertices and faces, so a damaged or
// hostile file ends in a result code, never in unbounded work. Load replaces
// the builder's contents only when it succeeds; after a failure the builder
// is as before (a new builder stays empty).
//
// Geometry is kept as the file has it: left-handed coordinates, faces whose
// vertices run clockwise when seen from the front, texture coordinates with v
// growing downward in the picture.
#pragma once

#include "D3DRMTypes.h"
#include "Frame.h"
#include "Math3D.h"
#include "Texture.h"
#include "Unknown.h"

#include <string>
#include <vector>

namespace d3drm {

struct MeshVertex {
    MeshVertex() = default;
    MeshVertex(Vec3 position_, Vec3 normal_ = {}, float u_ = 0, float v_ = 0)
        : position(position_), normal(normal_), u(u_), v(v_)
    {
    }

    Vec3 position;
    Vec3 normal;  // unit length, pointing out of the front face
    float u = 0, v = 0;
};

// Triangles sharing one material.
struct MeshGroup {
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;  // three per triangle, each < vertices.size()
    Vec3 colour{1, 1, 1};           // diffuse material colour, 0..1
    Vec3 emissive;                  // light the material gives off itself
    float alpha = 1.0f;             // opacity: below 1 the faces are see-through
};

// Caps applied to loaded files.
constexpr size_t kMaxMeshFileBytes = 64u << 20;
constexpr size_t kMaxMeshVertices = 1u << 20;
constexpr size_t kMaxMeshTriangles = 1u << 21;

class IDirect3DRMMeshBuilder final : public IDirect3DRMVisual {
    ~IDirect3DRMMeshBuilder() override = default;  // objects go only through Release

public:
    // Loads `fileName` (options D3DRMLOAD_FROMFILE). Only the whole file can
    // be loaded: an object name is refused, and textures named inside the
    // file are not read (the texture callback is not supported and must be
    // null). Results: D3DRM_OK; D3DRMERR_FILENOTFOUND when the file cannot be
    // opened; D3DRMERR_BADFILE when it is not a readable X file or exceeds
    // the caps; D3DRMERR_BADVALUE for unsupported arguments.
    HRESULT Load(const char* fileName, const char* objectName, uint32_t options, const void* textureCallback,
                 const void* argument);

    // Multiplies every vertex position by the factors (normals follow the
    // change of shape). Zero factors are refused.
    HRESULT Scale(D3DVALUE sx, D3DVALUE sy, D3DVALUE sz);
    HRESULT SetTexture(IDirect3DRMTexture* texture);
    IDirect3DRMTexture* GetTexture() const { return texture_.Get(); }
    // Sets the material colour of every face: opaque, or with the colour's
    // alpha as opacity.
    HRESULT SetColorRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue);
    HRESULT SetColor(D3DCOLOR colour);

    // Adds triangles built by the caller: `indices` holds three vertex
    // numbers per triangle. Normals of zero length are computed from the
    // faces around the vertex.
    HRESULT AddTriangles(const std::vector<MeshVertex>& vertices, const std::vector<uint32_t>& indices,
                         Vec3 colour = {1, 1, 1});
    // Recomputes every vertex normal from the faces that use the vertex.
    HRESULT GenerateNormals();
    // Removes all geometry (texture and colour stay).
    void Empty() { groups_.clear(); }

    size_t GetVertexCount() const;
    size_t GetFaceCount() const;
    HRESULT GetBox(D3DRMBOX& box) const;
    const std::vector<MeshGroup>& Groups() const { return groups_; }

private:
    std::vector<MeshGroup> groups_;
    Ref<IDirect3DRMTexture> texture_;
};

}  // namespace d3drm
