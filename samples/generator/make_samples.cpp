// Writes the bundled samples into a folder: an articulated figure as a `.x` text file with LF
// line ends (figure.x) and the same with CR LF line ends and a closing Ctrl-Z (figure_crlf.x),
// the figure imported and saved as GMF (figure.gmf), and the textures its materials name, one in
// each image format the program reads.
//
// The figure: frame 0 "Scene_Root" holds Hips, which holds Spine > Chest > Neck > Head, two arms
// of three bones from the chest and two legs of three bones from the hips. Every frame but the
// root carries a mesh of quads and triangles with normals, texture coordinates and two or more
// materials. Coordinates are those of `.x` files: left-handed, Y up, front faces clockwise.
//
// usage: make_samples FOLDER
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "image_files.h"
#include "model/model.h"
#include "model/model_json.h"

namespace {

struct Vec3 {
    float x, y, z;
};

Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalized(Vec3 a) {
    float length = std::sqrt(Dot(a, a));
    return {a.x / length, a.y / length, a.z / length};
}

std::string Number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value == 0.0f ? 0.0f : value);  // no "-0.000000"
    return text;
}

// The materials of the figure, written once at the top of the file and named by the meshes.
struct MaterialDef {
    const char* name;
    const char* numbers;  // face colour; power; specular; emissive
    const char* texture;  // empty for none
};

const MaterialDef kMaterials[] = {
    {"Skin", "0.900000;0.720000;0.600000;1.000000;;12.000000;0.150000;0.150000;0.150000;;0.000000;0.000000;0.000000;;",
     "skin.png"},
    {"Cloth", "0.250000;0.350000;0.700000;1.000000;;4.000000;0.050000;0.050000;0.050000;;0.000000;0.000000;0.000000;;",
     "cloth.bmp"},
    {"Leather",
     "0.450000;0.280000;0.150000;1.000000;;16.000000;0.300000;0.300000;0.300000;;0.000000;0.000000;0.000000;;",
     "leather.tga"},
    {"Metal", "0.700000;0.720000;0.750000;1.000000;;40.000000;0.900000;0.900000;0.900000;;0.000000;0.000000;0.000000;;",
     "metal.dds"},
    {"Face", "0.950000;0.800000;0.700000;1.000000;;10.000000;0.100000;0.100000;0.100000;;0.000000;0.000000;0.000000;;",
     "face.jpg"},
    {"Hair", "0.200000;0.120000;0.060000;1.000000;;2.000000;0.000000;0.000000;0.000000;;0.000000;0.000000;0.000000;;",
     ""},
};

std::string MaterialBlock(const MaterialDef& m, const std::string& indent) {
    std::string text = indent + "Material " + m.name + " {\n" + indent + " " + m.numbers + "\n";
    if (*m.texture) text += indent + " TextureFilename {\n" + indent + "  \"" + m.texture + "\";\n" + indent + " }\n";
    return text + indent + "}\n";
}

// A mesh of flat-shaded polygons: every polygon has vertices and a normal of its own.
class MeshBuilder {
public:
    explicit MeshBuilder(std::vector<const char*> materials) : materials_(std::move(materials)) {}

    // Adds a convex polygon of the solid around `inside`, turned so that it faces away from it.
    void Polygon(std::vector<Vec3> corners, int material, Vec3 inside) {
        Vec3 normal = Normalized(Cross(corners[1] - corners[0], corners[2] - corners[0]));
        Vec3 centre{0, 0, 0};
        for (Vec3 c : corners) centre = centre + c;
        centre = {centre.x / corners.size(), centre.y / corners.size(), centre.z / corners.size()};
        if (Dot(normal, centre - inside) < 0) {
            std::vector<Vec3> reversed(corners.rbegin(), corners.rend());
            corners = reversed;
            normal = {-normal.x, -normal.y, -normal.z};
        }
        static const float kQuadUv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
        static const float kTriangleUv[3][2] = {{0, 1}, {0.5f, 0}, {1, 1}};
        Face face{static_cast<int>(positions_.size()), static_cast<int>(corners.size()), material,
                  static_cast<int>(normals_.size())};
        for (std::size_t k = 0; k < corners.size(); ++k) {
            positions_.push_back(corners[k]);
            const float* uv = corners.size() == 4 ? kQuadUv[k] : kTriangleUv[k % 3];
            uvs_.push_back({uv[0], uv[1]});
        }
        normals_.push_back(normal);
        faces_.push_back(face);
    }

