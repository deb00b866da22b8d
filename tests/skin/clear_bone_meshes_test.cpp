#include "skin/clear_bone_meshes.h"

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "model/model.h"

namespace ms {
namespace {

DrawNode Node(std::int32_t drawn, std::int32_t skipped, std::int32_t geometry, std::int32_t material,
              std::int32_t program = -1) {
    return {drawn, skipped, geometry, material, program, 100.0f};
}

BoneRecord Bone(std::int32_t mesh, std::int32_t shadow) { return {-1, -1, 0, 0, 0, 0, 0, mesh, shadow}; }

GeometryRecord Geometry(std::uint32_t offset, std::uint32_t first, std::uint32_t vertices, std::uint32_t triangles) {
    return {offset, first, vertices, triangles, 4, 0x2, 4, 1};
}

SceneMaterial Material(std::vector<std::int32_t> textures) {
    SceneMaterial m{};
    for (int k = 0; k < 8; ++k) m.texture[k] = k < static_cast<int>(textures.size()) ? textures[k] : -1;
    m.stageCount = static_cast<std::int32_t>(textures.size());
    return m;
}

// Two bones. Bone 0: mesh chain 0 -> 1 (node 0 skips to 2), shadow chain 3. Bone 1: mesh chain
// 4 -> 5, shadow chain 6. Node i draws geometry i and material i % 3; geometries 1 and 4 share
// their vertex block and index run.
Scene TwoBones() {
    Scene s;
    s.bones = {Bone(0, 3), Bone(4, 6)};
    s.drawNodes = {Node(1, 2, 0, 0), Node(-1, -1, 1, 1), Node(-1, -1, 2, 2), Node(-1, -1, 3, 0),
                   Node(5, -1, 4, 1), Node(-1, -1, 5, 2), Node(-1, -1, 6, 0)};
    for (std::uint32_t g = 0; g < 7; ++g) {
        const std::uint32_t block = g == 4 ? 1 : g;  // geometry 4 shares geometry 1's data
        s.geometries.push_back(Geometry(block * 12, block * 3, 3, 1));
    }
    s.vertexPool.resize(7 * 12);
    for (std::size_t i = 0; i < s.vertexPool.size(); ++i) s.vertexPool[i] = static_cast<std::uint8_t>(i);
    s.indexPool.resize(7 * 3);
    for (std::size_t i = 0; i < s.indexPool.size(); ++i) s.indexPool[i] = static_cast<std::uint16_t>(i);
    s.materials = {Material({0}), Material({1, 0}), Material({2})};
    s.textureNames = {"a.bmp", "b.bmp", "c.bmp"};
    s.textures.resize(3);
    return s;
}

TEST(ClearBoneMeshes, PickedBoneLosesItsChainAndTheOthersKeepPointingAtTheirNodes) {
    Scene s = TwoBones();
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kMeshes, 0));
    // Nodes 0, 1, 2 go: the heads and links above them move down by three.
    EXPECT_EQ(s.bones[0].firstMeshNode, -1);
    EXPECT_EQ(s.bones[0].firstShadowNode, 0);
    EXPECT_EQ(s.bones[1].firstMeshNode, 1);
    EXPECT_EQ(s.bones[1].firstShadowNode, 3);
    ASSERT_EQ(s.drawNodes.size(), 4u);
    EXPECT_EQ(s.drawNodes[1].nextDrawn, 2);
    // Geometries 0 and 2 go; geometry 1 goes too and empties geometry 4, which shared its data.
    ASSERT_EQ(s.geometries.size(), 4u);
    EXPECT_EQ(s.drawNodes[0].geometry, 0);
    EXPECT_EQ(s.geometries[0].vertexOffset, 0u);  // was 36: three blocks of 12 bytes cut below
    EXPECT_EQ(s.geometries[0].firstIndex, 0u);
    EXPECT_EQ(s.vertexPool.front(), 36);
    EXPECT_EQ(s.geometries[1].vertexCount, 0u);  // the emptied one
    EXPECT_EQ(s.geometries[1].primitiveCount, 0u);
    EXPECT_EQ(s.geometries[2].vertexOffset, 24u);  // block 4 was nobody's and stays
    EXPECT_EQ(s.geometries[2].firstIndex, 6u);
    EXPECT_EQ(s.indexPool[s.geometries[3].firstIndex], 18);
    EXPECT_EQ(s.vertexPool.size(), 48u);
    EXPECT_EQ(s.indexPool.size(), 12u);
    // Every material is still named; so are the textures.
    EXPECT_EQ(s.materials.size(), 3u);
    EXPECT_EQ(s.textureNames.size(), 3u);
}

