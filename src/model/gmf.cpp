// GMF files: a 20-byte header of five counts, then the frame, mesh-node, material and
// texture-name records as they stand in memory, then each geometry's fields with its vertex and
// index bytes. Loading appends to the Model: new indices are rebased past the existing records,
// the new top-level chain is linked behind the old one, and new names are made unique.
#include <cstring>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "model/model.h"
#include "model/name_registry.h"

namespace ms {
namespace {

struct GmfHeader {
    std::int32_t frames, meshNodes, materials, textures, geometries;
};

constexpr std::uint64_t kGeometryFieldBytes = 28;  // five fields and the two byte counts

std::string At(std::uint64_t offset) { return " at offset " + std::to_string(offset); }

bool Terminated(const char* field, std::size_t size) { return std::memchr(field, 0, size) != nullptr; }

bool IndexOk(std::int32_t index, std::int32_t count) { return index == -1 || (index >= 0 && index < count); }

// Reads the records of one array after checking that the file can hold them.
template <typename Record>
Status ReadRecords(FileReader& in, std::int32_t count, const char* what, std::vector<Record>& out) {
    std::uint64_t offset = in.offset();
    if (static_cast<std::uint64_t>(count) * sizeof(Record) > in.remaining())
        return Status::Error(std::to_string(count) + " " + what + " do not fit in the file" + At(offset));
    out.resize(count);
    if (!in.ReadBytes(out.data(), out.size() * sizeof(Record)))
        return Status::Error(std::string("cannot read the ") + what + At(offset));
    return Status::Ok();
}

Status CheckFrames(const std::vector<FrameRecord>& frames, const GmfHeader& h, std::uint64_t base) {
    const auto n = static_cast<std::int32_t>(frames.size());
    std::vector<std::uint8_t> links(frames.size(), 0);
    for (std::int32_t i = 0; i < n; ++i) {
        const FrameRecord& f = frames[i];
        std::string where = "frame " + std::to_string(i) + At(base + 112ull * i);
        if (!Terminated(f.name, kNameSize)) return Status::Error(where + ": name is not terminated");
        // An empty run may start at the node count: the .x import leaves that mark for a frame
        // whose meshes built no node.
        const bool emptyRun = f.meshNodeCount == 0 && f.firstMeshNode >= -1 && f.firstMeshNode <= h.meshNodes;
        if (!emptyRun && !IndexOk(f.firstMeshNode, h.meshNodes))
            return Status::Error(where + ": first mesh node " + std::to_string(f.firstMeshNode) + " is out of range");
        if (f.meshNodeCount < 0 || (f.firstMeshNode == -1 && f.meshNodeCount != 0) ||
            (f.firstMeshNode >= 0 && static_cast<std::int64_t>(f.firstMeshNode) + f.meshNodeCount > h.meshNodes))
            return Status::Error(where + ": mesh-node run of " + std::to_string(f.meshNodeCount) +
                                 " lies outside the mesh nodes");
        for (std::int32_t link : {f.nextSibling, f.firstChild}) {
            if (!IndexOk(link, n)) return Status::Error(where + ": frame link " + std::to_string(link) + " is out of range");
            if (link == -1) continue;
            if (link == 0) return Status::Error(where + ": links to frame 0, the head of the top-level chain");
            if (++links[link] > 1) return Status::Error(where + ": frame " + std::to_string(link) + " is linked twice");
        }
    }
    // Every frame has at most one incoming link, so the links form a forest unless some frames
    // form a cycle; those are the frames that no walk from an unlinked frame reaches.
    std::vector<std::uint8_t> seen(frames.size(), 0);
    std::vector<std::int32_t> stack;
    for (std::int32_t i = 0; i < n; ++i) {
        if (links[i] != 0) continue;
        stack.push_back(i);
        while (!stack.empty()) {
            std::int32_t f = stack.back();
            stack.pop_back();
            seen[f] = 1;
            if (frames[f].nextSibling >= 0) stack.push_back(frames[f].nextSibling);
            if (frames[f].firstChild >= 0) stack.push_back(frames[f].firstChild);
        }
    }
    for (std::int32_t i = 0; i < n; ++i)
        if (!seen[i]) return Status::Error("frame " + std::to_string(i) + At(base + 112ull * i) + ": frame links form a cycle");
    return Status::Ok();
}

Status CheckMeshNodes(const std::vector<MeshNode>& nodes, const GmfHeader& h, std::uint64_t base) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        std::string where = "mesh node " + std::to_string(i) + At(base + 40ull * i);
        if (!Terminated(nodes[i].name, kNameSize)) return Status::Error(where + ": name is not terminated");
        if (nodes[i].geometry < 0 || nodes[i].geometry >= h.geometries)
            return Status::Error(where + ": geometry " + std::to_string(nodes[i].geometry) + " is out of range");
        if (!IndexOk(nodes[i].material, h.materials))
            return Status::Error(where + ": material " + std::to_string(nodes[i].material) + " is out of range");
    }
    return Status::Ok();
}

