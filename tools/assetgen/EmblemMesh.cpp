#include "EmblemMesh.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace assetgen {

namespace {

using Vec3 = std::array<double, 3>;

Vec3 Sub(Vec3 a, Vec3 b) { return { a[0] - b[0], a[1] - b[1], a[2] - b[2] }; }
Vec3 Cross(Vec3 a, Vec3 b) { return { a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0] }; }
double Dot(Vec3 a, Vec3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Normalised(Vec3 a)
{
    const double l = std::sqrt(Dot(a, a));
    return { a[0] / l, a[1] / l, a[2] / l };
}

constexpr double Pi = 3.14159265358979323846;

class Builder {
public:
    Mesh mesh;

    int Vertex(Vec3 p, Vec3 n, double u, double v)
    {
        MeshVertex mv { { float(p[0]), float(p[1]), float(p[2]) }, { float(n[0]), float(n[1]), float(n[2]) }, { float(u), float(v) } };
        mesh.vertices.push_back(mv);
        return int(mesh.vertices.size() - 1);
    }

    // Adds a triangle, ordered so that its front (clockwise in the X file's
    // left-handed frame) faces the way the vertex normals point.
    void Triangle(int a, int b, int c)
    {
        const auto pos = [&](int i) { const auto& p = mesh.vertices[i].position; return Vec3 { p[0], p[1], p[2] }; };
        const auto nor = [&](int i) { const auto& n = mesh.vertices[i].normal; return Vec3 { n[0], n[1], n[2] }; };
        const Vec3 geometric = Cross(Sub(pos(b), pos(a)), Sub(pos(c), pos(a)));
        const Vec3 wanted = { nor(a)[0] + nor(b)[0] + nor(c)[0], nor(a)[1] + nor(b)[1] + nor(c)[1], nor(a)[2] + nor(b)[2] + nor(c)[2] };
        if (Dot(geometric, wanted) < 0)
            std::swap(b, c);
        mesh.faces.push_back({ a, b, c });
    }

    // Two rings of equal segment count joined by quads.
    void Band(const std::vector<int>& inner, const std::vector<int>& outer)
    {
        const int n = int(inner.size());
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            Triangle(inner[i], outer[i], outer[j]);
            Triangle(inner[i], outer[j], inner[j]);
        }
    }
};

} // namespace

Mesh MakeEmblemMesh()
{
    constexpr int Segments = 64;
    constexpr double R = EmblemRadius;
    constexpr double FaceRadius = R * 0.915; // where the bevel starts
    constexpr double HalfThickness = R * 0.115;
    constexpr double BevelDepth = R * 0.055;
    constexpr int FaceRings = 4;

    Builder b;
    // Texture coordinates: the front face shows the picture upright with its
    // square's inscribed circle on the disc's outer edge; v runs downwards.
    auto uvFront = [&](double x, double y) { return std::pair { 0.5 + x / (2 * R), 0.5 - y / (2 * R) }; };
    auto uvBack = [&](double x, double y) { return std::pair { 0.5 - x / (2 * R), 0.5 - y / (2 * R) }; };

    for (int side : { -1, 1 }) { // -1: front face towards the camera at -z
        const double zFace = side * HalfThickness;
        const Vec3 faceNormal = { 0, 0, double(side) };
        auto uv = [&](double x, double y) { return side < 0 ? uvFront(x, y) : uvBack(x, y); };

        // Face: a centre fan and concentric bands, so that no triangle is long
        // and thin.
        const auto [cu, cv] = uv(0, 0);
        const int centre = b.Vertex({ 0, 0, zFace }, faceNormal, cu, cv);
        std::vector<int> previous;
        for (int ring = 1; ring <= FaceRings; ++ring) {
            const double r = FaceRadius * ring / FaceRings;
            std::vector<int> current;
            for (int i = 0; i < Segments; ++i) {
                const double a = 2 * Pi * i / Segments, x = r * std::cos(a), y = r * std::sin(a);
                const auto [u, v] = uv(x, y);
                current.push_back(b.Vertex({ x, y, zFace }, faceNormal, u, v));
            }
            if (previous.empty())
                for (int i = 0; i < Segments; ++i)
                    b.Triangle(centre, current[i], current[(i + 1) % Segments]);
            else
                b.Band(previous, current);
            previous = current;
        }

        // Bevel from the face's edge out to the rim, with its own normals so
        // that it catches the light as a bright or dark edge.
        const double dr = R - FaceRadius, dz = BevelDepth;
        const double len = std::hypot(dr, dz);
        std::vector<int> bevelIn, bevelOut;
        for (int i = 0; i < Segments; ++i) {
            const double a = 2 * Pi * i / Segments, c = std::cos(a), s = std::sin(a);
            const Vec3 n = Normalised({ c * dz / len, s * dz / len, side * dr / len });
            const auto [u0, v0] = uv(FaceRadius * c, FaceRadius * s);
            const auto [u1, v1] = uv(R * c, R * s);
            bevelIn.push_back(b.Vertex({ FaceRadius * c, FaceRadius * s, zFace }, n, u0, v0));
            bevelOut.push_back(b.Vertex({ R * c, R * s, zFace - side * BevelDepth }, n, u1, v1));
        }
        b.Band(bevelIn, bevelOut);
    }

    // Rim between the two bevels: smooth all round.
    std::vector<int> front, back;
    for (int i = 0; i < Segments; ++i) {
        const double a = 2 * Pi * i / Segments, c = std::cos(a), s = std::sin(a);
        const auto [u, v] = uvFront(R * c * 0.98, R * s * 0.98);
        front.push_back(b.Vertex({ R * c, R * s, -HalfThickness + BevelDepth }, { c, s, 0 }, u, v));
        back.push_back(b.Vertex({ R * c, R * s, HalfThickness - BevelDepth }, { c, s, 0 }, u, v));
    }
    b.Band(front, back);
    return b.mesh;
}

