#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "model/model_json.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::TempDir;

std::string Dump(const Model& m) { return ModelToJson(m).dump(); }

// `text` after the text header, on its first line so that the line numbers stay.
Status LoadText(Model& m, const std::string& text) {
    TempDir dir;
    test::WriteFileText(dir.Path("m.x"), text.rfind("xof ", 0) == 0 ? text : "xof 0303txt 0032 " + text);
    return m.LoadX(dir.Path("m.x"));
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

using Floats = std::vector<float>;

Floats Matrix(const Model& m, std::int32_t frame) {
    FrameRecord f = m.GetFrame(frame);
    return Floats(f.matrix, f.matrix + 16);
}

// Position, normal and texture coordinate of one vertex of an imported geometry.
Floats Vertex(const Model& m, std::int32_t geometry, std::int32_t vertex) {
    Floats v(8);
    std::memcpy(v.data(), m.Geometry(geometry)->vertices.data() + 32 * vertex, 32);
    return v;
}

std::vector<std::uint16_t> Indices(const Model& m, std::int32_t geometry) { return m.Geometry(geometry)->indices; }

Floats Colour(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

const std::string kIdentity = "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }";
const std::string kWhite = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";

std::string Triangle(const std::string& name) {
    return "Mesh " + name + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; " + kWhite +
           " } }\n";
}

std::string EmptyFrame(const std::string& name) { return "Frame " + name + " { " + kIdentity + " }\n"; }

// A file, the file loaded before it (if any), and what the Model must hold afterwards.
struct ImportCase {
    const char* what;
    std::string before;
    std::string text;
    std::function<void(const Model&)> check;
};

const ImportCase kImportCases[] = {
    {"frame matrices exchange the second and third rows and columns, frames chain at the top", "",
     "Frame A { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;; } }\n"
     "Frame B { FrameTransformMatrix { 1,0,0,0, 0,0,1,0, 0,1,0,0, 0,0,0,1;; } }\n"
     "Frame C { FrameTransformMatrix { 1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16;; } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 3);
         EXPECT_EQ(Matrix(m, 0), (Floats{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 7, 6, 1}));
         EXPECT_EQ(Matrix(m, 1), (Floats{1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1}));
         EXPECT_EQ(Matrix(m, 2), (Floats{1, 3, 2, 4, 9, 11, 10, 12, 5, 7, 6, 8, 13, 15, 14, 16}));
         EXPECT_EQ(m.FrameNextSibling(0), 1);
         EXPECT_EQ(m.FrameNextSibling(1), 2);
         EXPECT_EQ(m.FrameNextSibling(2), -1);
         EXPECT_EQ(m.FrameFirstChild(0), -1);
         EXPECT_EQ(m.RootTail(), 2);
     }},
    {"vertices are stored as x z y, renumbered in face order; a quad is a fan of reversed winding", "",
     "Mesh M { 4; 1;2;3;, 4;5;6;, 7;8;9;, 10;11;12;;\n"
     " 1; 4;2,0,1,3;;\n"
     " MeshMaterialList { 1; 1; 0;; " + kWhite + " } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.GeometryCount(), 1);
         const MeshGeometry& g = *m.Geometry(0);
         EXPECT_EQ(g.vertexCount, 4);
         EXPECT_EQ(g.primitiveCount, 2);
         EXPECT_EQ(g.stride, 32);
         EXPECT_EQ(g.fvf, 0x112u);
         EXPECT_EQ(g.primitiveType, 4);
         EXPECT_EQ(g.vertices.size(), 128u);
         EXPECT_EQ(Vertex(m, 0, 0), (Floats{7, 9, 8, 0, 0, 0, 0, 0}));  // file vertex 2, used first
         EXPECT_EQ(Vertex(m, 0, 1), (Floats{1, 3, 2, 0, 0, 0, 0, 0}));
         EXPECT_EQ(Vertex(m, 0, 3), (Floats{10, 12, 11, 0, 0, 0, 0, 0}));
         EXPECT_EQ(Indices(m, 0), (std::vector<std::uint16_t>{0, 2, 1, 0, 3, 2}));
     }},
    {"normals come through the normal faces, a later face overwriting; texture coordinates per vertex", "",
     "Mesh N { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;\n"
     " 2; 3;0,1,2;, 3;0,2,3;;\n"
     " MeshNormals { 2; 0;1;0;, 1;2;3;; 2; 3;0,0,0;, 3;1,1,1;; }\n"
     " MeshTextureCoords { 4; 0.0;0.5;, 1;0.5;, 1;1;, 0;1;; }\n"
     " MeshMaterialList { 1; 2; 0,0;; " + kWhite + " } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.GeometryCount(), 1);
         EXPECT_EQ(Vertex(m, 0, 0), (Floats{0, 0, 0, 1, 3, 2, 0, 0.5f}));
         EXPECT_EQ(Vertex(m, 0, 1), (Floats{1, 0, 0, 0, 0, 1, 1, 0.5f}));
         EXPECT_EQ(Vertex(m, 0, 2), (Floats{1, 0, 1, 1, 3, 2, 1, 1}));
         EXPECT_EQ(Vertex(m, 0, 3), (Floats{0, 0, 1, 1, 3, 2, 0, 1}));
         EXPECT_EQ(Indices(m, 0), (std::vector<std::uint16_t>{0, 2, 1, 0, 3, 2}));
     }},
    {"a mesh with three materials gives Box, Box0 and Box1, each with only the vertices it uses", "",
     "Mesh Box { 6; 0;0;0;, 1;0;0;, 0;1;0;, 2;0;0;, 3;0;0;, 2;1;0;;\n"
     " 4; 3;0,1,2;, 3;3,4,5;, 3;0,2,4;, 3;2,1,0;;\n"
     " MeshMaterialList { 3; 4; 0,1,2,0;;\n"
     "  Material Red { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
     "  Material Green { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
     "  Material Blue { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; } } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MeshNodeCount(), 3);
         const char* names[] = {"Box", "Box0", "Box1"};
         for (std::int32_t n = 0; n < 3; ++n) {
             EXPECT_STREQ(m.MeshNodeName(n), names[n]);
             EXPECT_EQ(m.MeshNodeGeometry(n), n);
             EXPECT_EQ(m.MeshNodeMaterial(n), n);
             EXPECT_EQ(m.Geometry(n)->vertexCount, 3);
         }
         EXPECT_STREQ(m.GetMaterial(2).name, "Blue");
         EXPECT_EQ(m.Geometry(0)->primitiveCount, 2);
         EXPECT_EQ(Indices(m, 0), (std::vector<std::uint16_t>{0, 2, 1, 2, 0, 1}));
         EXPECT_EQ(Vertex(m, 1, 0), (Floats{2, 0, 0, 0, 0, 0, 0, 0}));
         EXPECT_EQ(Vertex(m, 2, 1), (Floats{0, 0, 1, 0, 0, 0, 0, 0}));
         EXPECT_EQ(Vertex(m, 2, 2), (Floats{3, 0, 0, 0, 0, 0, 0, 0}));
     }},
    {"a material that no face uses gives an empty mesh node and geometry", "",
     "Mesh Pair { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
     " MeshMaterialList { 2; 1; 1;; " + kWhite + " Material Unused { 0;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MeshNodeCount(), 2);
         EXPECT_STREQ(m.MeshNodeName(0), "Pair");
         EXPECT_EQ(m.Geometry(0)->vertexCount, 0);
         EXPECT_EQ(m.Geometry(0)->primitiveCount, 0);
         EXPECT_TRUE(m.Geometry(0)->vertices.empty());
         EXPECT_EQ(m.Geometry(1)->vertexCount, 3);
         EXPECT_EQ(m.MeshNodeMaterial(1), 1);
     }},
    {"frame names are made unique, unnamed ones named, blanks dropped, tabs kept, long ones cut", "",
     EmptyFrame("Arm") + EmptyFrame("Arm") + "Frame { " + kIdentity + Triangle("") + "}\n" +
         EmptyFrame("Left Arm") + "Frame\tTabbed {" + kIdentity + "}\n" + EmptyFrame(std::string(40, 'n')),
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 6);
         EXPECT_STREQ(m.FrameName(0), "Arm");
         EXPECT_STREQ(m.FrameName(1), "Arm0");
         EXPECT_STREQ(m.FrameName(2), "frame");
         EXPECT_STREQ(m.MeshNodeName(0), "mesh");
         EXPECT_STREQ(m.FrameName(3), "LeftArm");
         EXPECT_STREQ(m.FrameName(4), "\tTabbed");
         EXPECT_EQ(std::string(m.FrameName(5)), std::string(31, 'n'));
     }},
    {"a name that collides with one already in the Model has its trailing digits replaced",
     EmptyFrame("Leg2") + Triangle("Leg2"), EmptyFrame("Leg2") + Triangle("Leg2"),
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 2);
         EXPECT_STREQ(m.FrameName(1), "Leg0");
         EXPECT_STREQ(m.MeshNodeName(1), "Leg0");
         EXPECT_EQ(m.MeshNodeGeometry(1), 1);
         EXPECT_EQ(m.FrameNextSibling(0), 1);
         EXPECT_EQ(m.RootTail(), 1);
     }},
    {"counters skip names already taken, as far as they go",
     EmptyFrame("A") + EmptyFrame("A5") + EmptyFrame("A1x"),
     EmptyFrame("A") + EmptyFrame("A") + EmptyFrame("A7") + EmptyFrame("A") + EmptyFrame("A") + EmptyFrame("A") +
         EmptyFrame("A") + EmptyFrame("A"),
     [](const Model& m) {
         const char* expected[] = {"A0", "A1", "A7", "A2", "A3", "A4", "A6", "A8"};
         for (std::int32_t f = 3; f < m.FrameCount(); ++f) EXPECT_STREQ(m.FrameName(f), expected[f - 3]) << f;
     }},
    {"materials equal within the tolerance with the same texture collapse into their average", "",
     "Mesh A { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;;\n"
     "  Material Near { 0.5;0.5;0.5;1;; 10; 0.1;0.1;0.1;; 0;0;0;; TextureFilename { \"t.bmp\"; } } } }\n"
     "Mesh B { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;;\n"
     "  Material Nearer { 0.5008;0.5;0.5;1;; 10.0005; 0.1;0.1;0.1;; 0;0;0;; TextureFilename { \"t.bmp\"; } } } }\n"
     "Mesh C { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;;\n"
     "  Material Other { 0.5;0.5;0.5;1;; 10; 0.1;0.1;0.1;; 0;0;0;; TextureFilename { \"u.bmp\"; } } } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MaterialCount(), 2);
         EXPECT_EQ(m.MeshNodeMaterial(0), 0);
         EXPECT_EQ(m.MeshNodeMaterial(1), 0);
         EXPECT_EQ(m.MeshNodeMaterial(2), 1);
         MaterialRecord near = m.GetMaterial(0);
         EXPECT_STREQ(near.name, "Near");
         EXPECT_EQ(near.material.Diffuse.r, (0.5f + 0.5008f) / 2);
         EXPECT_EQ(near.material.Power, (10.0f + 10.0005f) / 2);
         EXPECT_EQ(Colour(near.material.Ambient), Colour(near.material.Diffuse));
     }},
    {"a top-level mesh gives mesh nodes that no frame claims", "", EmptyFrame("F") + Triangle("Loose"),
     [](const Model& m) {
         ASSERT_EQ(m.MeshNodeCount(), 1);
         EXPECT_STREQ(m.MeshNodeName(0), "Loose");
         EXPECT_EQ(m.FrameFirstMeshNode(0), -1);
         EXPECT_EQ(m.FrameMeshNodeCount(0), 0);
     }},
    {"a frame's mesh-node run reaches the last node made, claiming those of its child", "",
     "Frame P { " + kIdentity + Triangle("A") + "Frame C { " + kIdentity + Triangle("B") + "}\n" + Triangle("D") +
         "}\n",
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 2);
         EXPECT_EQ(m.FrameFirstMeshNode(0), 0);
         EXPECT_EQ(m.FrameMeshNodeCount(0), 3);
         EXPECT_EQ(m.FrameFirstChild(0), 1);
         EXPECT_EQ(m.FrameFirstMeshNode(1), 1);
         EXPECT_EQ(m.FrameMeshNodeCount(1), 1);
         EXPECT_STREQ(m.MeshNodeName(2), "D");
     }},
    {"a closing brace after a blank ends the frame, and one at the top level ends the import", "",
     "Frame A { " + kIdentity + " Dummy { 1 } Frame B { " + kIdentity + " } }\n" + EmptyFrame("C"),
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 2);
         EXPECT_EQ(m.FrameFirstChild(0), -1);
         EXPECT_EQ(m.FrameNextSibling(0), 1);
     }},
    {"a nested unknown block at the top level ends the import at its second closing brace", "",
     "Unknown { Inner { 1; } 2; }\n" + EmptyFrame("Lost"), [](const Model& m) { EXPECT_EQ(m.FrameCount(), 0); }},
    {"a closing brace directly after a word is lost with the word", "",
     "Frame A { " + kIdentity + " Dummy { 1} Frame B { " + kIdentity + " } }\n" + EmptyFrame("C"),
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 3);
         EXPECT_EQ(m.FrameFirstChild(0), 1);
         EXPECT_EQ(m.FrameNextSibling(0), 2);
     }},
    {"a number with an exponent is split at the exponent letter", "",
     "Frame E { FrameTransformMatrix { 1.5e-003,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; } }\n",
     [](const Model& m) {
         // In file order 1.5, -3, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0; the last 1 is skipped.
         EXPECT_EQ(Matrix(m, 0), (Floats{1.5f, 0, -3, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}));
     }},
    {"numbers convert up to the first character that does not fit", "",
     "Material N { 1.2.3; -; +-5; .5; 5.; -.25; 007; 123456789012345678901234567890; 0.1; 3-4; 1" +
         std::string(400, '0') + "; }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MaterialCount(), 1);
         const D3DMATERIAL8& n = m.GetMaterial(0).material;
         EXPECT_EQ(Colour(n.Diffuse), (Floats{1.2f, 0, 0, 0.5f}));
         EXPECT_EQ(n.Power, 5.0f);
         EXPECT_EQ(Colour(n.Specular), (Floats{-0.25f, 7, static_cast<float>(123456789012345678901234567890.0), 0.5f}));
         EXPECT_EQ(Colour(n.Emissive), (Floats{0.1f, 3, HUGE_VALF, 0.5f}));
     }},
    {"a mesh without a material list builds nothing", "", "Frame F { " + kIdentity +
         " Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n",
     [](const Model& m) {
         EXPECT_EQ(m.MeshNodeCount(), 0);
         EXPECT_EQ(m.GeometryCount(), 0);
         EXPECT_EQ(m.FrameFirstMeshNode(0), 0);  // where its nodes would have started: an empty run
         EXPECT_EQ(m.FrameMeshNodeCount(0), 0);
     }},
    {"a mesh that builds nothing still starts the frame's run, which then claims later nodes", "",
     "Frame P { " + kIdentity + " Mesh NoList { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n" + "Frame C { " +
         kIdentity + Triangle("Kid") + "}\n" + Triangle("After") + "}\n",
     [](const Model& m) {
         ASSERT_EQ(m.MeshNodeCount(), 2);
         EXPECT_EQ(m.FrameFirstMeshNode(0), 0);
         EXPECT_EQ(m.FrameMeshNodeCount(0), 2);
         EXPECT_EQ(m.FrameFirstMeshNode(1), 0);
         EXPECT_EQ(m.FrameMeshNodeCount(1), 1);
     }},
    {"template declarations and the Header are skipped whole", "",
     "xof 0303txt 0032\n"
     "template Frame { <3D82AB46-62DA-11CF-AB39-0020AF71E433> [...] }\n"
     "template Mesh{ <00000000-0000-0000-0000-000000000000> { nested } DWORD nVertices; }\n"
     "Header { 1; 0; 1; }\n" + EmptyFrame("Only"),
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 1);
         EXPECT_STREQ(m.FrameName(0), "Only");
         EXPECT_EQ(m.MeshNodeCount() + m.MaterialCount(), 0);
     }},
    {"the word template inside data is dropped like any other word", "",
     "Frame A { " + kIdentity + " \"template\"; template; Frame C { " + kIdentity + "} }\n",
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 2);
         EXPECT_EQ(m.FrameFirstChild(0), 1);
     }},
    {"materials: record fields, texture names after the last backslash, shared by name, cut to 99", "",
     "Material A { 0.1;0.2;0.3;0.4;; 9; 0.5;0.6;0.7;; 0.8;0.9;1.0;; TextureFilename { \"C:\\\\dir\\\\skin.bmp\"; } }\n"
     "Material B { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.bmp\"; } }\n"
     "Material C { 0;0;0;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" + std::string(120, 't') + "\"; } }\n"
     "Material D { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MaterialCount(), 4);
         ASSERT_EQ(m.TextureCount(), 2);
         EXPECT_STREQ(m.TextureName(0), "skin.bmp");
         EXPECT_EQ(std::string(m.TextureName(1)), std::string(99, 't'));
         MaterialRecord a = m.GetMaterial(0);
         EXPECT_EQ(Colour(a.material.Diffuse), (Floats{0.1f, 0.2f, 0.3f, 0.4f}));
         EXPECT_EQ(Colour(a.material.Ambient), Colour(a.material.Diffuse));
         EXPECT_EQ(Colour(a.material.Specular), (Floats{0.5f, 0.6f, 0.7f, 0.4f}));
         EXPECT_EQ(Colour(a.material.Emissive), (Floats{0.8f, 0.9f, 1.0f, 0.4f}));
         EXPECT_EQ(a.material.Power, 9.0f);
         EXPECT_EQ(a.stageCount, 1);
         EXPECT_EQ(std::vector<std::int32_t>(a.texture, a.texture + 8),
                   (std::vector<std::int32_t>{0, -1, -1, -1, -1, -1, -1, -1}));
         EXPECT_EQ(m.GetMaterial(1).texture[0], 0);
         EXPECT_EQ(m.GetMaterial(2).texture[0], 1);
         EXPECT_EQ(m.GetMaterial(3).texture[0], -1);
         EXPECT_EQ(m.GetMaterial(3).stageCount, 0);
     }},
    {"material references find the latest material of that name; an unknown name gives -1", "",
     "Material M { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
     "Material M { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; }\n"
     "Mesh R { 3; 0;0;0;, 1;0;0;, 0;1;0;; 3; 3;0,1,2;, 3;0,1,2;, 3;0,1,2;;\n"
     " MeshMaterialList { 3; 3; 0,1,2;; {M} { Nope } Material Own { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.MeshNodeCount(), 3);
         EXPECT_EQ(m.MeshNodeMaterial(0), 1);
         EXPECT_EQ(m.MeshNodeMaterial(1), -1);
         EXPECT_EQ(m.MeshNodeMaterial(2), 2);
     }},
    {"faces of fewer than three corners give no triangles but keep their vertices", "",
     "Mesh T { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;; 2; 2;0,1;, 3;1,2,3;;\n"
     " MeshMaterialList { 1; 2; 0,0;; " + kWhite + " } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.GeometryCount(), 1);
         EXPECT_EQ(m.Geometry(0)->vertexCount, 4);
         EXPECT_EQ(m.Geometry(0)->primitiveCount, 1);
         EXPECT_EQ(Indices(m, 0), (std::vector<std::uint16_t>{1, 3, 2}));
     }},
    {"loading a file again appends a renamed copy that shares the equal materials and textures",
     "Frame Scene_Root { " + kIdentity + " Frame Hips { " + kIdentity + Triangle("Body") + "} }\n" +
         "Material Skin { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.bmp\"; } }\n",
     "Frame Scene_Root { " + kIdentity + " Frame Hips { " + kIdentity + Triangle("Body") + "} }\n" +
         "Material Skin { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.bmp\"; } }\n",
     [](const Model& m) {
         ASSERT_EQ(m.FrameCount(), 4);
         EXPECT_STREQ(m.FrameName(2), "Scene_Root0");
         EXPECT_STREQ(m.FrameName(3), "Hips0");
         EXPECT_EQ(m.FrameNextSibling(0), 2);
         EXPECT_EQ(m.FrameFirstChild(2), 3);
         EXPECT_EQ(m.FrameFirstMeshNode(3), 1);
         EXPECT_STREQ(m.MeshNodeName(1), "Body0");
         EXPECT_EQ(m.MeshNodeGeometry(1), 1);
         EXPECT_EQ(m.MeshNodeMaterial(1), 0);
         EXPECT_EQ(m.MaterialCount(), 2);
         EXPECT_EQ(m.TextureCount(), 1);
     }},
};