Status CheckMaterials(const std::vector<MaterialRecord>& materials, const GmfHeader& h, std::uint64_t base) {
    for (std::size_t i = 0; i < materials.size(); ++i) {
        const MaterialRecord& m = materials[i];
        std::string where = "material " + std::to_string(i) + At(base + 136ull * i);
        if (!Terminated(m.name, kNameSize)) return Status::Error(where + ": name is not terminated");
        for (std::int32_t t : m.texture)
            if (!IndexOk(t, h.textures)) return Status::Error(where + ": texture " + std::to_string(t) + " is out of range");
        if (m.stageCount < 0 || m.stageCount > kMaxTextureStages)
            return Status::Error(where + ": stage count " + std::to_string(m.stageCount) + " is not 0 to 8");
    }
    return Status::Ok();
}

Status CheckTextureNames(const std::vector<TextureName>& names, std::uint64_t base) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!Terminated(names[i].name, kTextureNameSize))
            return Status::Error("texture " + std::to_string(i) + At(base + 100ull * i) + ": name is not terminated");
    return Status::Ok();
}

Status ReadGeometry(FileReader& in, std::size_t index, MeshGeometry& g) {
    std::string where = "geometry " + std::to_string(index) + At(in.offset());
    std::int32_t vb = 0, ib = 0;
    if (!in.ReadI32(g.vertexCount) || !in.ReadI32(g.primitiveCount) || !in.ReadI32(g.stride) ||
        !in.ReadU32(g.fvf) || !in.ReadI32(g.primitiveType) || !in.ReadI32(vb))
        return Status::Error(where + ": the file ends inside the geometry");
    std::int64_t indexCount = IndexCount(g.primitiveType, g.primitiveCount);
    if (g.vertexCount < 0 || g.stride < 0) return Status::Error(where + ": negative vertex count or stride");
    if (indexCount < 0) return Status::Error(where + ": bad primitive type or count");
    std::int64_t vertexBytes = static_cast<std::int64_t>(g.vertexCount) * g.stride;
    if (vb < vertexBytes) return Status::Error(where + ": vertex byte count " + std::to_string(vb) + " is below vertex count x stride");
    if (static_cast<std::uint64_t>(vb) + 4 > in.remaining())
        return Status::Error(where + ": vertex byte count " + std::to_string(vb) + " exceeds the file");
    g.vertices.resize(vb);
    if (!in.ReadBytes(g.vertices.data(), g.vertices.size()) || !in.ReadI32(ib))
        return Status::Error(where + ": cannot read the vertex data");
    std::string ibWhere = "geometry " + std::to_string(index) + At(in.offset() - 4);
    if (ib < 0 || ib % 2 != 0) return Status::Error(ibWhere + ": bad index byte count " + std::to_string(ib));
    if (static_cast<std::uint64_t>(ib) > in.remaining())
        return Status::Error(ibWhere + ": index byte count " + std::to_string(ib) + " exceeds the file");
    if (ib / 2 < indexCount)
        return Status::Error(ibWhere + ": " + std::to_string(ib / 2) + " indices are too few for " +
                             std::to_string(g.primitiveCount) + " primitives");
    g.indices.resize(ib / 2);
    if (!in.ReadBytes(g.indices.data(), ib)) return Status::Error(ibWhere + ": cannot read the index data");
    for (std::int64_t i = 0; i < indexCount; ++i)
        if (g.indices[i] >= g.vertexCount)
            return Status::Error(ibWhere + ": index " + std::to_string(i) + " (" + std::to_string(g.indices[i]) +
                                 ") is not below the vertex count " + std::to_string(g.vertexCount));
    return Status::Ok();
}

