#include "skin/clear_bone_meshes.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <climits>
#include <utility>
#include <vector>

#include "model/model.h"

namespace ms {
namespace {

// The parts of a pool (vertex bytes, indices or program words) cut out so far, as disjoint runs
// [begin, end) in the pool's original numbering. Cutting records by record in place moves every
// later part down; kept in the original numbering, a part's place now is its original place less
// the units cut below it, so a cut costs a lookup instead of a move of the pool.
class CutRuns {
public:
    explicit CutRuns(std::uint64_t size) : size_(size) {}

    // The first unit at or after `x` that is not cut; the size when none is left.
    std::uint64_t NextUncut(std::uint64_t x) const {
        auto it = runs_.upper_bound(x);
        if (it != runs_.begin() && std::prev(it)->second > x) return std::prev(it)->second;
        return x;
    }

    // Cuts [begin, end), clamped to the pool.
    void Cut(std::uint64_t begin, std::uint64_t end) {
        end = std::min(end, size_);
        if (begin >= end) return;
        auto it = runs_.upper_bound(begin);
        if (it != runs_.begin() && std::prev(it)->second >= begin) {
            --it;
            begin = it->first;
            end = std::max(end, it->second);
            it = runs_.erase(it);
        }
        while (it != runs_.end() && it->first <= end) {
            end = std::max(end, it->second);
            it = runs_.erase(it);
        }
        runs_[begin] = end;
    }

    // Cuts the next `count` units still present from `x` on (fewer at the end of the pool).
    // Returns the end of the last unit cut; `*taken` says how many were cut.
    std::uint64_t CutCount(std::uint64_t x, std::uint64_t count, std::uint64_t* taken) {
        std::uint64_t left = count;
        std::uint64_t end = x;
        x = NextUncut(x);
        while (left > 0 && x < size_) {
            auto next = runs_.upper_bound(x);
            const std::uint64_t stop = next == runs_.end() ? size_ : std::min(next->first, size_);
            const std::uint64_t chunk = std::min(left, stop - x);
            Cut(x, x + chunk);
            left -= chunk;
            end = x + chunk;
            x = NextUncut(end);
        }
        *taken = count - left;
        return end;
    }

    // Freezes the runs for Place.
    void Finish() {
        begins_.clear();
        cutBefore_.clear();
        std::uint64_t total = 0;
        for (const auto& [begin, end] : runs_) {
            begins_.push_back(begin);
            cutBefore_.push_back(total);
            total += end - begin;
        }
    }

    // The place of original unit `x` once the cuts are made (a cut unit: the place of the next
    // unit kept). Needs Finish.
    std::uint64_t Place(std::uint64_t x) const {
        auto it = std::upper_bound(begins_.begin(), begins_.end(), x);
        if (it == begins_.begin()) return x;
        const std::size_t k = static_cast<std::size_t>(it - begins_.begin()) - 1;
        const std::uint64_t end = runs_.at(begins_[k]);
        const std::uint64_t below = cutBefore_[k] + (std::min(x, end) - begins_[k]);
        return x - below;
    }

