// Skin and scene files: the 17-byte magic, the version 1.0 as a float, then chunks (u32 type,
// u32 size, payload) for the non-empty arrays in type order 0 to 9, each payload a u32 count and
// the elements, then the end chunk 10; a skin file follows it with 228 bytes of BoneState per
// bone. Records are stored as they stand in memory (little-endian, four-byte fields).
#include "skin/scene_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/binary_io.h"
#include "model/model_files.h"
#include "platform/d3dx/d3dx8tex.h"
#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms {
namespace {

constexpr char kMagic[17] = {'K', 'O', 'R', 'V', 'E', 'N', 'S', 'T', 'A', 'H', 'L', '_', 'S', 'C', 'E', 'N', 'E'};
constexpr float kVersion = 1.0f;
constexpr std::uint32_t kEndChunk = 10;
constexpr std::uint64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

const char* const kChunkNames[10] = {"vertex data", "index data",    "geometry",     "texture names", "materials",
                                     "program words", "entry points", "draw nodes", "matrices",      "bones"};

std::string At(std::uint64_t offset) { return " at offset " + std::to_string(offset); }
std::string Num(std::uint64_t n) { return std::to_string(n); }

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// ---------------------------------------------------------------------------------------------
// Writing

// Writes one chunk of fixed-size records.
template <typename T>
void WriteRecords(AtomicFileWriter& out, std::uint32_t type, const std::vector<T>& items) {
    if (items.empty()) return;
    out.WriteU32(type);
    out.WriteU32(static_cast<std::uint32_t>(4 + items.size() * sizeof(T)));
    out.WriteU32(static_cast<std::uint32_t>(items.size()));
    out.WriteBytes(items.data(), items.size() * sizeof(T));
}

std::uint64_t NamesSize(const std::vector<std::string>& names) {
    std::uint64_t size = 4;
    for (const std::string& n : names) size += 4 + n.size();
    return size;
}

std::uint64_t EntriesSize(const std::vector<EntryPoint>& entries) {
    std::uint64_t size = 4;
    for (const EntryPoint& e : entries) size += 8 + e.name.size();
    return size;
}

// Chunk sizes are u32: a Scene too large for them cannot be written.
Status CheckChunkSizes(const Scene& s) {
    const std::uint64_t sizes[10] = {
        4 + s.vertexPool.size(),      4 + 2 * s.indexPool.size(),      4 + 32ull * s.geometries.size(),
        NamesSize(s.textureNames),    4 + 104ull * s.materials.size(), 4 + 4ull * s.programWords.size(),
        EntriesSize(s.entryPoints),   4 + 24ull * s.drawNodes.size(),  4 + 64ull * s.matrices.size(),
        4 + 36ull * s.bones.size()};
    for (int type = 0; type < 10; ++type)
        if (sizes[type] > std::numeric_limits<std::uint32_t>::max())
            return Status::Error(std::string("the ") + kChunkNames[type] + " are too large for a scene file");
    return Status::Ok();
}

// ---------------------------------------------------------------------------------------------
// Reading

// What one file adds. Indices are still counted within the file, except the materials' texture
// indices, which chunk 3's mapping has already turned into the Scene's texture indices.
struct FileData {
    std::vector<std::uint8_t> vertices;
    std::vector<std::uint16_t> indices;
    std::vector<GeometryRecord> geometries;
    std::vector<std::string> names;  // the names to append
    std::vector<SceneMaterial> materials;
    std::vector<std::uint32_t> words;
    std::vector<EntryPoint> entries;
    std::vector<DrawNode> nodes;
    std::vector<D3DXMATRIX> matrices;
    std::vector<BoneRecord> bones;
    std::vector<BoneState> states;
    // File offsets of the checked records, for the messages.
    std::vector<std::uint64_t> geometryAt, materialAt, entryAt, nodeAt, boneAt;
};

// The Scene's counts before the file.
struct Bases {
    explicit Bases(const Scene& s)
        : vertices(s.vertexPool.size()), indices(s.indexPool.size()), geometries(s.geometries.size()),
          textures(s.textureNames.size()), materials(s.materials.size()), words(s.programWords.size()),
          entries(s.entryPoints.size()), nodes(s.drawNodes.size()), matrices(s.matrices.size()),
          bones(s.bones.size()) {}
    std::size_t vertices, indices, geometries, textures, materials, words, entries, nodes, matrices, bones;
};

class SceneFileReader {
public:
    SceneFileReader(const Scene& scene, FileReader& in) : in_(in), bases_(scene) {
        for (std::size_t i = 0; i < scene.textureNames.size(); ++i) textureIndex_.emplace(scene.textureNames[i], i);
        for (const EntryPoint& e : scene.entryPoints) entryNames_.insert(e.name);
    }