// Rebases the file's records onto the existing ones and applies the merge rules.
void MergeInto(ModelRecords& records, std::vector<FrameRecord>&& frames, std::vector<MeshNode>&& nodes,
               std::vector<MaterialRecord>&& materials, std::vector<TextureName>&& names,
               std::int32_t oldGeometries) {
    const auto oldFrames = static_cast<std::int32_t>(records.frames.size());
    const auto oldNodes = static_cast<std::int32_t>(records.meshNodes.size());
    const auto oldMaterials = static_cast<std::int32_t>(records.materials.size());
    const auto oldTextures = static_cast<std::int32_t>(records.textureNames.size());
    auto rebase = [](std::int32_t& index, std::int32_t base) {
        if (index != -1) index += base;
    };

    for (FrameRecord& f : frames) {
        rebase(f.nextSibling, oldFrames);
        rebase(f.firstChild, oldFrames);
        rebase(f.firstMeshNode, oldNodes);
    }
    // The names of the Model before the file; each new name is made unique against them and the
    // new names before it, through hashed lookups, so a merge stays linear in the names.
    NameRegistry frameNames(records.frames);
    records.frames.insert(records.frames.end(), frames.begin(), frames.end());
    if (!frames.empty()) {
        std::int32_t last = oldFrames;
        while (records.frames[last].nextSibling != -1) last = records.frames[last].nextSibling;
        if (records.rootTail != -1) records.frames[records.rootTail].nextSibling = oldFrames;
        records.rootTail = last;
    }
    if (oldFrames != 0) {
        for (auto i = static_cast<std::size_t>(oldFrames); i < records.frames.size(); ++i) {
            int counter = 0;
            frameNames.MakeUnique(records.frames[i].name, "frame", &counter);
        }
    }

    for (MeshNode& n : nodes) {
        n.geometry += oldGeometries;
        rebase(n.material, oldMaterials);
    }
    NameRegistry nodeNames(records.meshNodes);
    records.meshNodes.insert(records.meshNodes.end(), nodes.begin(), nodes.end());
    if (oldNodes != 0) {
        for (auto i = static_cast<std::size_t>(oldNodes); i < records.meshNodes.size(); ++i) {
            int counter = 0;
            nodeNames.MakeUnique(records.meshNodes[i].name, "frame", &counter);
        }
    }

    for (MaterialRecord& m : materials)
        for (std::int32_t& t : m.texture) rebase(t, oldTextures);
    records.materials.insert(records.materials.end(), materials.begin(), materials.end());
    records.textureNames.insert(records.textureNames.end(), names.begin(), names.end());
}

}  // namespace

