// The `.x` text import. Not a general `.x` parser: the keyword reader recognises the names of the
// template table and drops every other word, and one reader each handles Frame (with its
// FrameTransformMatrix), Mesh (with texture coordinates, normals and the material list) and
// Material (with its TextureFilename). The model is converted from the file's axes by swapping Y
// and Z, the winding of the triangles is reversed to match, each mesh is split into one mesh
// node and geometry per material, and materials equal within the tolerance are merged.
//
// The import builds on a copy of the Model's records and hands them back only when the whole
// file was read and checked: a rejected file (an index outside its array, a count the rest of
// the file cannot hold, frames nested too deeply) changes nothing.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/model.h"
#include "model/name_registry.h"
#include "model/x_reader.h"

namespace ms {
namespace {

// Template numbers of the template table that the import acts on.
enum Template : int {
    kHeader = 1,
    kMaterial = 11,
    kTextureFilename = 12,
    kMeshTextureCoords = 15,
    kMeshNormals = 16,
    kMeshMaterialList = 18,
    kMesh = 19,
    kFrame = 21,
    kVertexDuplicationIndices = 30,
};

constexpr int kMaxFrameDepth = 256;
constexpr std::size_t kMaxSubsetVertices = 65536;  // what 16-bit indices can address
constexpr std::uint32_t kImportFvf = 0x112;        // position, normal, one texture coordinate set
constexpr std::int32_t kImportStride = 32;

// Where the 16 numbers of a FrameTransformMatrix go, in file order: the second and third rows
// and the second and third columns are exchanged, as the Y and Z axes are.
constexpr int kMatrixOrder[16] = {0, 2, 1, 3, 8, 10, 9, 11, 4, 6, 5, 7, 12, 14, 13, 15};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string NumberText(float value) {
    std::array<char, 32> text{};
    auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

// Truncates a number read from the file toward zero into [0, limit); false outside.
bool ToIndex(float number, std::int64_t limit, std::int32_t& index) {
    double value = number;
    if (!(value > -1.0 && value < static_cast<double>(limit))) return false;
    index = static_cast<std::int32_t>(value);
    return true;
}

// Faces in one flat array: the corners of face f are corners[start[f]] .. corners[start[f + 1]].
struct FaceList {
    std::vector<std::uint32_t> start{0};
    std::vector<std::int32_t> corners;

    std::int64_t Count() const { return static_cast<std::int64_t>(start.size()) - 1; }
    std::span<const std::int32_t> Face(std::int64_t f) const {
        return {corners.data() + start[f], corners.data() + start[f + 1]};
    }
};

// What the file gives of one mesh, until the mesh has been built.
struct MeshData {
    std::string name;
    std::int64_t line = 0;
    std::int64_t vertexCount = 0;
    std::vector<float> positions;  // x, z, y per vertex
    FaceList faces;
    bool hasTexcoords = false;
    std::vector<float> texcoords;  // u, v per vertex
    bool hasNormals = false;
    std::vector<float> normals;  // x, z, y per normal
    FaceList normalFaces;
    // Subset s uses material subsetMaterial[s] and the faces subsetFaces[subsetStart[s]] ..
    // subsetFaces[subsetStart[s + 1]], in face order.
    std::vector<std::int32_t> subsetMaterial;
    std::vector<std::int64_t> subsetStart;
    std::vector<std::int32_t> subsetFaces;

    // Empties every field and keeps the memory for the next mesh.
    void Reset() {
        name.clear();
        line = vertexCount = 0;
        positions.clear();
        faces.start.assign(1, 0);
        faces.corners.clear();
        hasTexcoords = hasNormals = false;
        texcoords.clear();
        normals.clear();
        normalFaces.start.assign(1, 0);
        normalFaces.corners.clear();
        subsetMaterial.clear();
        subsetStart.clear();
        subsetFaces.clear();
    }
};

class XImport {
public:
    XImport(XReader& in, ModelRecords& records, std::vector<MeshGeometry>& geometries, std::int32_t geometryBase,
            float tolerance)
        : in_(in),
          records_(records),
          geometries_(geometries),
          geometryBase_(geometryBase),
          tolerance_(tolerance),
          frameNames_(records.frames),
          nodeNames_(records.meshNodes) {}

    // Reads the whole file into the records and geometries.
    Status Run();

private:
    std::int32_t ReadFrame(int depth);
    std::int32_t ReadMesh();
    void ReadTextureCoords(MeshData& mesh);
    void ReadNormals(MeshData& mesh);
    void ReadMaterialList(MeshData& mesh);
    std::int32_t ReadMaterial(int token);
    std::int32_t FindOrAddTexture(const std::string& name);
    std::int32_t AddOrMergeMaterial(const MaterialRecord& material);

    std::int32_t BuildMesh(const MeshData& mesh);
    bool BuildSubset(const MeshData& mesh, std::size_t subset, std::vector<std::int32_t>& remap,
                     std::vector<std::int32_t>& used, int* nameCounter);
    bool CheckSubset(const MeshData& mesh, std::span<const std::int32_t> faces, const std::vector<std::int32_t>& used,
                     std::int64_t primitives);

    bool ReadCount(const char* what, int numbersPerItem, std::int64_t& count);
    bool ReadListNumber(const char* what);
    bool ReadFaces(const char* what, const char* indexWhat, const char* indexPlural, std::int64_t indexLimit,
                   FaceList& faces);
    void Fail(const std::string& reason) { FailAt(in_.Line(), reason); }
    void FailAt(std::int64_t line, const std::string& reason);
    bool ok() const { return status_.ok(); }

    XReader& in_;
    ModelRecords& records_;
    std::vector<MeshGeometry>& geometries_;
    const std::int32_t geometryBase_;
    const float tolerance_;
    NameRegistry frameNames_;
    NameRegistry nodeNames_;
    MeshData mesh_;
    std::vector<std::int32_t> remap_;  // new index of each vertex of the mesh being built, or -1
    std::vector<std::int32_t> used_;   // the mesh vertices of the subset being built, by new index
    Status status_;
};

void XImport::FailAt(std::int64_t line, const std::string& reason) {
    if (ok()) status_ = Status::Error("line " + std::to_string(line) + ": " + reason);
    in_.Stop();  // every reader now sees the end of the file, so every loop winds down
}

Status XImport::Run() {
    for (;;) {
        int token = in_.ReadKeyword();
        if (token == XReader::kEnd || token == XReader::kCloseBrace) break;
        if (token == kHeader) {
            in_.SkipBlock();
        } else if (token == kMaterial) {
            ReadMaterial(token);
        } else if (token == kMesh) {
            ReadMesh();  // its mesh nodes stay unclaimed by any frame
        } else if (token == kFrame) {
            std::int32_t frame = ReadFrame(1);
            if (records_.rootTail != -1) records_.frames[records_.rootTail].nextSibling = frame;
            records_.rootTail = frame;
        } else {
            in_.SkipToBrace();
        }
    }
    if (!ok()) return status_;
    return in_.readError();
}

std::int32_t XImport::ReadFrame(int depth) {
    if (depth > kMaxFrameDepth) {
        Fail("frames are nested deeper than " + std::to_string(kMaxFrameDepth) + " levels");
        return -1;
    }
    FrameRecord frame{};
    CopyName(frame.name, kNameSize, in_.ReadName(kNameSize - 1).c_str());
    int counter = 0;
    frameNames_.MakeUnique(frame.name, "frame", &counter);
    frame.firstMeshNode = frame.nextSibling = frame.firstChild = -1;
    frame.meshNodeCount = 0;
    // The FrameTransformMatrix keyword is passed over by the number reader, which skips letters.
    for (int i = 0; i < 16; ++i) {
        in_.ReadNumber();
        frame.matrix[kMatrixOrder[i]] = in_.lastNumber();
    }
    in_.SkipToBrace();
    const auto index = static_cast<std::int32_t>(records_.frames.size());
    records_.frames.push_back(frame);

    // Unrecognised tokens are ignored without skipping their blocks, so the closing brace of any
    // unrecognised block ends the frame.
    std::int32_t lastChild = -1;
    for (int token = in_.ReadKeyword(); token != XReader::kEnd && token != XReader::kCloseBrace;
         token = in_.ReadKeyword()) {
        if (token == kMaterial) {
            ReadMaterial(token);
        } else if (token == kMesh) {
            std::int32_t first = ReadMesh();
            FrameRecord& f = records_.frames[index];
            // A mesh that builds no node still marks where its nodes would start, so the run may be
            // empty and begin at the node count. The run reaches the last node made, so it claims
            // the nodes of child frames read since the frame's first mesh.
            if (f.firstMeshNode == -1) f.firstMeshNode = first;
            if (f.firstMeshNode != -1)
                f.meshNodeCount = static_cast<std::int32_t>(records_.meshNodes.size()) - f.firstMeshNode;
        } else if (token == kFrame) {
            std::int32_t child = ReadFrame(depth + 1);
            if (child < 0) break;
            if (lastChild == -1)
                records_.frames[index].firstChild = child;
            else
                records_.frames[lastChild].nextSibling = child;
            lastChild = child;
        }
    }
    return index;
}

// Reads a count and checks that the rest of the file can hold that many items of
// `numbersPerItem` numbers each: n numbers take at least 2n - 1 characters.
bool XImport::ReadCount(const char* what, int numbersPerItem, std::int64_t& count) {
    in_.ReadNumber();
    float number = in_.lastNumber();
    if (!(number > -1.0f && number < 2147483648.0f)) {
        Fail(std::string(what) + " count " + NumberText(number) + " is not a count");
        return false;
    }
    count = static_cast<std::int64_t>(number);
    std::uint64_t needed = 2 * static_cast<std::uint64_t>(count) * numbersPerItem;
    if (needed > 0 && needed - 1 > in_.RemainingBound()) {
        Fail(std::string(what) + " count " + std::to_string(count) + " is more than the rest of the file can hold");
        return false;
    }
    return true;
}

bool XImport::ReadListNumber(const char* what) {
    if (in_.ReadNumber()) return true;
    Fail(std::string("the file ends inside the ") + what);
    return false;
}

bool XImport::ReadFaces(const char* what, const char* indexWhat, const char* indexPlural, std::int64_t indexLimit,
                        FaceList& faces) {
    std::int64_t count = 0;
    if (!ReadCount(what, 1, count)) return false;
    faces.start.assign(1, 0);
    faces.start.reserve(count + 1);
    faces.corners.clear();
    for (std::int64_t f = 0; f < count; ++f) {
        std::int64_t corners = 0;
        if (!ReadCount("corner", 1, corners)) return false;
        for (std::int64_t k = 0; k < corners; ++k) {
            std::int32_t index = 0;
            if (!ReadListNumber(what)) return false;
            if (!ToIndex(in_.lastNumber(), indexLimit, index)) {
                Fail(std::string(indexWhat) + " index " + NumberText(in_.lastNumber()) + " of " + what + " " +
                     std::to_string(f) + " is outside the " + std::to_string(indexLimit) + " " + indexPlural);
                return false;
            }
            faces.corners.push_back(index);
        }
        if (faces.corners.size() > UINT32_MAX) {
            Fail("too many face corners");
            return false;
        }
        faces.start.push_back(static_cast<std::uint32_t>(faces.corners.size()));
    }
    return true;
}

std::int32_t XImport::ReadMesh() {
    MeshData& mesh = mesh_;  // meshes do not nest, so one set of buffers serves them all
    mesh.Reset();
    mesh.name = in_.ReadName(kNameSize - 1);
    if (mesh.name.empty()) mesh.name = "mesh";
    mesh.line = in_.Line();
    if (!ReadCount("vertex", 3, mesh.vertexCount)) return -1;
    mesh.positions.resize(3 * mesh.vertexCount);
    for (std::int64_t v = 0; v < mesh.vertexCount; ++v) {
        for (int axis : {0, 2, 1}) {  // stored as x, z, y
            if (!ReadListNumber("vertex list")) return -1;
            mesh.positions[3 * v + axis] = in_.lastNumber();
        }
    }
    if (!ReadFaces("face", "vertex", "vertices", mesh.vertexCount, mesh.faces)) return -1;

    bool hasMaterialList = false;
    for (int token = in_.ReadKeyword(); token != XReader::kEnd && token != XReader::kCloseBrace;
         token = in_.ReadKeyword()) {
        if (token == kMeshTextureCoords) {
            ReadTextureCoords(mesh);
        } else if (token == kMeshNormals) {
            ReadNormals(mesh);
        } else if (token == kMeshMaterialList) {
            ReadMaterialList(mesh);
            hasMaterialList = true;
        } else if (token == kVertexDuplicationIndices) {
            in_.SkipBlock();
        }
    }
    if (!ok()) return -1;
    if (!hasMaterialList) return static_cast<std::int32_t>(records_.meshNodes.size());  // builds nothing
    return BuildMesh(mesh);
}

void XImport::ReadTextureCoords(MeshData& mesh) {
    std::int64_t count = 0;
    if (!ReadCount("texture coordinate", 2, count)) return;
    mesh.texcoords.resize(2 * count);
    for (float& value : mesh.texcoords) {
        if (!ReadListNumber("texture coordinate list")) return;
        value = in_.lastNumber();
    }
    mesh.hasTexcoords = true;
    in_.SkipToBrace();
}

void XImport::ReadNormals(MeshData& mesh) {
    std::int64_t count = 0;
    if (!ReadCount("normal", 3, count)) return;
    mesh.normals.resize(3 * count);
    for (std::int64_t n = 0; n < count; ++n) {
        for (int axis : {0, 2, 1}) {
            if (!ReadListNumber("normal list")) return;
            mesh.normals[3 * n + axis] = in_.lastNumber();
        }
    }
    if (!ReadFaces("normal face", "normal", "normals", count, mesh.normalFaces)) return;
    mesh.hasNormals = true;
    in_.SkipToBrace();
}

void XImport::ReadMaterialList(MeshData& mesh) {
    std::int64_t materials = 0, faceIndices = 0;
    if (!ReadCount("material", 1, materials) || !ReadCount("face index", 1, faceIndices)) return;
    if (faceIndices > mesh.faces.Count()) {
        Fail("the material list covers " + std::to_string(faceIndices) + " faces but the mesh has " +
             std::to_string(mesh.faces.Count()));
        return;
    }
    std::vector<std::int32_t> subsetOfFace(faceIndices, 0);
    for (std::int64_t f = 0; f < faceIndices; ++f) {
        if (!ReadListNumber("material list")) return;
        // With one material the indices are passed over: every listed face goes to it.
        if (materials != 1 && !ToIndex(in_.lastNumber(), materials, subsetOfFace[f])) {
            Fail("material index " + NumberText(in_.lastNumber()) + " of face " + std::to_string(f) +
                 " is outside the " + std::to_string(materials) + " materials");
            return;
        }
    }
    // Counting sort of the faces by subset, keeping face order within each subset.
    mesh.subsetStart.assign(materials + 1, 0);
    for (std::int32_t s : subsetOfFace) ++mesh.subsetStart[s + 1];
    for (std::int64_t s = 0; s < materials; ++s) mesh.subsetStart[s + 1] += mesh.subsetStart[s];
    mesh.subsetFaces.resize(faceIndices);
    std::vector<std::int64_t> next(mesh.subsetStart.begin(), mesh.subsetStart.end() - 1);
    for (std::int64_t f = 0; f < faceIndices; ++f)
        mesh.subsetFaces[next[subsetOfFace[f]]++] = static_cast<std::int32_t>(f);

    mesh.subsetMaterial.assign(materials, -1);
    for (std::int64_t s = 0; s < materials && ok(); ++s) mesh.subsetMaterial[s] = ReadMaterial(in_.ReadKeyword());
    in_.SkipToBrace();
}

// Called with the token read in front of the material: an opening brace starts a reference to
// an existing material by name, a Material keyword a material of its own. Returns the material
// index, or -1.
std::int32_t XImport::ReadMaterial(int token) {
    if (token == XReader::kOpenBrace) {
        std::string name = in_.ReadReference(kNameSize - 1);
        for (auto m = static_cast<std::int32_t>(records_.materials.size()) - 1; m >= 0; --m)
            if (std::strcmp(records_.materials[m].name, name.c_str()) == 0) return m;
        return -1;
    }
    if (token != kMaterial) return -1;
    MaterialRecord record{};
    CopyName(record.name, kNameSize, in_.ReadName(kNameSize - 1).c_str());
    float v[11];  // face colour r g b a, power, specular r g b, emissive r g b
    for (float& value : v) {
        in_.ReadNumber();
        value = in_.lastNumber();
    }
    D3DMATERIAL8& m = record.material;
    m.Diffuse = {v[0], v[1], v[2], v[3]};
    m.Ambient = m.Diffuse;
    m.Specular = {v[5], v[6], v[7], v[3]};
    m.Emissive = {v[8], v[9], v[10], v[3]};
    m.Power = v[4];
    for (std::int32_t& t : record.texture) t = -1;
    // The token after the numbers is consumed: normally the Material's closing brace.
    if (in_.ReadKeyword() == kTextureFilename) {
        record.texture[0] = FindOrAddTexture(in_.ReadQuotedFileName(kTextureNameSize - 1));
        record.stageCount = 1;
        in_.SkipToBrace();  // the TextureFilename's closing brace
        in_.SkipToBrace();  // the Material's
    }
    return AddOrMergeMaterial(record);
}

std::int32_t XImport::FindOrAddTexture(const std::string& name) {
    auto& names = records_.textureNames;
    for (std::size_t t = 0; t < names.size(); ++t)
        if (std::strcmp(names[t].name, name.c_str()) == 0) return static_cast<std::int32_t>(t);
    ms::TextureName entry;
    CopyName(entry.name, kTextureNameSize, name.c_str());
    names.push_back(entry);
    return static_cast<std::int32_t>(names.size()) - 1;
}

// The first existing material equal to the new one within the tolerance (colours, alpha and
// power; the same stage-0 texture) is averaged with it; otherwise the new one is appended.
std::int32_t XImport::AddOrMergeMaterial(const MaterialRecord& record) {
    const D3DMATERIAL8& n = record.material;
    auto near = [&](float a, float b) { return std::fabs(a - b) <= tolerance_; };
    auto nearColour = [&](const D3DCOLORVALUE& a, const D3DCOLORVALUE& b, bool alpha) {
        return near(a.r, b.r) && near(a.g, b.g) && near(a.b, b.b) && (!alpha || near(a.a, b.a));
    };
    auto average = [](float& a, float b) { a = (a + b) / 2; };
    auto averageColour = [&](D3DCOLORVALUE& a, const D3DCOLORVALUE& b) {
        average(a.r, b.r), average(a.g, b.g), average(a.b, b.b), average(a.a, b.a);
    };
    for (std::size_t i = 0; i < records_.materials.size(); ++i) {
        MaterialRecord& old = records_.materials[i];
        D3DMATERIAL8& o = old.material;
        if (!nearColour(o.Diffuse, n.Diffuse, true) || !nearColour(o.Specular, n.Specular, false) ||
            !nearColour(o.Emissive, n.Emissive, false) || !near(o.Power, n.Power) ||
            old.texture[0] != record.texture[0])
            continue;
        averageColour(o.Diffuse, n.Diffuse);
        averageColour(o.Specular, n.Specular);
        averageColour(o.Emissive, n.Emissive);
        average(o.Power, n.Power);
        o.Ambient = o.Diffuse;
        return static_cast<std::int32_t>(i);
    }
    records_.materials.push_back(record);
    return static_cast<std::int32_t>(records_.materials.size()) - 1;
}

// One mesh node and geometry per subset, in subset order. Returns the first new mesh node, or -1
// when none was built.
std::int32_t XImport::BuildMesh(const MeshData& mesh) {
    const auto first = static_cast<std::int32_t>(records_.meshNodes.size());
    if (mesh.subsetMaterial.empty()) return first;
    remap_.assign(mesh.vertexCount, -1);
    int nameCounter = 0;  // continues across the subsets
    for (std::size_t s = 0; s < mesh.subsetMaterial.size(); ++s)
        if (!BuildSubset(mesh, s, remap_, used_, &nameCounter)) return -1;
    return first;
}

// Checks what the subset's faces use of the texture coordinates and normals.
bool XImport::CheckSubset(const MeshData& mesh, std::span<const std::int32_t> faces,
                          const std::vector<std::int32_t>& used, std::int64_t primitives) {
    auto fail = [&](const std::string& reason) {
        FailAt(mesh.line, "mesh " + Quoted(mesh.name) + ": " + reason);
        return false;
    };
    if (used.size() > kMaxSubsetVertices)
        return fail("a material's faces use " + std::to_string(used.size()) + " vertices, more than " +
                    std::to_string(kMaxSubsetVertices) + " that 16-bit indices reach");
    if (primitives > INT32_MAX / 3) return fail("a material's faces make too many triangles");
    const std::int64_t texcoords = static_cast<std::int64_t>(mesh.texcoords.size()) / 2;
    if (mesh.hasTexcoords)
        for (std::int32_t v : used)
            if (v >= texcoords)
                return fail("vertex " + std::to_string(v) + " has no texture coordinate (" + std::to_string(texcoords) +
                            " given)");
    if (mesh.hasNormals)
        for (std::int32_t f : faces) {
            if (f >= mesh.normalFaces.Count())
                return fail("face " + std::to_string(f) + " has no normal face (" +
                            std::to_string(mesh.normalFaces.Count()) + " given)");
            if (mesh.normalFaces.Face(f).size() < mesh.faces.Face(f).size())
                return fail("normal face " + std::to_string(f) + " has fewer corners than its face");
        }
    return true;
}

bool XImport::BuildSubset(const MeshData& mesh, std::size_t subset, std::vector<std::int32_t>& remap,
                          std::vector<std::int32_t>& used, int* nameCounter) {
    const std::span<const std::int32_t> faces(mesh.subsetFaces.data() + mesh.subsetStart[subset],
                                              mesh.subsetFaces.data() + mesh.subsetStart[subset + 1]);
    // Renumber: a vertex gets the next new index where the subset's faces first use it.
    used.clear();
    std::int64_t primitives = 0;
    for (std::int32_t f : faces) {
        std::span<const std::int32_t> corners = mesh.faces.Face(f);
        for (std::int32_t v : corners)
            if (remap[v] < 0) {
                remap[v] = static_cast<std::int32_t>(used.size());
                used.push_back(v);
            }
        if (corners.size() >= 3) primitives += static_cast<std::int64_t>(corners.size()) - 2;
    }
    struct ResetRemap {
        std::vector<std::int32_t>& remap;
        const std::vector<std::int32_t>& used;
        ~ResetRemap() {
            for (std::int32_t v : used) remap[v] = -1;
        }
    } reset{remap, used};
    if (!CheckSubset(mesh, faces, used, primitives)) return false;

    MeshGeometry g;
    g.vertexCount = static_cast<std::int32_t>(used.size());
    g.primitiveCount = static_cast<std::int32_t>(primitives);
    g.stride = kImportStride;
    g.fvf = kImportFvf;
    g.primitiveType = D3DPT_TRIANGLELIST;
    g.vertices.assign(used.size() * kImportStride, 0);
    auto vertex = [&](std::int32_t j) { return g.vertices.data() + static_cast<std::size_t>(j) * kImportStride; };
    for (std::size_t j = 0; j < used.size(); ++j) {
        std::memcpy(vertex(j), &mesh.positions[3 * used[j]], 3 * sizeof(float));
        if (mesh.hasTexcoords) std::memcpy(vertex(j) + 24, &mesh.texcoords[2 * used[j]], 2 * sizeof(float));
    }
    if (mesh.hasNormals)  // a later face overwrites the normal an earlier one gave a vertex
        for (std::int32_t f : faces) {
            std::span<const std::int32_t> corners = mesh.faces.Face(f);
            std::span<const std::int32_t> normals = mesh.normalFaces.Face(f);
            for (std::size_t k = 0; k < corners.size(); ++k)
                std::memcpy(vertex(remap[corners[k]]) + 12, &mesh.normals[3 * normals[k]], 3 * sizeof(float));
        }

    // Each face as a fan from its first corner, with the winding reversed.
    g.indices.reserve(3 * primitives);
    for (std::int32_t f : faces) {
        std::span<const std::int32_t> c = mesh.faces.Face(f);
        for (std::size_t k = 2; k < c.size(); ++k)
            for (std::int32_t v : {c[0], c[k], c[k - 1]}) g.indices.push_back(static_cast<std::uint16_t>(remap[v]));
    }

    MeshNode node{};
    node.geometry = geometryBase_ + static_cast<std::int32_t>(geometries_.size());
    node.material = mesh.subsetMaterial[subset];
    CopyName(node.name, kNameSize, mesh.name.c_str());
    nodeNames_.MakeUnique(node.name, "mesh", nameCounter);
    records_.meshNodes.push_back(node);
    geometries_.push_back(std::move(g));
    return true;
}

}  // namespace

Status Model::LoadX(const std::string& path) {
    XReader in;
    if (Status s = in.Open(path); !s) return s;
    if (Status s = in.ReadHeader(); !s) return Status::Error(path + ": " + s.message());
    in.SetTemplates(TemplateTable);
    ModelRecords staged = records_;
    std::vector<MeshGeometry> geometries;
    XImport import(in, staged, geometries, GeometryCount(), MaterialTolerance());
    if (Status s = import.Run(); !s) return Status::Error(path + ": " + s.message());
    CommitLoad(std::move(staged), std::move(geometries));
    return Status::Ok();
}

}  // namespace ms