    // Reads the chunks up to the end chunk or the end of the file.
    Status ReadChunks();
    // Reads a skin file's bone states, which follow the end chunk.
    Status ReadBoneStates();

    FileData data;

private:
    Status ReadChunk(std::uint32_t type, const std::string& where);
    Status ReadTextureNames(std::uint32_t count, const std::string& where);
    Status ReadMaterials(std::uint32_t count, const std::string& where);
    Status ReadEntryPoints(std::uint32_t count, const std::string& where);
    Status ReadName(std::string& name, const std::string& where);
    std::string UniqueEntryName(std::string name) const;

    template <typename T>
    Status ReadRecords(std::uint32_t count, const std::string& where, std::vector<T>& out,
                       std::vector<std::uint64_t>* offsets = nullptr);

    FileReader& in_;
    Bases bases_;
    std::unordered_map<std::string, std::size_t> textureIndex_;  // names before the file
    std::unordered_set<std::string> entryNames_;                 // entry-point names before the file
    std::vector<std::int32_t> textureMapping_;  // chunk 3's file index -> Scene index, until chunk 4
    bool endRead_ = false;
};

Status SceneFileReader::ReadChunks() {
    while (in_.remaining() >= 8) {
        const std::uint64_t at = in_.offset();
        std::uint32_t type = 0, size = 0;
        if (!in_.ReadU32(type) || !in_.ReadU32(size)) return Status::Error("cannot read the chunk header" + At(at));
        if (type == kEndChunk) {
            endRead_ = in_.Skip(size);
            return Status::Ok();
        }
        if (type > kEndChunk) {  // unknown chunks are skipped by their size
            if (!in_.Skip(size)) return Status::Ok();
            continue;
        }
        // The chunks that hold arrays carry their own counts; their size field is not consulted.
        if (Status s = ReadChunk(type, "chunk " + Num(type) + " (" + kChunkNames[type] + ")" + At(at)); !s) return s;
    }
    return Status::Ok();
}

template <typename T>
Status SceneFileReader::ReadRecords(std::uint32_t count, const std::string& where, std::vector<T>& out,
                                    std::vector<std::uint64_t>* offsets) {
    const std::uint64_t bytes = std::uint64_t{count} * sizeof(T);
    if (bytes > in_.remaining())
        return Status::Error(where + ": " + Num(count) + " elements of " + Num(sizeof(T)) +
                             " bytes do not fit in the " + Num(in_.remaining()) + " bytes that follow");
    const std::size_t old = out.size();
    if (offsets)
        for (std::uint32_t i = 0; i < count; ++i) offsets->push_back(in_.offset() + std::uint64_t{i} * sizeof(T));
    out.resize(old + count);
    if (!in_.ReadBytes(out.data() + old, static_cast<std::size_t>(bytes)))
        return Status::Error(where + ": cannot read the elements");
    return Status::Ok();
}

Status SceneFileReader::ReadChunk(std::uint32_t type, const std::string& where) {
    std::uint32_t count = 0;
    if (!in_.ReadU32(count)) return Status::Error(where + ": the file ends inside the chunk's count");
    switch (type) {
        case 0: return ReadRecords(count, where, data.vertices);
        case 1: return ReadRecords(count, where, data.indices);
        case 2: return ReadRecords(count, where, data.geometries, &data.geometryAt);
        case 3: return ReadTextureNames(count, where);
        case 4: return ReadMaterials(count, where);
        case 5: return ReadRecords(count, where, data.words);
        case 6: return ReadEntryPoints(count, where);
        case 7: return ReadRecords(count, where, data.nodes, &data.nodeAt);
        case 8: return ReadRecords(count, where, data.matrices);
        default: return ReadRecords(count, where, data.bones, &data.boneAt);
    }
}

Status SceneFileReader::ReadName(std::string& name, const std::string& where) {
    std::uint32_t length = 0;
    if (!in_.ReadU32(length)) return Status::Error(where + ": the file ends inside the name's length");
    if (length > in_.remaining())
        return Status::Error(where + ": the name's length " + Num(length) + " exceeds the " + Num(in_.remaining()) +
                             " bytes that follow");
    name.resize(length);
    if (!in_.ReadBytes(name.data(), length)) return Status::Error(where + ": cannot read the name");
    if (name.find('\0') != std::string::npos) return Status::Error(where + ": the name holds a NUL byte");
    return Status::Ok();
}

// Names equal to one present before the file share its texture; the others are appended in file
// order. The mapping serves the next materials chunk.
Status SceneFileReader::ReadTextureNames(std::uint32_t count, const std::string& where) {
    if (std::uint64_t{count} * 4 > in_.remaining())
        return Status::Error(where + ": " + Num(count) + " names do not fit in the " + Num(in_.remaining()) +
                             " bytes that follow");
    textureMapping_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name;
        if (Status s = ReadName(name, where + ", name " + Num(i) + At(in_.offset())); !s) return s;
        auto existing = textureIndex_.find(name);
        if (existing != textureIndex_.end()) {
            textureMapping_.push_back(static_cast<std::int32_t>(existing->second));
            continue;
        }
        if (bases_.textures + data.names.size() >= kMaxCount)
            return Status::Error(where + ": the scene cannot hold more texture names");
        textureMapping_.push_back(static_cast<std::int32_t>(bases_.textures + data.names.size()));
        data.names.push_back(std::move(name));
    }
    return Status::Ok();
}