TEST(ClearBoneMeshes, EveryBoneAndUnusedMaterialsTakeTheirTextures) {
    Scene s = TwoBones();
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kShadow, -1));
    // Nodes 3 and 6 (material 0) go; materials 1 and 2 stay and renumber to 0 and 1.
    ASSERT_EQ(s.drawNodes.size(), 5u);
    EXPECT_EQ(s.bones[0].firstShadowNode, -1);
    EXPECT_EQ(s.bones[1].firstShadowNode, -1);
    EXPECT_EQ(s.bones[1].firstMeshNode, 3);
    ASSERT_EQ(s.materials.size(), 3u);  // node 0 still names material 0
    s = TwoBones();
    s.drawNodes[0].material = 1;
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kShadow, -1));
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.drawNodes[0].material, 0);
    EXPECT_EQ(s.drawNodes[2].material, 1);
    // Texture 0 stays (material 1 names it), the others renumber; stages past the count do not name.
    EXPECT_EQ(s.textureNames, (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp"}));
    s = TwoBones();
    s.drawNodes[0].material = 2;
    s.drawNodes[4].material = 2;
    s.materials[1].stageCount = 1;  // its texture 0 lies beyond the stages in use
    s.materials[2].texture[1] = 0;
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kShadow, -1));
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.textureNames, (std::vector<std::string>{"b.bmp", "c.bmp"}));
    EXPECT_EQ(s.materials[0].texture[0], 0);   // was 1
    EXPECT_EQ(s.materials[0].texture[1], -1);  // was 0, removed
    EXPECT_EQ(s.materials[1].texture[0], 1);
    EXPECT_EQ(s.materials[1].texture[1], -1);
    EXPECT_EQ(s.textures.size(), 2u);
}

TEST(ClearBoneMeshes, EveryNodeListedEmptiesTheSceneButTheBones) {
    Scene s = TwoBones();
    s.drawNodes[1].nextSkipped = 3;  // the shadow nodes hang on the mesh chains too
    s.drawNodes[5].nextDrawn = 6;
    s.entryPoints = {{"walk", 0}};
    s.programWords = {7, 8};
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kMeshes, -1));
    EXPECT_TRUE(s.drawNodes.empty());
    EXPECT_TRUE(s.geometries.empty());
    EXPECT_TRUE(s.materials.empty());
    EXPECT_TRUE(s.textures.empty());
    EXPECT_TRUE(s.textureNames.empty());
    EXPECT_TRUE(s.entryPoints.empty());
    EXPECT_TRUE(s.programWords.empty());
    for (const BoneRecord& b : s.bones) EXPECT_EQ(b.firstMeshNode + b.firstShadowNode, -2);
    EXPECT_EQ(s.bones.size(), 2u);
}

TEST(ClearBoneMeshes, ProgramsNamedEitherWayStayAndTheOthersLoseTheirWords) {
    Scene s = TwoBones();
    // Entries: 0 at word 0 (run by node 3), 1 at word 2 (unused), 2 at word 5 (referred to as
    // -3 - 2 by node 6), 3 at word 5 too (used only by a removed node).
    s.entryPoints = {{"a", 0}, {"b", 2}, {"c", 5}, {"d", 5}};
    s.programWords = {0, 1, 2, 3, 4, 5, 6, 7};
    s.drawNodes[3].program = 0;
    s.drawNodes[6].program = -3 - 2;
    s.drawNodes[4].program = 3;
    s.drawNodes[5].program = -3 - 1;
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kMeshes, 1));  // nodes 4 and 5 go
    ASSERT_EQ(s.entryPoints.size(), 2u);
    EXPECT_EQ(s.entryPoints[0].name, "a");
    EXPECT_EQ(s.entryPoints[1].name, "c");
    // "b" took words 2-4; "d" shared its start (now 2) with "c", which keeps the words.
    EXPECT_EQ(s.programWords, (std::vector<std::uint32_t>{0, 1, 5, 6, 7}));
    EXPECT_EQ(s.entryPoints[1].start, 2u);
    EXPECT_EQ(s.drawNodes[3].program, 0);
    EXPECT_EQ(s.drawNodes[4].program, -3 - 1);
}

