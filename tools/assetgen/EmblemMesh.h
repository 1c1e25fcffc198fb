#pragma once

// The emblem's mesh: a thick disc with bevelled edges, textured so that the
// front face shows the whole "lake" picture, written as a text X file.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <array>
#include <vector>

namespace assetgen {

struct MeshVertex {
    std::array<float, 3> position;
    std::array<float, 3> normal;
    std::array<float, 2> uv;
    friend bool operator==(const MeshVertex&, const MeshVertex&) = default;
};

struct Mesh {
    std::vector<MeshVertex> vertices;
    std::vector<std::array<int, 3>> faces; // clockwise seen from outside
};

// Outer radius in mesh units. The scene scales the mesh by 0.35 and sets it
// 10 units in front of the camera, whose field of 0.5 spans half the
// screen's shorter side (153 pixels) at distance 1: one unit there is 30.6
// pixels, one mesh unit 10.7. A radius of 9 gives a disc of about 96 pixels
// in radius around (377, 161), filling the dark part right of the panel
// between the group's name and the title line.
constexpr float EmblemRadius = 9.0f;

Mesh MakeEmblemMesh();
QByteArray XFileText(const Mesh& mesh);

// Loads the file through the same importer the program uses and checks
// that it yields one triangle mesh with normals and texture coordinates.
// Returns an empty string when it does, else what is wrong.
QString CheckWithImporter(const QString& path, int expectedFaces);

// A rough software rendering of the emblem as the title screen places it
// (rotation angle about the scene's axis), for the preview mock-up: the
// emblem drawn into an opaque black canvas of the screen's size.
QImage RenderEmblemPreview(const Mesh& mesh, const QImage& texture, double angle);

} // namespace assetgen