// The texture indices of the stages in use go through the mapping of the texture-name chunk that
// came before, when it held names; the mapping is forgotten afterwards.
Status SceneFileReader::ReadMaterials(std::uint32_t count, const std::string& where) {
    const std::size_t first = data.materials.size();
    if (Status s = ReadRecords(count, where, data.materials, &data.materialAt); !s) return s;
    for (std::size_t i = first; i < data.materials.size(); ++i) {
        SceneMaterial& m = data.materials[i];
        const std::string what = where + ", material " + Num(i - first) + At(data.materialAt[i]);
        if (m.stageCount < 0 || m.stageCount > 8)
            return Status::Error(what + ": stage count " + std::to_string(m.stageCount) + " is not 0 to 8");
        if (textureMapping_.empty()) continue;
        for (std::int32_t s = 0; s < m.stageCount; ++s) {
            std::int32_t& t = m.texture[s];
            if (t < 0) continue;
            if (static_cast<std::size_t>(t) >= textureMapping_.size())
                return Status::Error(what + ": texture " + std::to_string(t) + " is not one of the " +
                                     Num(textureMapping_.size()) + " names of the texture-name chunk");
            t = textureMapping_[t];
        }
    }
    textureMapping_.clear();
    return Status::Ok();
}

// A name taken before the file loses its trailing digits and gets the first free counter from 0.
std::string SceneFileReader::UniqueEntryName(std::string name) const {
    if (!entryNames_.contains(name)) return name;
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
    for (std::uint64_t counter = 0;; ++counter) {
        std::string candidate = name + std::to_string(counter);
        if (!entryNames_.contains(candidate)) return candidate;
    }
}