QByteArray XFileText(const Mesh& mesh)
{
    QString text;
    QTextStream out(&text);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(6);
    const int nv = int(mesh.vertices.size()), nf = int(mesh.faces.size());
    auto sep = [](int i, int n) { return i + 1 < n ? ",\n" : ";\n"; };

    out << "xof 0302txt 0032\n\n";
    out << "Material EmblemSurface {\n"
        << " 1.000000;1.000000;1.000000;1.000000;;\n"
        << " 12.000000;\n"
        << " 0.250000;0.250000;0.250000;;\n"
        << " 0.000000;0.000000;0.000000;;\n"
        << "}\n\n";
    out << "Frame Emblem {\n";
    out << " FrameTransformMatrix {\n  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
           "0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;\n }\n\n";
    out << " Mesh EmblemDisc {\n  " << nv << ";\n";
    for (int i = 0; i < nv; ++i) {
        const auto& p = mesh.vertices[i].position;
        out << "  " << p[0] << ";" << p[1] << ";" << p[2] << ";" << sep(i, nv);
    }
    out << "  " << nf << ";\n";
    for (int i = 0; i < nf; ++i) {
        const auto& f = mesh.faces[i];
        out << "  3;" << f[0] << "," << f[1] << "," << f[2] << ";" << sep(i, nf);
    }
    out << "\n  MeshNormals {\n   " << nv << ";\n";
    for (int i = 0; i < nv; ++i) {
        const auto& n = mesh.vertices[i].normal;
        out << "   " << n[0] << ";" << n[1] << ";" << n[2] << ";" << sep(i, nv);
    }
    out << "   " << nf << ";\n";
    for (int i = 0; i < nf; ++i) {
        const auto& f = mesh.faces[i];
        out << "   3;" << f[0] << "," << f[1] << "," << f[2] << ";" << sep(i, nf);
    }
    out << "  }\n\n  MeshTextureCoords {\n   " << nv << ";\n";
    for (int i = 0; i < nv; ++i) {
        const auto& t = mesh.vertices[i].uv;
        out << "   " << t[0] << ";" << t[1] << ";" << sep(i, nv);
    }
    out << "  }\n\n  MeshMaterialList {\n   1;\n   " << nf << ";\n";
    for (int i = 0; i < nf; ++i)
        out << "   0" << (i + 1 < nf ? ",\n" : ";\n");
    out << "   { EmblemSurface }\n  }\n }\n}\n";
    out.flush();
    return text.toLatin1();
}

QString CheckWithImporter(const QString& path, int expectedFaces)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path.toStdString(), aiProcess_Triangulate);
    if (!scene)
        return QStringLiteral("not loaded: ") + QString::fromStdString(importer.GetErrorString());
    if (scene->mNumMeshes != 1)
        return QStringLiteral("%1 meshes instead of 1").arg(scene->mNumMeshes);
    const aiMesh* m = scene->mMeshes[0];
    if (!m->HasNormals() || !m->HasTextureCoords(0))
        return QStringLiteral("normals or texture coordinates missing");
    if (int(m->mNumFaces) != expectedFaces)
        return QStringLiteral("%1 faces instead of %2").arg(m->mNumFaces).arg(expectedFaces);
    return {};
}

