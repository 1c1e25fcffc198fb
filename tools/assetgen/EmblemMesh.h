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
// 10 units in front of a camera whose field is 0.5 across the 571-pixel
// width: one unit there is 57.1 pixels, so the disc is about 104 pixels in
// radius, filling the dark part right of the panel around (457, 167).
constexpr float EmblemRadius = 5.2f;

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