Status SceneFileReader::ReadEntryPoints(std::uint32_t count, const std::string& where) {
    if (std::uint64_t{count} * 8 > in_.remaining())
        return Status::Error(where + ": " + Num(count) + " entry points do not fit in the " + Num(in_.remaining()) +
                             " bytes that follow");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string what = where + ", entry point " + Num(i) + At(in_.offset());
        data.entryAt.push_back(in_.offset());
        EntryPoint e;
        if (!in_.ReadU32(e.start)) return Status::Error(what + ": the file ends inside the entry point");
        if (Status s = ReadName(e.name, what); !s) return s;
        e.name = UniqueEntryName(std::move(e.name));
        data.entries.push_back(std::move(e));
    }
    return Status::Ok();
}

Status SceneFileReader::ReadBoneStates() {
    if (data.bones.empty()) return Status::Ok();
    if (!endRead_)
        return Status::Error("the bone states of the " + Num(data.bones.size()) +
                             " bones are missing: the file ends before its end chunk" + At(in_.offset()));
    return ReadRecords(static_cast<std::uint32_t>(data.bones.size()), "bone states" + At(in_.offset()), data.states);
}

// ---------------------------------------------------------------------------------------------
// Checks of what a file adds, on its own indices

bool InFile(std::int64_t index, std::size_t count) { return index >= 0 && static_cast<std::uint64_t>(index) < count; }
bool LinkOk(std::int32_t index, std::size_t count) { return index == -1 || InFile(index, count); }

// Indices a geometry draws: 2n for a line list, n + 1 for a strip of lines, 3n for a triangle
// list, n + 2 for a triangle strip or fan, n for points and anything else.
std::uint64_t DrawnIndices(const GeometryRecord& g) {
    const std::uint64_t n = g.primitiveCount;
    switch (g.primitiveType) {
        case 2: return 2 * n;
        case 3: return n + 1;
        case 4: return 3 * n;
        case 5:
        case 6: return n + 2;
        default: return n;
    }
}

Status CheckCounts(const FileData& d, const Bases& b) {
    const std::pair<std::size_t, std::size_t> counts[10] = {
        {b.vertices, d.vertices.size()}, {b.indices, d.indices.size()},   {b.geometries, d.geometries.size()},
        {b.textures, d.names.size()},    {b.materials, d.materials.size()}, {b.words, d.words.size()},
        {b.entries, d.entries.size()},   {b.nodes, d.nodes.size()},       {b.matrices, d.matrices.size()},
        {b.bones, d.bones.size()}};
    for (int type = 0; type < 10; ++type)
        if (counts[type].first + counts[type].second > kMaxCount)
            return Status::Error(std::string("with this file the scene would hold more ") + kChunkNames[type] +
                                 " than a count can hold");
    return Status::Ok();
}

Status CheckGeometries(const FileData& d) {
    for (std::size_t i = 0; i < d.geometries.size(); ++i) {
        const GeometryRecord& g = d.geometries[i];
        const std::string what = "geometry " + Num(i) + At(d.geometryAt[i]);
        const std::uint64_t bytes = std::uint64_t{g.stride} * g.vertexCount;
        if (std::uint64_t{g.vertexOffset} + bytes > d.vertices.size())
            return Status::Error(what + ": its " + Num(bytes) + " vertex bytes from " + Num(g.vertexOffset) +
                                 " lie outside the file's " + Num(d.vertices.size()) + " bytes of vertex data");
        const std::uint64_t drawn = DrawnIndices(g);
        if (g.indexed != 0 && std::uint64_t{g.firstIndex} + drawn > d.indices.size())
            return Status::Error(what + ": its " + Num(drawn) + " indices from " + Num(g.firstIndex) +
                                 " lie outside the file's " + Num(d.indices.size()) + " indices");
        if (g.indexed == 0 && drawn > g.vertexCount)
            return Status::Error(what + ": its primitives draw " + Num(drawn) + " vertices but it has " +
                                 Num(g.vertexCount));
    }
    return Status::Ok();
}