TEST(XImport, FilesGiveTheirRecords) {
    for (const ImportCase& c : kImportCases) {
        SCOPED_TRACE(c.what);
        for (bool crlf : {false, true}) {
            Model m;
            if (!c.before.empty()) {
                ASSERT_TRUE(LoadText(m, crlf ? WithCrLf(c.before) : c.before));
            }
            Status s = LoadText(m, crlf ? WithCrLf(c.text) : c.text);
            ASSERT_TRUE(s) << s.message();
            c.check(m);
        }
    }
}

TEST(XImport, MaterialToleranceComparesEachValueInclusively) {
    // The eleven numbers of a Material: face colour r g b a, power, specular r g b, emissive r g b.
    auto material = [](int changed, float delta, const char* texture) {
        std::string text = "Material M {";
        for (int i = 0; i < 11; ++i) text += " " + std::to_string(0.5f + (i == changed ? delta : 0.0f)) + ";";
        return text + " TextureFilename { \"" + texture + "\"; } }\n";
    };
    for (int changed = 0; changed < 11; ++changed) {
        SCOPED_TRACE(changed);
        Model m;
        m.SetMaterialTolerance(0.25f);
        ASSERT_TRUE(LoadText(m, material(-1, 0, "a.bmp") + material(changed, 0.25f, "a.bmp")));
        ASSERT_EQ(m.MaterialCount(), 1);
        const D3DMATERIAL8& avg = m.GetMaterial(0).material;
        const float values[] = {avg.Diffuse.r, avg.Diffuse.g, avg.Diffuse.b, avg.Diffuse.a, avg.Power, avg.Specular.r,
                                avg.Specular.g, avg.Specular.b, avg.Emissive.r, avg.Emissive.g, avg.Emissive.b};
        EXPECT_EQ(values[changed], 0.625f);
        ASSERT_TRUE(LoadText(m, material(changed, 0.5f, "a.bmp")));
        EXPECT_EQ(m.MaterialCount(), 2);
    }
    Model m;
    ASSERT_TRUE(LoadText(m, material(-1, 0, "a.bmp") + material(-1, 0, "b.bmp")));
    EXPECT_EQ(m.MaterialCount(), 2);
}