TEST(ClearBoneMeshes, NothingListedOrABadBoneChangesNothing) {
    Scene s = TwoBones();
    s.bones[1].firstShadowNode = -1;
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kShadow, 1));
    EXPECT_EQ(s.drawNodes.size(), 7u);
    EXPECT_EQ(s.geometries.size(), 7u);
    EXPECT_FALSE(ClearBoneMeshes(s, BoneChain::kMeshes, 2));
    EXPECT_FALSE(ClearBoneMeshes(s, BoneChain::kMeshes, -2));
    EXPECT_EQ(s.bones[0].firstMeshNode, 0);
    EXPECT_EQ(s.drawNodes.size(), 7u);
}

TEST(ClearBoneMeshes, CyclesAndLinksOutOfRangeEndTheWalk) {
    Scene s = TwoBones();
    s.drawNodes[1].nextDrawn = 0;   // a cycle
    s.drawNodes[2].nextSkipped = 99;
    s.drawNodes[2].nextDrawn = -7;
    ASSERT_TRUE(ClearBoneMeshes(s, BoneChain::kMeshes, 0));
    EXPECT_EQ(s.drawNodes.size(), 4u);
}

// The removal as the window's handler once did it: node by node in list order, and each
// clean-up pass record by record, moving the pools and fixing every reference on each step.
class Reference {
public:
    static void Clear(Scene& s, BoneChain chain, std::int32_t bone) {
        std::vector<std::int32_t> list;
        auto collect = [&](auto&& self, std::int32_t n) -> void {
            if (n < 0 || n >= static_cast<std::int32_t>(s.drawNodes.size())) return;
            if (std::find(list.begin(), list.end(), n) != list.end()) return;
            list.push_back(n);
            self(self, s.drawNodes[n].nextSkipped);
            self(self, s.drawNodes[n].nextDrawn);
        };
        for (std::int32_t b = 0; b < static_cast<std::int32_t>(s.bones.size()); ++b) {
            if (bone != -1 && b != bone) continue;
            std::int32_t& head = chain == BoneChain::kMeshes ? s.bones[b].firstMeshNode : s.bones[b].firstShadowNode;
            collect(collect, head);
            head = -1;
        }
        if (list.empty() || list.size() == s.drawNodes.size()) return;  // covered by the tests above
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::int32_t r = list[i];
            s.drawNodes.erase(s.drawNodes.begin() + r);
            auto lower = [r](std::int32_t& v) {
                if (v > r) --v;
            };
            for (DrawNode& n : s.drawNodes) lower(n.nextDrawn), lower(n.nextSkipped);
            for (BoneRecord& b : s.bones) lower(b.firstMeshNode), lower(b.firstShadowNode);
            for (std::size_t j = i + 1; j < list.size(); ++j) lower(list[j]);
        }
        while (Programs(s)) {
        }
        Geometries(s);
        Materials(s);
    }