Status Model::LoadGmf(const std::string& path) {
    FileReader in;
    if (Status s = in.Open(path); !s) return s;
    auto fail = [&](const Status& s) {
        const std::string reason = in.readError().empty() ? "" : " (" + in.readError() + ")";
        return Status::Error(path + ": " + s.message() + reason);
    };

    GmfHeader h{};
    if (!in.ReadBytes(&h, sizeof h)) return fail(Status::Error("the file is shorter than the 20-byte header"));
    const std::int32_t counts[] = {h.frames, h.meshNodes, h.materials, h.textures, h.geometries};
    const char* const names[] = {"frame", "mesh-node", "material", "texture", "geometry"};
    for (int k = 0; k < 5; ++k)
        if (counts[k] < 0) return fail(Status::Error("negative " + std::string(names[k]) + " count" + At(4u * k)));
    std::uint64_t needed = 112ull * h.frames + 40ull * h.meshNodes + 136ull * h.materials +
                           100ull * h.textures + kGeometryFieldBytes * h.geometries;
    if (needed > in.remaining())
        return fail(Status::Error("the counts need " + std::to_string(needed) + " bytes but only " +
                                  std::to_string(in.remaining()) + " follow the header"));

    std::vector<FrameRecord> frames;
    std::vector<MeshNode> nodes;
    std::vector<MaterialRecord> materials;
    std::vector<ms::TextureName> textureNames;
    std::uint64_t at = in.offset();
    if (Status s = ReadRecords(in, h.frames, "frames", frames); !s) return fail(s);
    if (Status s = CheckFrames(frames, h, at); !s) return fail(s);
    at = in.offset();
    if (Status s = ReadRecords(in, h.meshNodes, "mesh nodes", nodes); !s) return fail(s);
    if (Status s = CheckMeshNodes(nodes, h, at); !s) return fail(s);
    at = in.offset();
    if (Status s = ReadRecords(in, h.materials, "materials", materials); !s) return fail(s);
    if (Status s = CheckMaterials(materials, h, at); !s) return fail(s);
    at = in.offset();
    if (Status s = ReadRecords(in, h.textures, "texture names", textureNames); !s) return fail(s);
    if (Status s = CheckTextureNames(textureNames, at); !s) return fail(s);

    std::vector<MeshGeometry> geometries;
    geometries.reserve(h.geometries);
    for (std::int32_t g = 0; g < h.geometries; ++g) {
        if (kGeometryFieldBytes * (h.geometries - g) > in.remaining())
            return fail(Status::Error("the file ends before geometry " + std::to_string(g) + At(in.offset())));
        geometries.emplace_back();
        if (Status s = ReadGeometry(in, g, geometries.back()); !s) return fail(s);
    }

    // The counts describe the whole file: bytes beyond them mean the header does not hold (a
    // file of zeros has all counts 0, for one).
    if (in.remaining() != 0)
        return fail(Status::Error("not a GMF file: " + std::to_string(in.remaining()) + " bytes follow" + At(in.offset()) +
                                  " after everything its header's counts describe"));

    ModelRecords merged = records_;
    MergeInto(merged, std::move(frames), std::move(nodes), std::move(materials), std::move(textureNames),
              GeometryCount());
    CommitLoad(std::move(merged), std::move(geometries));
    return Status::Ok();
}

Status Model::SaveGmf(const std::string& path) const {
    AtomicFileWriter out;
    if (Status s = out.Open(path); !s) return s;
    const GmfHeader h{FrameCount(), MeshNodeCount(), MaterialCount(), TextureCount(), GeometryCount()};
    out.WriteBytes(&h, sizeof h);
    out.WriteBytes(records_.frames.data(), records_.frames.size() * sizeof(FrameRecord));
    out.WriteBytes(records_.meshNodes.data(), records_.meshNodes.size() * sizeof(MeshNode));
    out.WriteBytes(records_.materials.data(), records_.materials.size() * sizeof(MaterialRecord));
    out.WriteBytes(records_.textureNames.data(), records_.textureNames.size() * sizeof(ms::TextureName));
    const std::vector<std::uint8_t> zeros(64, 0);
    // Writes exactly `count` bytes of `data`, padded with zeros should the block be short.
    auto writeBlock = [&](const void* data, std::size_t have, std::int64_t count) {
        std::size_t n = std::min<std::size_t>(have, static_cast<std::size_t>(count));
        out.WriteBytes(data, n);
        for (std::int64_t left = count - static_cast<std::int64_t>(n); left > 0; left -= 64)
            out.WriteBytes(zeros.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 64)));
    };
    for (const MeshGeometry& g : geometries_) {
        out.WriteI32(g.vertexCount);
        out.WriteI32(g.primitiveCount);
        out.WriteI32(g.stride);
        out.WriteU32(g.fvf);
        out.WriteI32(g.primitiveType);
        std::int64_t vb = std::max<std::int64_t>(0, static_cast<std::int64_t>(g.vertexCount) * g.stride);
        std::int64_t ib = 2 * std::max<std::int64_t>(0, IndexCount(g.primitiveType, g.primitiveCount));
        if (vb > INT32_MAX || ib > INT32_MAX) return Status::Error("cannot write '" + path + "': a geometry is too large");
        out.WriteI32(static_cast<std::int32_t>(vb));
        writeBlock(g.vertices.data(), g.vertices.size(), vb);
        out.WriteI32(static_cast<std::int32_t>(ib));
        writeBlock(g.indices.data(), g.indices.size() * 2, ib);
    }
    return out.Commit();
}

}  // namespace ms