TEST(XImport, TextModeLineEnds) {
    Model lone;
    ASSERT_TRUE(LoadText(lone, "Frame A\rB\r\nC { " + kIdentity + " }"));
    EXPECT_STREQ(lone.FrameName(0), "A\rB\nC");  // a lone CR stays, CR LF reads as LF

    Model ended;
    ASSERT_TRUE(LoadText(ended, EmptyFrame("Kept") + "\x1A" + EmptyFrame("Lost")));
    EXPECT_EQ(ended.FrameCount(), 1);
}

// A file whose first material the Model's material would be averaged with, then a fault.
struct BadFile {
    const char* what;
    std::string text;
    const char* error;
};

const std::string kNear = "Material Near { 0.5005;0.5;0.5;1;; 8; 0;0;0;; 0;0;0;; }\n";
const std::string kTriangleStart = "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";

std::string DeepFrames(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "Frame F { " + kIdentity + "\n";
    return text;
}

std::string ManyVertices(int count) {
    std::string text = "Mesh Big {\n" + std::to_string(count) + ";\n";
    for (int v = 0; v < count; ++v) text += "0;0;0;,";
    text += ";\n1; " + std::to_string(count) + ";";
    for (int v = 0; v < count; ++v) text += std::to_string(v) + ",";
    return text + ";;\nMeshMaterialList { 1; 1; 0;; {Base} } }\n";
}