    std::string Text(const std::string& name, const std::string& indent) const {
        std::string text = indent + "Mesh " + name + " {\n";
        text += List(indent, positions_.size(), [&](std::size_t i) { return Triple(positions_[i]); });
        text += List(indent, faces_.size(), [&](std::size_t i) { return Corners(faces_[i], faces_[i].first); });
        text += indent + " MeshNormals {\n";
        text += List(indent + " ", normals_.size(), [&](std::size_t i) { return Triple(normals_[i]); });
        text +=
            List(indent + " ", faces_.size(), [&](std::size_t i) { return Corners(faces_[i], -1 - faces_[i].normal); });
        text += indent + " }\n" + indent + " MeshTextureCoords {\n";
        text += List(indent + " ", uvs_.size(),
                     [&](std::size_t i) { return Number(uvs_[i][0]) + ";" + Number(uvs_[i][1]) + ";"; });
        text += indent + " }\n" + indent + " MeshMaterialList {\n";
        text += indent + "  " + std::to_string(materials_.size()) + ";\n" + indent + "  " +
                std::to_string(faces_.size()) + ";\n";
        for (std::size_t i = 0; i < faces_.size(); ++i)
            text += indent + "  " + std::to_string(faces_[i].material) + (i + 1 < faces_.size() ? ",\n" : ";;\n");
        for (const char* m : materials_) text += indent + "  {" + m + "}\n";
        return text + indent + " }\n" + indent + "}\n";
    }

private:
    struct Face {
        int first, count, material, normal;
    };

    static std::string Triple(Vec3 v) { return Number(v.x) + ";" + Number(v.y) + ";" + Number(v.z) + ";"; }

    // A face's corner count and indices: consecutive vertices from `first`, or (for a negative
    // `first`) the normal -1 - first at every corner.
    static std::string Corners(const Face& f, int first) {
        std::string text = std::to_string(f.count) + ";";
        for (int k = 0; k < f.count; ++k)
            text += std::to_string(first >= 0 ? first + k : -1 - first) + (k + 1 < f.count ? "," : ";");
        return text;
    }

    template <typename Item>
    static std::string List(const std::string& indent, std::size_t count, Item item) {
        std::string text = indent + " " + std::to_string(count) + ";\n";
        for (std::size_t i = 0; i < count; ++i) text += indent + " " + item(i) + (i + 1 < count ? ",\n" : ";\n");
        return text;
    }

    std::vector<const char*> materials_;
    std::vector<Vec3> positions_;
    std::vector<std::array<float, 2>> uvs_;
    std::vector<Vec3> normals_;
    std::vector<Face> faces_;
};

// Material slots of a segment: its four sides, its top and its bottom.
struct Slots {
    int front, back, left, right, top, bottom;
};

// A segment between heights y0 and y1 with rectangular ends of half sizes (w0, d0) and (w1, d1):
// four quad sides, a quad top and a bottom cut into two triangles.
void Segment(MeshBuilder& mesh, float y0, float y1, float w0, float d0, float w1, float d1, Slots s) {
    const Vec3 inside{0, (y0 + y1) / 2, 0};
    Vec3 b[4] = {{-w0, y0, -d0}, {w0, y0, -d0}, {w0, y0, d0}, {-w0, y0, d0}};
    Vec3 t[4] = {{-w1, y1, -d1}, {w1, y1, -d1}, {w1, y1, d1}, {-w1, y1, d1}};
    const int side[4] = {s.front, s.right, s.back, s.left};
    for (int i = 0; i < 4; ++i) mesh.Polygon({b[i], t[i], t[(i + 1) % 4], b[(i + 1) % 4]}, side[i], inside);
    mesh.Polygon({t[0], t[1], t[2], t[3]}, s.top, inside);
    mesh.Polygon({b[0], b[1], b[2]}, s.bottom, inside);
    mesh.Polygon({b[0], b[2], b[3]}, s.bottom, inside);
}