    // Keeps the units of `pool` that were not cut, in order.
    template <typename T>
    void Compact(std::vector<T>& pool) const {
        std::size_t out = 0;
        std::size_t from = 0;
        auto keep = [&](std::size_t to) {
            to = std::min(to, pool.size());
            if (from < to && out != from) std::copy(pool.begin() + from, pool.begin() + to, pool.begin() + out);
            if (from < to) out += to - from;
        };
        for (const auto& [begin, end] : runs_) {
            keep(begin);
            from = end;
        }
        keep(pool.size());
        pool.resize(out);
    }

private:
    std::uint64_t size_;
    std::map<std::uint64_t, std::uint64_t> runs_;
    std::vector<std::uint64_t> begins_;
    std::vector<std::uint64_t> cutBefore_;
};

// removedBelow[i]: how many records below index i are marked removed; one entry more than there
// are records.
std::vector<std::int32_t> RemovedBelow(const std::vector<char>& removed) {
    std::vector<std::int32_t> below(removed.size() + 1, 0);
    for (std::size_t i = 0; i < removed.size(); ++i) below[i + 1] = below[i] + (removed[i] ? 1 : 0);
    return below;
}

// An index after the marked records were removed one by one, each removal lowering the indices
// above it: an index of a removed record ends at the next record kept; negative values stay.
std::int32_t Lowered(std::int32_t index, const std::vector<std::int32_t>& below) {
    if (index < 0) return index;
    const std::size_t at = std::min(static_cast<std::size_t>(index), below.size() - 1);
    return index - below[at];
}

// A reference to a record that may be removed: -1 when its record goes, else lowered.
std::int32_t Renamed(std::int32_t index, const std::vector<char>& removed, const std::vector<std::int32_t>& below) {
    if (index >= 0 && static_cast<std::size_t>(index) < removed.size() && removed[index]) return -1;
    return Lowered(index, below);
}

template <typename T>
void EraseMarked(std::vector<T>& records, const std::vector<char>& removed) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (i >= removed.size() || !removed[i]) {
            if (out != i) records[out] = std::move(records[i]);
            ++out;
        }
    records.resize(out);
}

bool InRange(std::int32_t index, std::size_t size) { return index >= 0 && static_cast<std::size_t>(index) < size; }

std::int32_t& Head(BoneRecord& bone, BoneChain chain) {
    return chain == BoneChain::kMeshes ? bone.firstMeshNode : bone.firstShadowNode;
}

// Marks the nodes reachable from `head` through both links; returns how many were new.
std::size_t Collect(const std::vector<DrawNode>& nodes, std::int32_t head, std::vector<char>& listed,
                    std::vector<std::int32_t>& stack) {
    std::size_t added = 0;
    stack.assign(1, head);
    while (!stack.empty()) {
        const std::int32_t n = stack.back();
        stack.pop_back();
        if (!InRange(n, nodes.size()) || listed[n]) continue;
        listed[n] = 1;
        ++added;
        stack.push_back(nodes[n].nextDrawn);
        stack.push_back(nodes[n].nextSkipped);
    }
    return added;
}

// The indices a geometry draws: none when it is drawn without indices or draws no primitive (an
// emptied geometry owns no index, though a strip of no primitives would count two).
std::int64_t RunLength(const GeometryRecord& r) {
    if (!r.indexed || r.primitiveCount == 0) return 0;
    return std::max<std::int64_t>(0, IndexCount(static_cast<std::int32_t>(r.primitiveType), r.primitiveCount));
}

// The geometries in the order of one of their two pool positions (as they were before any cut),
// for finding those whose data starts in a part being cut.
class PlaceIndex {
public:
    PlaceIndex(const std::vector<GeometryRecord>& geometries, std::uint32_t GeometryRecord::*field) {
        sorted_.reserve(geometries.size());
        for (std::size_t g = 0; g < geometries.size(); ++g)
            sorted_.push_back({geometries[g].*field, static_cast<std::int32_t>(g)});
        if (!std::is_sorted(sorted_.begin(), sorted_.end())) std::sort(sorted_.begin(), sorted_.end());
    }

    // Calls `hit` for every geometry whose position lies in [begin, end).
    template <typename Hit>
    void ForRange(std::uint64_t begin, std::uint64_t end, Hit hit) const {
        const std::pair<std::uint64_t, std::int32_t> first(begin, INT32_MIN);
        auto it = std::lower_bound(sorted_.begin(), sorted_.end(), first);
        for (; it != sorted_.end() && it->first < end; ++it) hit(it->second);
    }

private:
    std::vector<std::pair<std::uint64_t, std::int32_t>> sorted_;
};

}  // namespace