const BadFile kBadFiles[] = {
    {"vertex index beyond the vertices", "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,3;; }",
     "line 3: vertex index 3 of face 0 is outside the 3 vertices"},
    {"negative vertex index", "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,-1,2;; }",
     "line 3: vertex index -1 of face 0 is outside the 3 vertices"},
    {"normal index beyond the normals", kTriangleStart + " MeshNormals { 1; 0;1;0;;\n 1; 3;0,0,1;; } }",
     "line 4: normal index 1 of normal face 0 is outside the 1 normals"},
    {"material index beyond the list", kTriangleStart + " MeshMaterialList { 2; 1; 2;; {Base} {Base} } }",
     "line 3: material index 2 of face 0 is outside the 2 materials"},
    {"material list longer than the faces", kTriangleStart + " MeshMaterialList { 1; 2; 0,0;; {Base} } }",
     "line 3: the material list covers 2 faces but the mesh has 1"},
    {"vertex count beyond the file", "Mesh M { 1000000; 0;0;0;; }",
     "line 2: vertex count 1000000 is more than the rest of the file can hold"},
    {"negative count", "Mesh M { -2; 0;0;0;; }", "line 2: vertex count -2 is not a count"},
    {"count beyond 32 bits", "Mesh M { 99999999999; }", "line 2: vertex count 1e+11 is not a count"},
    {"negative corner count", "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; -3;0,1,2;; }",
     "line 3: corner count -3 is not a count"},
    {"file ends inside the vertex list", "Mesh M { 2; 1;2;3;\n and no more numbers }",
     "line 3: the file ends inside the vertex list"},
    {"Ctrl-Z inside the vertex list", "Mesh M { 2; 1;2;3;\x1A 4;5;6;; }",
     "line 2: vertex count 2 is more than the rest of the file can hold"},
    {"face without a normal face",
     kTriangleStart + " MeshNormals { 1; 0;1;0;; 0; }\n MeshMaterialList { 1; 1; 0;; {Base} } }",
     "line 2: mesh \"M\": face 0 has no normal face (0 given)"},
    {"normal face shorter than its face",
     kTriangleStart + " MeshNormals { 1; 0;1;0;; 1; 2;0,0;; }\n MeshMaterialList { 1; 1; 0;; {Base} } }",
     "line 2: mesh \"M\": normal face 0 has fewer corners than its face"},
    {"vertex without a texture coordinate",
     kTriangleStart + " MeshTextureCoords { 2; 0;0;, 1;1;; }\n MeshMaterialList { 1; 1; 0;; {Base} } }",
     "line 2: mesh \"M\": vertex 2 has no texture coordinate (2 given)"},
    {"fault after thousands of lines", std::string(5000, '\n') + "Mesh M { -2; }",
     "line 5002: vertex count -2 is not a count"},
    {"frames nested 257 deep", DeepFrames(257), "line 258: frames are nested deeper than 256 levels"},
    {"a material's faces use 65537 vertices", ManyVertices(65537),
     "line 2: mesh \"Big\": a material's faces use 65537 vertices, more than 65536"},
};