// A pyramid with its square base (half size w) at height y0 and its apex at y1.
void Pyramid(MeshBuilder& mesh, float y0, float y1, float w, int base, int sides) {
    const Vec3 inside{0, y0 + (y1 - y0) / 4, 0};
    Vec3 b[4] = {{-w, y0, -w}, {w, y0, -w}, {w, y0, w}, {-w, y0, w}};
    const Vec3 apex{0, y1, 0};
    mesh.Polygon({b[0], b[1], b[2], b[3]}, base, inside);
    for (int i = 0; i < 4; ++i) mesh.Polygon({b[i], apex, b[(i + 1) % 4]}, sides, inside);
}

struct Matrix {
    float m[16];
};

Matrix Translation(float x, float y, float z, float rollDegrees = 0) {
    const float a = rollDegrees * 3.14159265f / 180.0f;
    const float c = std::cos(a), s = std::sin(a);
    return {{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, x, y, z, 1}};
}

struct FrameDef {
    std::string name;
    Matrix matrix;
    std::string meshName;  // empty for none
    MeshBuilder mesh;
    std::vector<FrameDef> children;
};

std::string FrameText(const FrameDef& f, const std::string& indent) {
    std::string text = indent + "Frame " + f.name + " {\n" + indent + " FrameTransformMatrix {\n" + indent + "  ";
    for (int i = 0; i < 16; ++i) text += Number(f.matrix.m[i]) + (i < 15 ? "," : ";;\n");
    text += indent + " }\n";
    if (!f.meshName.empty()) text += f.mesh.Text(f.meshName, indent + " ");
    for (const FrameDef& child : f.children) text += FrameText(child, indent + " ");
    return text + indent + "}\n";
}

// An arm of three bones hanging from the shoulder; side -1 is the figure's left (-x).
FrameDef Arm(float side) {
    const std::string s = side < 0 ? "_L" : "_R";
    MeshBuilder upper({"Cloth", "Skin"}), lower({"Skin", "Cloth"}), hand({"Skin", "Leather"});
    Segment(upper, -0.28f, 0.0f, 0.05f, 0.05f, 0.06f, 0.06f, {0, 0, 0, 0, 1, 1});
    Segment(lower, -0.25f, 0.0f, 0.04f, 0.04f, 0.05f, 0.05f, {0, 0, 0, 0, 1, 1});
    Pyramid(hand, 0.0f, -0.12f, 0.045f, 1, 0);
    FrameDef handFrame{"Hand" + s, Translation(0, -0.25f, 0), "Hand", hand, {}};
    FrameDef lowerFrame{"LowerArm" + s, Translation(0, -0.28f, 0), "Arm", lower, {handFrame}};
    return {"UpperArm" + s, Translation(side * 0.25f, 0.24f, 0, side * 8.0f), "Arm", upper, {lowerFrame}};
}

// A leg of three bones from the hip; the foot is a wedge pointing forward (-z).
FrameDef Leg(float side) {
    const std::string s = side < 0 ? "_L" : "_R";
    MeshBuilder upper({"Cloth", "Leather"}), lower({"Leather", "Cloth"}), foot({"Leather", "Metal"});
    Segment(upper, -0.42f, 0.0f, 0.06f, 0.06f, 0.08f, 0.08f, {0, 0, 0, 0, 1, 1});
    Segment(lower, -0.42f, 0.0f, 0.05f, 0.05f, 0.06f, 0.06f, {0, 0, 0, 0, 1, 0});
    const Vec3 inside{0, -0.05f, -0.03f};
    const Vec3 heelTop{-0.05f, 0, 0.05f}, heelTop2{0.05f, 0, 0.05f}, heel{-0.05f, -0.08f, 0.06f},
        heel2{0.05f, -0.08f, 0.06f};
    const Vec3 toe{-0.05f, -0.08f, -0.18f}, toe2{0.05f, -0.08f, -0.18f};
    foot.Polygon({heelTop, heelTop2, heel2, heel}, 0, inside);  // back
    foot.Polygon({heel, heel2, toe2, toe}, 0, inside);          // sole
    foot.Polygon({heelTop, toe, toe2, heelTop2}, 0, inside);    // instep
    foot.Polygon({heelTop, heel, toe}, 1, inside);              // sides, with metal plates
    foot.Polygon({heelTop2, toe2, heel2}, 1, inside);
    FrameDef footFrame{"Foot" + s, Translation(0, -0.42f, 0), "Foot", foot, {}};
    FrameDef lowerFrame{"LowerLeg" + s, Translation(0, -0.42f, 0), "Leg", lower, {footFrame}};
    return {"UpperLeg" + s, Translation(side * 0.1f, -0.06f, 0), "Leg", upper, {lowerFrame}};
}