void RemoveUnusedPrograms(Scene& scene) {
    const std::size_t count = scene.entryPoints.size();
    std::vector<char> removed(count, 1);
    for (const DrawNode& n : scene.drawNodes) {
        if (InRange(n.program, count)) removed[n.program] = 0;
        const std::int64_t referred = -3 - static_cast<std::int64_t>(n.program);
        if (n.program <= -3 && referred < static_cast<std::int64_t>(count)) removed[referred] = 0;
    }
    if (std::find(removed.begin(), removed.end(), 1) == removed.end()) return;

    // Removing entry p cuts its words from its first word up to the next higher first word of
    // any entry left (or the end of the words); the entries are removed in index order. Words
    // that another entry left still starts at are that entry's program too: they go with the last
    // entry that starts there, so a named program never loses its words to an unnamed alias.
    const std::uint64_t words = scene.programWords.size();
    std::multiset<std::uint64_t> starts;
    for (const EntryPoint& e : scene.entryPoints) starts.insert(e.start);
    CutRuns cut(words);
    for (std::size_t p = 0; p < count; ++p) {
        if (!removed[p]) continue;
        const std::uint64_t start = scene.entryPoints[p].start;
        starts.erase(starts.find(start));
        if (starts.count(start) > 0) continue;
        const std::uint64_t from = cut.NextUncut(start);
        if (from >= words) continue;
        auto next = starts.upper_bound(from);
        cut.Cut(from, next == starts.end() ? words : std::min<std::uint64_t>(*next, words));
    }
    cut.Finish();
    for (EntryPoint& e : scene.entryPoints) e.start = static_cast<std::uint32_t>(cut.Place(e.start));
    cut.Compact(scene.programWords);
    EraseMarked(scene.entryPoints, removed);

    const std::vector<std::int32_t> below = RemovedBelow(removed);
    for (DrawNode& n : scene.drawNodes) {
        if (n.program >= 0) {
            n.program = Renamed(n.program, removed, below);
        } else if (n.program <= -3) {
            const std::int64_t referred = -3 - static_cast<std::int64_t>(n.program);
            if (referred < static_cast<std::int64_t>(count) && removed[referred]) {
                n.program = -2;
            } else {
                const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(referred), count);
                n.program += below[at];
            }
        }
    }
}

void RemoveUnusedGeometries(Scene& scene) {
    std::vector<GeometryRecord>& geometries = scene.geometries;
    const std::size_t count = geometries.size();
    std::vector<char> removed(count, 1);
    for (const DrawNode& n : scene.drawNodes)
        if (InRange(n.geometry, count)) removed[n.geometry] = 0;
    if (std::find(removed.begin(), removed.end(), 1) == removed.end()) return;

    // Removed in index order: each cuts its vertex block and index run; a geometry whose data
    // started in a cut part lost it and is emptied; the others above move down (by Place below).
    CutRuns vertexCut(scene.vertexPool.size());
    CutRuns indexCut(scene.indexPool.size());
    const PlaceIndex byVertex(geometries, &GeometryRecord::vertexOffset);
    const PlaceIndex byIndex(geometries, &GeometryRecord::firstIndex);
    std::vector<char> emptied(count, 0);
    std::vector<char> gone(count, 0);  // removed or emptied: its place no longer counts
    auto empty = [&](std::int32_t h) {
        if (gone[h]) return;
        GeometryRecord& r = geometries[h];
        r.vertexOffset = r.firstIndex = r.vertexCount = r.primitiveCount = 0;
        emptied[h] = gone[h] = 1;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const auto g = static_cast<std::int32_t>(i);
        if (!removed[g] || emptied[g]) continue;
        gone[g] = 1;
        const GeometryRecord& r = geometries[g];
        std::uint64_t taken = 0;
        const std::uint64_t bytes = static_cast<std::uint64_t>(r.stride) * r.vertexCount;
        std::uint64_t end = vertexCut.CutCount(r.vertexOffset, bytes, &taken);
        if (taken > 0) byVertex.ForRange(r.vertexOffset, end, empty);
        end = indexCut.CutCount(r.firstIndex, static_cast<std::uint64_t>(RunLength(r)), &taken);
        if (taken > 0) byIndex.ForRange(r.firstIndex, end, empty);
    }
    vertexCut.Finish();
    indexCut.Finish();
    for (std::size_t g = 0; g < count; ++g) {
        if (removed[g] || emptied[g]) continue;
        geometries[g].vertexOffset = static_cast<std::uint32_t>(vertexCut.Place(geometries[g].vertexOffset));
        geometries[g].firstIndex = static_cast<std::uint32_t>(indexCut.Place(geometries[g].firstIndex));
    }
    vertexCut.Compact(scene.vertexPool);
    indexCut.Compact(scene.indexPool);
    EraseMarked(geometries, removed);
    const std::vector<std::int32_t> below = RemovedBelow(removed);
    for (DrawNode& n : scene.drawNodes) n.geometry = Renamed(n.geometry, removed, below);
}