TEST(XImport, BadFilesAreRejectedWithTheModelUnchanged) {
    const std::string base = "Material Base { 0.5;0.5;0.5;1;; 8; 0;0;0;; 0;0;0;; }\nFrame Root { " + kIdentity +
                             Triangle("Body") + "}\n";
    for (const BadFile& c : kBadFiles) {
        SCOPED_TRACE(c.what);
        for (bool crlf : {false, true}) {
            Model m;
            ASSERT_TRUE(LoadText(m, base));
            const std::string before = Dump(m);
            std::string text = kNear + c.text;
            Status s = LoadText(m, crlf ? WithCrLf(text) : text);
            ASSERT_FALSE(s);
            EXPECT_NE(s.message().find(c.error), std::string::npos) << s.message();
            EXPECT_EQ(Dump(m), before);
        }
    }
}

TEST(XImport, LimitsAcceptWhatTheyBound) {
    Model m;
    ASSERT_TRUE(LoadText(m, "Material Base { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n" + ManyVertices(65536)));
    EXPECT_EQ(m.Geometry(0)->vertexCount, 65536);
    EXPECT_EQ(Indices(m, 0).back(), 65534);
    Model deep;
    ASSERT_TRUE(LoadText(deep, DeepFrames(256)));
    EXPECT_EQ(deep.FrameCount(), 256);
}