Status CheckMaterials(const FileData& d, const Bases& b) {
    const std::size_t textures = b.textures + d.names.size();
    for (std::size_t i = 0; i < d.materials.size(); ++i) {
        const SceneMaterial& m = d.materials[i];
        for (std::int32_t s = 0; s < m.stageCount; ++s)
            if (!LinkOk(m.texture[s], textures))
                return Status::Error("material " + Num(i) + At(d.materialAt[i]) + ": texture " +
                                     std::to_string(m.texture[s]) + " of stage " + std::to_string(s) +
                                     " is outside the scene's " + Num(textures) + " textures");
    }
    return Status::Ok();
}

Status CheckEntryPoints(const FileData& d) {
    for (std::size_t i = 0; i < d.entries.size(); ++i)
        if (d.entries[i].start >= d.words.size())
            return Status::Error("entry point " + Num(i) + At(d.entryAt[i]) + ": start word " +
                                 Num(d.entries[i].start) + " is outside the file's " + Num(d.words.size()) +
                                 " program words");
    return Status::Ok();
}

// The walks of the drawing follow both links of a node until -1, so the links must not form a
// cycle.
Status CheckNodeCycles(const FileData& d) {
    const std::size_t n = d.nodes.size();
    std::vector<std::uint8_t> state(n, 0);  // 0 not seen, 1 on the current path, 2 done
    std::vector<std::pair<std::int32_t, int>> stack;  // node, links followed so far
    for (std::size_t start = 0; start < n; ++start) {
        if (state[start] != 0) continue;
        stack.push_back({static_cast<std::int32_t>(start), 0});
        state[start] = 1;
        while (!stack.empty()) {
            auto& [node, followed] = stack.back();
            if (followed == 2) {
                state[node] = 2;
                stack.pop_back();
                continue;
            }
            const std::int32_t next = followed++ == 0 ? d.nodes[node].nextDrawn : d.nodes[node].nextSkipped;
            if (next == -1 || state[next] == 2) continue;
            if (state[next] == 1)
                return Status::Error("draw node " + Num(node) + At(d.nodeAt[node]) + ": its links form a cycle");
            state[next] = 1;
            stack.push_back({next, 0});
        }
    }
    return Status::Ok();
}

Status CheckNodes(const FileData& d) {
    for (std::size_t i = 0; i < d.nodes.size(); ++i) {
        const DrawNode& n = d.nodes[i];
        const std::string what = "draw node " + Num(i) + At(d.nodeAt[i]);
        if (!LinkOk(n.nextDrawn, d.nodes.size()) || !LinkOk(n.nextSkipped, d.nodes.size()))
            return Status::Error(what + ": a link is outside the file's " + Num(d.nodes.size()) + " draw nodes");
        if (!LinkOk(n.geometry, d.geometries.size()))
            return Status::Error(what + ": geometry " + std::to_string(n.geometry) + " is outside the file's " +
                                 Num(d.geometries.size()) + " geometries");
        if (!LinkOk(n.material, d.materials.size()))
            return Status::Error(what + ": material " + std::to_string(n.material) + " is outside the file's " +
                                 Num(d.materials.size()) + " materials");
        // -3 - p refers to entry p without running it.
        const std::int64_t entry = n.program <= -3 ? -3 - std::int64_t{n.program} : n.program;
        if (n.program != -1 && n.program != -2 && !InFile(entry, d.entries.size()))
            return Status::Error(what + ": program " + std::to_string(n.program) +
                                 " names no entry point of the file's " + Num(d.entries.size()));
    }
    return CheckNodeCycles(d);
}