QImage RenderEmblemPreview(const Mesh& mesh, const QImage& texture, double angle)
{
    constexpr int W = 571, H = 306;
    constexpr double Scale = 0.35, Field = 0.5, CameraZ = -10;
    const Vec3 position = { 3.0, -0.25, 0.0 };
    const Vec3 axis = Normalised({ 0.1, 1.0, 2.0 });
    // Lights as the scene sets them: a green one from the upper right, aimed
    // at the emblem; a magenta one along +z; a dim ambient.
    const Vec3 greenDir = Normalised(Sub(position, { 11.0, 5.0, -21.0 }));
    const Vec3 magentaDir = { 0, 0, 1 };
    const Vec3 green = { 0, 1, 0 }, magenta = { 2.0, 0, 0.8 }, ambient = { 0.1, 0.1, 0.1 };

    auto rotate = [&](Vec3 v) {
        // Rodrigues' rotation about the scene's axis.
        const double c = std::cos(angle), s = std::sin(angle);
        const Vec3 k = axis, kxv = Cross(k, v);
        const double kv = Dot(k, v);
        return Vec3 { v[0] * c + kxv[0] * s + k[0] * kv * (1 - c), v[1] * c + kxv[1] * s + k[1] * kv * (1 - c), v[2] * c + kxv[2] * s + k[2] * kv * (1 - c) };
    };

    struct Projected {
        double x, y, z;
        Vec3 colour;
        double u, v;
    };
    std::vector<Projected> pv;
    for (const MeshVertex& mv : mesh.vertices) {
        Vec3 p = rotate({ mv.position[0] * Scale, mv.position[1] * Scale, mv.position[2] * Scale });
        p = { p[0] + position[0], p[1] + position[1], p[2] + position[2] };
        const Vec3 n = rotate({ mv.normal[0], mv.normal[1], mv.normal[2] });
        const double dz = p[2] - CameraZ;
        const double pixelsPerUnit = (H / 2.0) / Field;
        const double sx = W / 2.0 + p[0] / dz * pixelsPerUnit;
        const double sy = H / 2.0 - p[1] / dz * pixelsPerUnit;
        Vec3 light = ambient;
        const double dg = std::max(0.0, -Dot(n, greenDir)), dm = std::max(0.0, -Dot(n, magentaDir));
        for (int i = 0; i < 3; ++i)
            light[i] += green[i] * dg + magenta[i] * dm;
        pv.push_back({ sx, sy, dz, light, mv.uv[0], mv.uv[1] });
    }

    QImage out(W, H, QImage::Format_RGB32);
    out.fill(qRgb(0, 0, 0));
    std::vector<double> depth(size_t(W) * H, std::numeric_limits<double>::max());
    for (const auto& f : mesh.faces) {
        const Projected &a = pv[f[0]], &b = pv[f[1]], &c = pv[f[2]];
        // Clockwise on screen (y down flips the sense) means facing us.
        const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (area <= 0)
            continue;
        const int x0 = std::max(0, int(std::floor(std::min({ a.x, b.x, c.x }))));
        const int x1 = std::min(W - 1, int(std::ceil(std::max({ a.x, b.x, c.x }))));
        const int y0 = std::max(0, int(std::floor(std::min({ a.y, b.y, c.y }))));
        const int y1 = std::min(H - 1, int(std::ceil(std::max({ a.y, b.y, c.y }))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double w0 = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
                const double w1 = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
                const double w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const double z = w0 * a.z + w1 * b.z + w2 * c.z;
                double& d = depth[size_t(y) * W + x];
                if (z >= d)
                    continue;
                d = z;
                const double u = w0 * a.u + w1 * b.u + w2 * c.u, v = w0 * a.v + w1 * b.v + w2 * c.v;
                const QRgb t = texture.pixel(std::clamp(int(u * texture.width()), 0, texture.width() - 1), std::clamp(int(v * texture.height()), 0, texture.height() - 1));
                const double lr = w0 * a.colour[0] + w1 * b.colour[0] + w2 * c.colour[0];
                const double lg = w0 * a.colour[1] + w1 * b.colour[1] + w2 * c.colour[1];
                const double lb = w0 * a.colour[2] + w1 * b.colour[2] + w2 * c.colour[2];
                out.setPixel(x, y, qRgb(std::min(255, int(qRed(t) * lr)), std::min(255, int(qGreen(t) * lg)), std::min(255, int(qBlue(t) * lb))));
            }
    }
    return out;
}

} // namespace assetgen