private:
    static bool Programs(Scene& s) {
        bool any = false;
        for (std::int32_t p = 0; p < static_cast<std::int32_t>(s.entryPoints.size());) {
            bool named = false;
            for (const DrawNode& n : s.drawNodes) named |= n.program == p || n.program == -3 - p;
            if (named) {
                ++p;
                continue;
            }
            any = true;
            for (DrawNode& n : s.drawNodes) {
                if (n.program == p) n.program = -1;
                else if (n.program == -3 - p) n.program = -2;
                else if (n.program > p) --n.program;
                else if (n.program < -3 - p) ++n.program;
            }
            const std::uint32_t start = s.entryPoints[p].start;
            std::uint32_t end = static_cast<std::uint32_t>(s.programWords.size());
            for (std::size_t e = 0; e < s.entryPoints.size(); ++e) {
                if (s.entryPoints[e].start > start) end = std::min(end, s.entryPoints[e].start);
                if (s.entryPoints[e].start == start && e != static_cast<std::size_t>(p)) end = start;  // shared
            }
            if (start < end) {
                s.programWords.erase(s.programWords.begin() + start, s.programWords.begin() + end);
                for (EntryPoint& e : s.entryPoints)
                    if (e.start >= end) e.start -= end - start;
            }
            s.entryPoints.erase(s.entryPoints.begin() + p);
        }
        return any;
    }

    static void Geometries(Scene& s) {
        for (std::int32_t g = 0; g < static_cast<std::int32_t>(s.geometries.size());) {
            bool named = false;
            for (const DrawNode& n : s.drawNodes) named |= n.geometry == g;
            if (named) {
                ++g;
                continue;
            }
            const GeometryRecord r = s.geometries[g];
            s.geometries.erase(s.geometries.begin() + g);
            const std::uint32_t bytes = r.stride * r.vertexCount;
            const std::uint32_t indices =
                r.indexed && r.primitiveCount ? static_cast<std::uint32_t>(IndexCount(r.primitiveType, r.primitiveCount))
                                              : 0;
            Cut(s, s.vertexPool, r.vertexOffset, bytes, &GeometryRecord::vertexOffset);
            Cut(s, s.indexPool, r.firstIndex, indices, &GeometryRecord::firstIndex);
            for (DrawNode& n : s.drawNodes) {
                if (n.geometry == g) n.geometry = -1;
                else if (n.geometry > g) --n.geometry;
            }
        }
    }

    template <typename T>
    static void Cut(Scene& s, std::vector<T>& pool, std::uint32_t at, std::uint32_t length,
                    std::uint32_t GeometryRecord::*field) {
        if (at >= pool.size()) return;
        length = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(pool.size()) - at);
        if (length == 0) return;
        pool.erase(pool.begin() + at, pool.begin() + at + length);
        for (GeometryRecord& o : s.geometries) {
            if (o.*field == at || (o.*field > at && o.*field < at + length)) {
                o.vertexOffset = o.firstIndex = o.vertexCount = o.primitiveCount = 0;
            } else if (o.*field > at) {
                o.*field -= length;
            }
        }
    }

    static void Materials(Scene& s) {
        for (std::int32_t m = 0; m < static_cast<std::int32_t>(s.materials.size());) {
            bool named = false;
            for (const DrawNode& n : s.drawNodes) named |= n.material == m;
            if (named) {
                ++m;
                continue;
            }
            s.materials.erase(s.materials.begin() + m);
            for (DrawNode& n : s.drawNodes) {
                if (n.material == m) n.material = -1;
                else if (n.material > m) --n.material;
            }
            for (std::int32_t t = 0; t < static_cast<std::int32_t>(s.textureNames.size());) {
                bool textureNamed = false;
                for (const SceneMaterial& mat : s.materials)
                    for (int k = 0; k < mat.stageCount; ++k) textureNamed |= mat.texture[k] == t;
                if (textureNamed) {
                    ++t;
                    continue;
                }
                s.textureNames.erase(s.textureNames.begin() + t);
                s.textures.erase(s.textures.begin() + t);
                for (SceneMaterial& mat : s.materials)
                    for (std::int32_t& v : mat.texture) {
                        if (v == t) v = -1;
                        else if (v > t) --v;
                    }
            }
        }
    }
};