void RemoveUnusedMaterials(Scene& scene) {
    const std::size_t count = scene.materials.size();
    std::vector<char> removed(count, 1);
    for (const DrawNode& n : scene.drawNodes)
        if (InRange(n.material, count)) removed[n.material] = 0;
    if (std::find(removed.begin(), removed.end(), 1) == removed.end()) return;
    EraseMarked(scene.materials, removed);
    const std::vector<std::int32_t> below = RemovedBelow(removed);
    for (DrawNode& n : scene.drawNodes) n.material = Renamed(n.material, removed, below);

    // Then every texture that no material names among its stages in use.
    const std::size_t textures = scene.textureNames.size();
    std::vector<char> unnamed(textures, 1);
    for (const SceneMaterial& m : scene.materials) {
        const int stages = std::clamp(m.stageCount, 0, 8);
        for (int k = 0; k < stages; ++k)
            if (InRange(m.texture[k], textures)) unnamed[m.texture[k]] = 0;
    }
    if (std::find(unnamed.begin(), unnamed.end(), 1) == unnamed.end()) return;
    EraseMarked(scene.textureNames, unnamed);
    EraseMarked(scene.textures, unnamed);  // releases their texture objects
    const std::vector<std::int32_t> textureBelow = RemovedBelow(unnamed);
    for (SceneMaterial& m : scene.materials)
        for (std::int32_t& t : m.texture) t = Renamed(t, unnamed, textureBelow);
}

Status ClearBoneMeshes(Scene& scene, BoneChain chain, std::int32_t bone) {
    if (bone != -1 && !InRange(bone, scene.bones.size()))
        return Status::Error("no bone " + std::to_string(bone) + ": the scene has " +
                             std::to_string(scene.bones.size()) + " bones");
    std::vector<DrawNode>& nodes = scene.drawNodes;
    std::vector<char> listed(nodes.size(), 0);
    std::vector<std::int32_t> stack;
    std::size_t count = 0;
    for (std::size_t b = 0; b < scene.bones.size(); ++b) {
        if (bone != -1 && b != static_cast<std::size_t>(bone)) continue;
        count += Collect(nodes, Head(scene.bones[b], chain), listed, stack);
        Head(scene.bones[b], chain) = -1;
    }
    if (count == 0) return Status::Ok();

    if (count == nodes.size()) {
        nodes.clear();
        scene.geometries.clear();
        scene.materials.clear();
        scene.textures.clear();  // releases every texture object
        scene.textureNames.clear();
        // No node is left for any chain to start at.
        for (BoneRecord& b : scene.bones) b.firstMeshNode = b.firstShadowNode = -1;
        RemoveUnusedPrograms(scene);
        return Status::Ok();
    }

    const std::vector<std::int32_t> below = RemovedBelow(listed);
    EraseMarked(nodes, listed);
    for (DrawNode& n : nodes) {
        n.nextDrawn = Lowered(n.nextDrawn, below);
        n.nextSkipped = Lowered(n.nextSkipped, below);
    }
    for (BoneRecord& b : scene.bones) {
        b.firstMeshNode = Lowered(b.firstMeshNode, below);
        b.firstShadowNode = Lowered(b.firstShadowNode, below);
    }
    RemoveUnusedPrograms(scene);
    RemoveUnusedGeometries(scene);
    RemoveUnusedMaterials(scene);
    return Status::Ok();
}

}  // namespace ms