FrameDef Figure() {
    MeshBuilder pelvis({"Cloth", "Leather"}), belly({"Cloth", "Skin"}), torso({"Metal", "Cloth"});
    MeshBuilder neck({"Skin", "Cloth"}), head({"Face", "Skin", "Hair"});
    Segment(pelvis, -0.08f, 0.08f, 0.17f, 0.11f, 0.16f, 0.1f, {0, 0, 0, 0, 1, 1});
    Segment(belly, 0.0f, 0.22f, 0.15f, 0.1f, 0.17f, 0.11f, {0, 0, 0, 0, 1, 1});
    Segment(torso, 0.0f, 0.32f, 0.17f, 0.11f, 0.22f, 0.12f, {0, 0, 1, 1, 1, 1});
    Segment(neck, 0.0f, 0.1f, 0.05f, 0.05f, 0.045f, 0.045f, {0, 0, 0, 0, 1, 1});
    Segment(head, 0.0f, 0.24f, 0.09f, 0.1f, 0.1f, 0.11f, {0, 1, 1, 1, 2, 1});
    head.Polygon({{-0.015f, 0.1f, -0.1f}, {0.015f, 0.1f, -0.1f}, {0, 0.14f, -0.1f}}, 1, {0, 0.12f, -0.05f});  // nose
    head.Polygon({{0.015f, 0.1f, -0.1f}, {0, 0.1f, -0.13f}, {0, 0.14f, -0.1f}}, 1, {-0.01f, 0.12f, -0.05f});
    head.Polygon({{-0.015f, 0.1f, -0.1f}, {0, 0.14f, -0.1f}, {0, 0.1f, -0.13f}}, 1, {0.01f, 0.12f, -0.05f});

    FrameDef headFrame{"Head", Translation(0, 0.1f, 0), "Head", head, {}};
    FrameDef neckFrame{"Neck", Translation(0, 0.32f, 0), "Neck", neck, {headFrame}};
    FrameDef chest{"Chest", Translation(0, 0.22f, 0), "Torso", torso, {neckFrame, Arm(-1), Arm(1)}};
    FrameDef spine{"Spine", Translation(0, 0.08f, 0), "Belly", belly, {chest}};
    FrameDef hips{"Hips", Translation(0, 1.02f, 0), "Pelvis", pelvis, {spine, Leg(-1), Leg(1)}};
    return {"Scene_Root", Translation(0, 0, 0), "", MeshBuilder({}), {hips}};
}

std::string FigureText() {
    std::string text = "xof 0303txt 0032\n\nHeader {\n 1;\n 0;\n 1;\n}\n\n";
    for (const MaterialDef& m : kMaterials) text += MaterialBlock(m, "") + "\n";
    return text + FrameText(Figure(), "");
}

// --- textures ---------------------------------------------------------------------------------------

// A repeatable pseudo-random value in 0..255 for a texel.
int Noise(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 1442695041u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<int>((h ^ (h >> 16)) & 0xFF);
}

void Fill(samples::Image& image, int r, int g, int b) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* c = image.At(x, y);
            c[0] = static_cast<std::uint8_t>(r), c[1] = static_cast<std::uint8_t>(g),
            c[2] = static_cast<std::uint8_t>(b);
        }
}