// A scene of random chains over shared and separate geometry, materials and programs.
Scene RandomScene(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Scene s;
    const int bones = pick(1, 4), nodes = pick(2, 24), geometries = pick(1, 10), materials = pick(1, 5),
              textures = pick(0, 5), entries = pick(0, 5);
    std::uint32_t vertexEnd = 0, indexEnd = 0;
    for (int g = 0; g < geometries; ++g) {
        if (g > 0 && pick(0, 3) == 0) {  // shares the data of an earlier geometry
            s.geometries.push_back(s.geometries[pick(0, g - 1)]);
            continue;
        }
        GeometryRecord r = Geometry(vertexEnd, indexEnd, pick(0, 4), pick(0, 3));
        r.indexed = pick(0, 4) != 0;
        r.primitiveType = pick(1, 6);
        vertexEnd += r.stride * r.vertexCount;
        if (r.indexed) indexEnd += static_cast<std::uint32_t>(IndexCount(r.primitiveType, r.primitiveCount));
        s.geometries.push_back(r);
    }
    s.vertexPool.resize(vertexEnd);
    for (std::size_t i = 0; i < s.vertexPool.size(); ++i) s.vertexPool[i] = static_cast<std::uint8_t>(i);
    s.indexPool.resize(indexEnd);
    for (std::size_t i = 0; i < s.indexPool.size(); ++i) s.indexPool[i] = static_cast<std::uint16_t>(i);
    for (int m = 0; m < materials; ++m) {
        std::vector<std::int32_t> t;
        for (int k = pick(0, 3); k > 0; --k) t.push_back(pick(-1, textures));
        s.materials.push_back(Material(t));
        s.materials.back().texture[7] = pick(-1, textures);  // beyond the stages in use
    }
    for (int t = 0; t < textures; ++t) s.textureNames.push_back("t" + std::to_string(t));
    s.textures.resize(textures);
    std::uint32_t words = 0;
    for (int e = 0; e < entries; ++e) {
        words += pick(0, 3);
        s.entryPoints.push_back({"e" + std::to_string(e), words});
    }
    s.programWords.resize(words + pick(0, 3));
    for (std::size_t i = 0; i < s.programWords.size(); ++i) s.programWords[i] = static_cast<std::uint32_t>(i);
    for (int n = 0; n < nodes; ++n) {
        std::int32_t program = -1;
        if (entries > 0 && pick(0, 2) == 0) program = pick(0, entries - 1);
        else if (entries > 0 && pick(0, 2) == 0) program = -3 - pick(0, entries - 1);
        s.drawNodes.push_back(Node(pick(-1, nodes - 1), pick(-1, nodes - 1), pick(-1, geometries),
                                   pick(-1, materials), program));
    }
    for (int b = 0; b < bones; ++b) s.bones.push_back(Bone(pick(-1, nodes - 1), pick(-1, nodes - 1)));
    return s;
}

// Scenes hold texture objects and do not copy; these have none.
Scene Copy(const Scene& s) {
    Scene c;
    c.bones = s.bones;
    c.drawNodes = s.drawNodes;
    c.geometries = s.geometries;
    c.materials = s.materials;
    c.vertexPool = s.vertexPool;
    c.indexPool = s.indexPool;
    c.programWords = s.programWords;
    c.entryPoints = s.entryPoints;
    c.textureNames = s.textureNames;
    c.textures.resize(s.textures.size());
    return c;
}

void ExpectSameScene(const Scene& a, const Scene& b) {
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0);
    };
    EXPECT_TRUE(same(a.drawNodes, b.drawNodes));
    EXPECT_TRUE(same(a.bones, b.bones));
    EXPECT_TRUE(same(a.geometries, b.geometries));
    EXPECT_TRUE(same(a.materials, b.materials));
    EXPECT_TRUE(same(a.vertexPool, b.vertexPool));
    EXPECT_TRUE(same(a.indexPool, b.indexPool));
    EXPECT_TRUE(same(a.programWords, b.programWords));
    EXPECT_EQ(a.textureNames, b.textureNames);
    ASSERT_EQ(a.entryPoints.size(), b.entryPoints.size());
    for (std::size_t e = 0; e < a.entryPoints.size(); ++e) {
        EXPECT_EQ(a.entryPoints[e].name, b.entryPoints[e].name);
        EXPECT_EQ(a.entryPoints[e].start, b.entryPoints[e].start);
    }
}

TEST(ClearBoneMeshes, OnePassGivesWhatNodeByNodeRemovalGives) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        Scene expected = RandomScene(rng);
        const BoneChain chain = round % 2 ? BoneChain::kShadow : BoneChain::kMeshes;
        const std::int32_t bone = round % 3 == 0 ? -1 : static_cast<std::int32_t>(rng() % expected.bones.size());
        Scene actual = Copy(expected);
        Reference::Clear(expected, chain, bone);
        ASSERT_TRUE(ClearBoneMeshes(actual, chain, bone));
        if (!actual.drawNodes.empty()) ExpectSameScene(actual, expected);
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace ms