// The bones form trees: each bone is linked from at most one place, never bone 0 (the head of
// the file's top-bone chain, which the Scene links behind its own top bones), and no links form a
// cycle.
Status CheckBoneTrees(const FileData& d) {
    const std::size_t n = d.bones.size();
    std::vector<std::uint8_t> linked(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::int32_t link : {d.bones[i].nextSibling, d.bones[i].firstChild}) {
            if (link == -1) continue;
            const std::string what = "bone " + Num(i) + At(d.boneAt[i]);
            if (link == 0) return Status::Error(what + ": links to bone 0, the head of the top-bone chain");
            if (++linked[link] > 1) return Status::Error(what + ": bone " + std::to_string(link) + " is linked twice");
        }
    }
    std::vector<std::uint8_t> seen(n, 0);
    std::vector<std::int32_t> stack;
    for (std::size_t i = 0; i < n; ++i) {
        if (linked[i]) continue;
        stack.push_back(static_cast<std::int32_t>(i));
        while (!stack.empty()) {
            const std::int32_t b = stack.back();
            stack.pop_back();
            seen[b] = 1;
            if (d.bones[b].nextSibling >= 0) stack.push_back(d.bones[b].nextSibling);
            if (d.bones[b].firstChild >= 0) stack.push_back(d.bones[b].firstChild);
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!seen[i]) return Status::Error("bone " + Num(i) + At(d.boneAt[i]) + ": bone links form a cycle");
    return Status::Ok();
}

Status CheckBones(const FileData& d) {
    for (std::size_t i = 0; i < d.bones.size(); ++i) {
        const BoneRecord& b = d.bones[i];
        const std::string what = "bone " + Num(i) + At(d.boneAt[i]);
        for (std::int32_t link : {b.nextSibling, b.firstChild, b.root})
            if (!LinkOk(link, d.bones.size()))
                return Status::Error(what + ": bone " + std::to_string(link) + " is outside the file's " +
                                     Num(d.bones.size()) + " bones");
        // The bone operations read and write all four matrices of every bone.
        for (std::int32_t m : {b.local, b.pose, b.world, b.inverseBind})
            if (!InFile(m, d.matrices.size()))
                return Status::Error(what + ": matrix " + std::to_string(m) + " is outside the file's " +
                                     Num(d.matrices.size()) + " matrices");
        for (std::int32_t node : {b.firstMeshNode, b.firstShadowNode})
            if (!LinkOk(node, d.nodes.size()))
                return Status::Error(what + ": draw node " + std::to_string(node) + " is outside the file's " +
                                     Num(d.nodes.size()) + " draw nodes");
    }
    return CheckBoneTrees(d);
}

Status CheckFileData(const FileData& d, const Bases& b) {
    for (Status s : {CheckCounts(d, b), CheckGeometries(d), CheckMaterials(d, b), CheckEntryPoints(d), CheckNodes(d),
                     CheckBones(d)})
        if (!s) return s;
    return Status::Ok();
}

// Made when a scene file's bones join bones already loaded: the file's top bones (its bone 0 and
// the bones that follow it in the top-bone chain) are collected, each made its own root unless
// its root names a top bone collected before it; then every bone's root must be a collected top
// bone.
Status CheckJoiningBones(FileData& d) {
    std::vector<std::int32_t> tops;
    auto collected = [&](std::int32_t b) { return std::find(tops.begin(), tops.end(), b) != tops.end(); };
    for (std::int32_t t = 0; t != -1; t = d.bones[t].nextSibling) {
        if (collected(d.bones[t].root)) continue;
        d.bones[t].root = t;
        tops.push_back(t);
    }
    std::string failed;
    int failures = 0;
    for (std::size_t i = 0; i < d.bones.size(); ++i) {
        if (collected(d.bones[i].root)) continue;
        if (++failures <= 8) failed += (failed.empty() ? "" : ", ") + Num(i);
    }
    if (failures == 0) return Status::Ok();
    return Status::Error("the file was not added: " + std::to_string(failures) + " of its bones (" + failed +
                         (failures > 8 ? ", ..." : "") + ") have a root that is not one of its top bones");
}

// ---------------------------------------------------------------------------------------------
// Appending

template <typename T>
void Append(std::vector<T>& to, std::vector<T>&& from) {
    if (to.empty())
        to = std::move(from);
    else
        to.insert(to.end(), from.begin(), from.end());
}

std::int32_t Rebased(std::int32_t index, std::size_t base) {
    return index == -1 ? -1 : index + static_cast<std::int32_t>(base);
}