TEST(XImport, ThousandsOfFramesOfOneNameGetCountersQuickly) {
    std::string text;
    for (int f = 0; f < 3000; ++f) text += EmptyFrame("Bone");
    Model m;
    ASSERT_TRUE(LoadText(m, text));
    EXPECT_STREQ(m.FrameName(2999), "Bone2998");
}

TEST(XImport, HeaderMustNameATextFile) {
    const struct {
        std::string bytes;
        const char* error;  // null: loads
    } cases[] = {
        {"xof 0303txt 0032\r\n", nullptr},
        {"xof 0302txt 0064", nullptr},
        {"", "not a .x file: the file is empty"},
        {std::string(4096, '\0'), "not a .x file: it does not start with \"xof \""},
        {"BM\x36\0\0\0\0\0\0\0\x36\0\0\0", "not a .x file: it does not start with \"xof \""},
        {"xof", "not a .x file: it does not start with \"xof \""},
        {"xof 03a3txt 0032", "not a .x file: \"xof \" is not followed by a four-digit version"},
        {"xof 0303txt", "not a .x file: the format after the version is not \"txt \""},
        {"xof 0303bin 0032", "a binary .x file: only text .x files are read"},
        {"xof 0303tzip0032", "a compressed .x file (tzip): only text .x files are read"},
        {"xof 0303bzip0032", "a compressed .x file (bzip): only text .x files are read"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        test::WriteFileText(dir.Path("h.x"), c.bytes);
        Model m;
        Status s = m.LoadX(dir.Path("h.x"));
        if (!c.error) {
            EXPECT_TRUE(s) << c.bytes << ": " << s.message();
            continue;
        }
        EXPECT_FALSE(s) << c.bytes;
        EXPECT_NE(s.message().find(c.error), std::string::npos) << s.message();
    }
}

TEST(XImport, MissingFileIsReportedAndChangesNothing) {
    TempDir dir;
    Model m;
    ASSERT_TRUE(LoadText(m, EmptyFrame("Kept")));
    Status s = m.LoadX(dir.Path("absent.x"));
    ASSERT_FALSE(s);
    EXPECT_NE(s.message().find("absent.x"), std::string::npos);
    EXPECT_EQ(m.FrameCount(), 1);
}

// A small file using every reader, for the round trip and the truncation loop.
const std::string kSmallFile =
    "xof 0303txt 0032\nHeader { 1; 0; 1; }\n"
    "Material Skin { 0.9;0.7;0.6;1.0;; 8.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; TextureFilename { \"skin.bmp\"; } }\n"
    "Frame Scene_Root { " + kIdentity + "\n"
    " Frame Hips { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1.5,0.25,1;; }\n"
    "  Mesh Pelvis { 4; -1;0;0;, 1;0;0;, 1;1;0;, -1;1;0;;\n"
    "   2; 4;0,1,2,3;, 3;0,2,1;;\n"
    "   MeshNormals { 1; 0;0;-1;; 2; 4;0,0,0,0;, 3;0,0,0;; }\n"
    "   MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
    "   VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }\n"
    "   MeshMaterialList { 2; 2; 0,1;; {Skin} Material Cloth { 0.2;0.3;0.8;1;; 4; 0;0;0;; 0;0;0;; } } }\n"
    "  Frame Leg { " + kIdentity + " }\n"
    " }\n"
    "}\n";

TEST(XImport, ImportedModelSurvivesAGmfRoundTrip) {
    TempDir dir;
    Model m;
    ASSERT_TRUE(LoadText(m, kSmallFile));
    ASSERT_TRUE(LoadText(m, kSmallFile));
    ASSERT_EQ(m.MeshNodeCount(), 4);
    ASSERT_TRUE(m.SaveGmf(dir.Path("m.gmf")));
    Model back;
    ASSERT_TRUE(back.LoadGmf(dir.Path("m.gmf")));
    EXPECT_EQ(Dump(back), Dump(m));
}

std::string SamplesFolder() {
    const char* data = std::getenv("MS_TEST_DATA");
    return std::string(data ? data : "tests/data") + "/../../samples";
}

// The bundled figure: its CR LF copy imports the same, and the checked-in GMF is its import.
TEST(XImport, BundledFigureMatchesItsCopies) {
    TempDir dir;
    const std::string folder = SamplesFolder();
    Model figure, crlf, gmf;
    ASSERT_TRUE(figure.LoadX(folder + "/figure.x"));
    ASSERT_TRUE(crlf.LoadX(folder + "/figure_crlf.x"));
    ASSERT_TRUE(gmf.LoadGmf(folder + "/figure.gmf"));
    EXPECT_STREQ(figure.FrameName(0), "Scene_Root");
    EXPECT_GE(figure.FrameCount(), 13);
    EXPECT_EQ(Dump(crlf), Dump(figure));
    EXPECT_EQ(Dump(gmf), Dump(figure));
    ASSERT_TRUE(figure.SaveGmf(dir.Path("figure.gmf")));
    EXPECT_EQ(test::ReadFileBytes(dir.Path("figure.gmf")), test::ReadFileBytes(folder + "/figure.gmf"));
}

// Every link of the records points into its array.
void ExpectConsistent(const Model& m) {
    auto inRange = [](std::int32_t index, std::int32_t count) { return index >= -1 && index < count; };
    for (std::int32_t f = 0; f < m.FrameCount(); ++f) {
        EXPECT_TRUE(inRange(m.FrameNextSibling(f), m.FrameCount()) && inRange(m.FrameFirstChild(f), m.FrameCount()));
        std::int32_t first = m.FrameFirstMeshNode(f);
        std::int32_t end = first + m.FrameMeshNodeCount(f);
        // An empty run may start at the node count (where a mesh without nodes would have put them).
        EXPECT_TRUE(first == -1 ? end == -1 : first >= 0 && first <= m.MeshNodeCount() && end <= m.MeshNodeCount());
    }
    for (std::int32_t n = 0; n < m.MeshNodeCount(); ++n) {
        EXPECT_TRUE(m.MeshNodeGeometry(n) >= 0 && m.MeshNodeGeometry(n) < m.GeometryCount());
        EXPECT_TRUE(inRange(m.MeshNodeMaterial(n), m.MaterialCount()));
    }
    for (std::int32_t i = 0; i < m.MaterialCount(); ++i)
        EXPECT_TRUE(inRange(m.GetMaterial(i).texture[0], m.TextureCount()));
    for (std::int32_t g = 0; g < m.GeometryCount(); ++g)
        for (std::uint16_t index : m.Geometry(g)->indices) EXPECT_LT(index, m.Geometry(g)->vertexCount);
}

TEST(XImport, EveryPrefixOfAFileLoadsOrIsRejectedCleanly) {
    TempDir dir;
    test::WriteFileText(dir.Path("whole.x"), kSmallFile);
    for (std::size_t length = 0; length <= kSmallFile.size(); ++length) {
        SCOPED_TRACE(length);
        Model m;
        ASSERT_TRUE(m.LoadX(dir.Path("whole.x")));
        const std::string before = Dump(m);
        test::WriteFileText(dir.Path("prefix.x"), kSmallFile.substr(0, length));
        if (m.LoadX(dir.Path("prefix.x")))
            ExpectConsistent(m);
        else
            EXPECT_EQ(Dump(m), before);
    }
}

}  // namespace
}  // namespace ms