void Shade(std::uint8_t* c, int delta) {
    for (int k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>(std::clamp(c[k] + delta, 0, 255));
}

samples::Image SkinImage() {
    samples::Image image(64, 64);
    Fill(image, 230, 184, 153);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) Shade(image.At(x, y), Noise(x, y, 1) / 32 - 4);
    return image;
}

samples::Image ClothImage() {
    samples::Image image(64, 64);
    Fill(image, 64, 90, 178);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool warp = ((x / 2) + (y / 4)) % 2 == 0;  // a simple weave
            Shade(image.At(x, y), (warp ? 18 : -14) + Noise(x, y, 2) / 64);
        }
    return image;
}

// Flat patches of four shades, so that the run-length encoding has runs to find.
samples::Image LeatherImage() {
    samples::Image image(64, 64);
    Fill(image, 115, 72, 40);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) Shade(image.At(x, y), (Noise(x / 8, y / 8, 3) % 4) * 8 - 12);
    for (int x = 0; x < 64; ++x) Shade(image.At(x, 60), -30);  // a stitched seam
    return image;
}

samples::Image MetalImage() {
    samples::Image image(64, 64);
    Fill(image, 176, 180, 188);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            Shade(image.At(x, y), Noise(0, y, 4) / 16 - 8);  // brushed along x
            if ((x % 16 == 3 || x % 16 == 12) && (y % 16 == 3 || y % 16 == 12)) Shade(image.At(x, y), -70);  // rivets
        }
    return image;
}

// A face drawn on skin: brows, eyes and a mouth, looking out of the front of the head.
samples::Image FaceImage() {
    samples::Image image = SkinImage();
    auto disc = [&](float cx, float cy, float rx, float ry, int r, int g, int b) {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                float dx = (x + 0.5f - cx) / rx, dy = (y + 0.5f - cy) / ry;
                if (dx * dx + dy * dy > 1) continue;
                std::uint8_t* c = image.At(x, y);
                c[0] = static_cast<std::uint8_t>(r), c[1] = static_cast<std::uint8_t>(g),
                c[2] = static_cast<std::uint8_t>(b);
            }
    };
    for (float cx : {20.0f, 44.0f}) {
        disc(cx, 18, 8, 1.5f, 70, 45, 25);  // brow
        disc(cx, 25, 6, 4, 250, 250, 245);  // eye
        disc(cx, 25, 2.5f, 3, 50, 90, 60);  // iris
    }
    disc(32, 47, 10, 2.5f, 170, 60, 60);  // mouth
    return image;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out + '\x1A';  // as editors of the time ended text files
}

bool Fail(const std::string& what, const ms::Status& status) {
    std::fprintf(stderr, "make_samples: %s: %s\n", what.c_str(), status.message().c_str());
    return false;
}

bool WriteSamples(const std::string& folder) {
    const std::string text = FigureText();
    const std::string x = folder + "/figure.x", crlf = folder + "/figure_crlf.x", gmf = folder + "/figure.gmf";
    if (!WriteText(x, text) || !WriteText(crlf, WithCrLf(text))) return false;
    if (!samples::WritePng(folder + "/skin.png", SkinImage()) ||
        !samples::WriteBmp(folder + "/cloth.bmp", ClothImage()) ||
        !samples::WriteTga(folder + "/leather.tga", LeatherImage()) ||
        !samples::WriteDds(folder + "/metal.dds", MetalImage()) ||
        !samples::WriteJpeg(folder + "/face.jpg", FaceImage()))
        return false;

    ms::Model model, fromCrlf;
    if (ms::Status s = model.LoadX(x); !s) return Fail("import", s);
    if (ms::Status s = fromCrlf.LoadX(crlf); !s) return Fail("import", s);
    if (ms::ModelToJson(model).dump() != ms::ModelToJson(fromCrlf).dump())
        return Fail(crlf, ms::Status::Error("imports differently from " + x));
    if (ms::Status s = model.SaveGmf(gmf); !s) return Fail("save", s);
    std::printf("%s: %d frames, %d mesh nodes, %d materials, %d textures\n", x.c_str(), model.FrameCount(),
                model.MeshNodeCount(), model.MaterialCount(), model.TextureCount());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    return WriteSamples(argv[1]) ? 0 : 1;
}