void Commit(Scene& scene, FileData&& d, const Bases& b) {
    for (GeometryRecord& g : d.geometries) {
        g.vertexOffset += static_cast<std::uint32_t>(b.vertices);
        g.firstIndex += static_cast<std::uint32_t>(b.indices);
    }
    for (EntryPoint& e : d.entries) e.start += static_cast<std::uint32_t>(b.words);
    const auto entryBase = static_cast<std::int32_t>(b.entries);
    for (DrawNode& n : d.nodes) {
        n.nextDrawn = Rebased(n.nextDrawn, b.nodes);
        n.nextSkipped = Rebased(n.nextSkipped, b.nodes);
        n.geometry = Rebased(n.geometry, b.geometries);
        n.material = Rebased(n.material, b.materials);
        if (n.program >= 0) n.program += entryBase;
        if (n.program <= -3) n.program -= entryBase;
    }
    for (BoneRecord& bone : d.bones) {
        for (std::int32_t* link : {&bone.nextSibling, &bone.firstChild, &bone.root}) *link = Rebased(*link, b.bones);
        for (std::int32_t* m : {&bone.local, &bone.pose, &bone.world, &bone.inverseBind}) *m = Rebased(*m, b.matrices);
        bone.firstMeshNode = Rebased(bone.firstMeshNode, b.nodes);
        bone.firstShadowNode = Rebased(bone.firstShadowNode, b.nodes);
    }
    if (b.bones > 0 && !d.bones.empty()) {
        std::int32_t last = 0;
        for (std::size_t steps = 0; scene.bones[last].nextSibling >= 0 &&
                                    static_cast<std::size_t>(scene.bones[last].nextSibling) < scene.bones.size() &&
                                    steps < scene.bones.size();
             ++steps)
            last = scene.bones[last].nextSibling;
        scene.bones[last].nextSibling = static_cast<std::int32_t>(b.bones);
    }
    for (const std::string& name : d.names) {
        IDirect3DTexture8* texture = nullptr;
        if (FAILED(D3DXCreateTextureFromFileA(scene.device, name.c_str(), &texture))) texture = nullptr;
        scene.textures.emplace_back(texture);
    }
    Append(scene.vertexPool, std::move(d.vertices));
    Append(scene.indexPool, std::move(d.indices));
    Append(scene.geometries, std::move(d.geometries));
    Append(scene.textureNames, std::move(d.names));
    Append(scene.materials, std::move(d.materials));
    Append(scene.programWords, std::move(d.words));
    Append(scene.entryPoints, std::move(d.entries));
    Append(scene.drawNodes, std::move(d.nodes));
    Append(scene.matrices, std::move(d.matrices));
    Append(scene.bones, std::move(d.bones));
}

// A skin file's bones keep what the file stored; their world matrices and positions follow from
// pose x local.
void FinishSkin(Scene& scene, std::vector<BoneState>&& states, std::int32_t first) {
    scene.boneStates.resize(static_cast<std::size_t>(first));
    Append(scene.boneStates, std::move(states));
    UpdatePose(scene, first, Identity());
    ProjectBones(scene);
}

// A scene file's bones are set up afresh: pose identity, hierarchy with length 0.5 for bones
// without children, reset and default envelopes.
void FinishScene(Scene& scene, std::int32_t first) {
    if (first >= scene.BoneCount()) return;
    for (std::int32_t b = first; b < scene.BoneCount(); ++b) scene.matrices[scene.bones[b].pose] = Identity();
    GrowBoneStates(scene);
    SetUpHierarchy(scene, first, kDefaultBoneLength);
    UpdatePose(scene, first, Identity());
    for (std::int32_t b = first; b < scene.BoneCount(); ++b) {
        ResetBone(scene, b);
        SetDefaultEnvelope(scene.boneStates[b].envelope, scene.boneStates[b].length);
    }
    ProjectBones(scene);
    UpdatePose(scene, first, Identity());
    ProjectBones(scene);
}

}  // namespace

