// The title screen's emblem set-up, shared by the preview test and the
// render benchmark: a textured torus, two coloured directional lights and a
// dim ambient light, the camera ten units back and the emblem turning right
// of centre.
#pragma once

#include "platform/d3drm/Direct3DRM.h"

#include <cmath>
#include <utility>
#include <vector>

namespace d3drm::test {

// A torus about the z axis (so it faces the camera), faces clockwise seen
// from outside; around x across segments give 2 * around * across
// triangles. u runs from 0 to uRepeats around the ring, v from 0 to 1
// across it.
inline Ref<IDirect3DRMMeshBuilder> Torus(IDirect3DRM& rm, float major, float minor, int around, int across,
                                         float uRepeats)
{
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    const float pi = 3.14159265f;
    for (int i = 0; i <= around; ++i) {
        float a = 2 * pi * static_cast<float>(i) / static_cast<float>(around);
        for (int j = 0; j <= across; ++j) {
            float b = 2 * pi * static_cast<float>(j) / static_cast<float>(across);
            Vec3 normal{std::cos(a) * std::cos(b), std::sin(a) * std::cos(b), std::sin(b)};
            Vec3 centre{std::cos(a) * major, std::sin(a) * major, 0};
            vertices.push_back({centre + normal * minor, normal,
                                uRepeats * static_cast<float>(i) / static_cast<float>(around),
                                static_cast<float>(j) / static_cast<float>(across)});
        }
    }
    auto at = [across](int i, int j) { return static_cast<uint32_t>(i * (across + 1) + j); };
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < across; ++j) {
            uint32_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            const Vec3& p0 = vertices[q[0]].position;
            if (Dot(Cross(vertices[q[1]].position - p0, vertices[q[2]].position - p0), vertices[q[0]].normal) < 0)
                std::swap(q[1], q[3]);
            for (uint32_t k : {q[0], q[1], q[2], q[0], q[2], q[3]})
                indices.push_back(k);
        }
    }
    Ref<IDirect3DRMMeshBuilder> mesh;
    rm.CreateMeshBuilder(mesh);
    mesh->AddTriangles(vertices, indices);
    return mesh;
}

// Lights, camera place and the emblem's frame under `scene`; the caller
// gives the emblem its visual.
inline Ref<IDirect3DRMFrame> SetUpEmblem(IDirect3DRM& rm, IDirect3DRMFrame* scene, IDirect3DRMFrame* camera)
{
    Ref<IDirect3DRMFrame> light1, light2, emblem;
    rm.CreateFrame(scene, light1);
    rm.CreateFrame(scene, light2);
    rm.CreateFrame(scene, emblem);
    Ref<IDirect3DRMLight> green, magenta, ambient;
    rm.CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 0.0f, 1.0f, 0.0f, green);
    rm.CreateLightRGB(D3DRMLIGHT_DIRECTIONAL, 2.0f, 0.0f, 0.8f, magenta);
    rm.CreateLightRGB(D3DRMLIGHT_AMBIENT, 0.1f, 0.1f, 0.1f, ambient);
    light1->AddLight(green.Get());
    light2->AddLight(magenta.Get());
    scene->AddLight(ambient.Get());
    light1->SetPosition(scene, 11.0f, 5.0f, -21.0f);
    light2->SetPosition(scene, -11.0f, 15.0f, -21.0f);
    camera->SetPosition(scene, 0.0f, 0.0f, -10.0f);
    emblem->SetPosition(scene, 3.0f, -0.25f, 0.0f);
    emblem->SetRotation(scene, 0.1f, 1.0f, 2.0f, 0.08f);
    light1->LookAt(emblem.Get(), scene, D3DRMCONSTRAIN_Z);
    return emblem;
}

}  // namespace d3drm::test