SceneFileKind SceneFileKindOf(const std::string& path) {
    const std::string ext = FileExtension(path);
    return ext.size() >= 2 && (ext[1] == 'k' || ext[1] == 'K') ? SceneFileKind::kSkin : SceneFileKind::kScene;
}

Status SaveSceneFile(const Scene& scene, const std::string& path, SceneFileKind kind) {
    if (Status s = CheckChunkSizes(scene); !s) return Status::Error("cannot write '" + path + "': " + s.message());
    AtomicFileWriter out;
    if (Status s = out.Open(path); !s) return s;
    out.WriteBytes(kMagic, sizeof kMagic);
    out.WriteF32(kVersion);
    WriteRecords(out, 0, scene.vertexPool);
    WriteRecords(out, 1, scene.indexPool);
    WriteRecords(out, 2, scene.geometries);
    if (!scene.textureNames.empty()) {
        out.WriteU32(3);
        out.WriteU32(static_cast<std::uint32_t>(NamesSize(scene.textureNames)));
        out.WriteU32(static_cast<std::uint32_t>(scene.textureNames.size()));
        for (const std::string& name : scene.textureNames) {
            out.WriteU32(static_cast<std::uint32_t>(name.size()));
            out.WriteBytes(name.data(), name.size());
        }
    }
    WriteRecords(out, 4, scene.materials);
    WriteRecords(out, 5, scene.programWords);
    if (!scene.entryPoints.empty()) {
        out.WriteU32(6);
        out.WriteU32(static_cast<std::uint32_t>(EntriesSize(scene.entryPoints)));
        out.WriteU32(static_cast<std::uint32_t>(scene.entryPoints.size()));
        for (const EntryPoint& e : scene.entryPoints) {
            out.WriteU32(e.start);
            out.WriteU32(static_cast<std::uint32_t>(e.name.size()));
            out.WriteBytes(e.name.data(), e.name.size());
        }
    }
    WriteRecords(out, 7, scene.drawNodes);
    WriteRecords(out, 8, scene.matrices);
    WriteRecords(out, 9, scene.bones);
    out.WriteU32(kEndChunk);
    out.WriteU32(0);
    if (kind == SceneFileKind::kSkin) {
        const BoneState none{};
        for (std::size_t b = 0; b < scene.bones.size(); ++b)
            out.WriteBytes(b < scene.boneStates.size() ? &scene.boneStates[b] : &none, sizeof(BoneState));
    }
    return out.Commit();
}

Status OpenSceneFile(Scene& scene, const std::string& path, SceneFileKind kind) {
    FileReader in;
    if (Status s = in.Open(path); !s) return s;
    auto fail = [&](const Status& s) {
        const std::string reason = in.readError().empty() ? "" : " (" + in.readError() + ")";
        return Status::Error(path + ": " + s.message() + reason);
    };

    char magic[sizeof kMagic];
    float version = 0;
    if (!in.ReadBytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return fail(Status::Error("not a skin or scene file: the first 17 bytes are not KORVENSTAHL_SCENE"));
    if (!in.ReadF32(version)) return fail(Status::Error("the file ends inside the version" + At(in.offset())));

    SceneFileReader reader(scene, in);
    if (Status s = reader.ReadChunks(); !s) return fail(s);
    if (kind == SceneFileKind::kSkin)
        if (Status s = reader.ReadBoneStates(); !s) return fail(s);
    const Bases bases(scene);
    FileData& data = reader.data;
    if (Status s = CheckFileData(data, bases); !s) return fail(s);
    if (kind == SceneFileKind::kScene && bases.bones > 0 && !data.bones.empty())
        if (Status s = CheckJoiningBones(data); !s) return fail(s);

    const auto first = static_cast<std::int32_t>(bases.bones);
    std::vector<BoneState> states = std::move(data.states);
    Commit(scene, std::move(data), bases);
    if (kind == SceneFileKind::kSkin)
        FinishSkin(scene, std::move(states), first);
    else
        FinishScene(scene, first);
    return Status::Ok();
}

}  // namespace ms
