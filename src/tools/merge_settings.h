#pragma once
// The level-of-detail settings of the merge tools and the draw-node chains they build.
//
// Every bone carries two chains of DrawNodes, one for meshes and one for shadow volumes. A chain
// is ordered by rising threshold; the nodes of one threshold form a run linked by next-if-drawn
// in the order they were added; next-if-skipped leads to the next run. Connect hangs each new
// node at the current level's threshold (the square of its distance); Connect Blank puts an empty
// node there, so that where the walk stops at that level nothing of the chain is drawn.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "render/scene.h"

namespace ms {

constexpr int kLevelCount = 10;

// The distance of each level and the current level. Lives as long as the window; not saved.
struct LevelTable {
    std::array<float, kLevelCount> distances{1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
    int current = 5;

    float Distance() const { return distances[static_cast<std::size_t>(current)]; }
    // The threshold handed to the merge operations: the current distance squared.
    float Threshold() const { return Distance() * Distance(); }
};

// "<" and ">": one level down or up, kept within 0 .. 9.
void LevelDown(LevelTable& table);
void LevelUp(LevelTable& table);
// The current level := `level`; false (and no change) outside 0 .. 9.
bool SetLevel(LevelTable& table, int level);
// "Set Distance": scans at most the first 18 characters of `text` as "%f" does. Returns false and
// leaves the distance when they hold no number, or a number that is not finite (a NaN or infinite
// threshold would hide every other level of the chains it reaches).
bool SetDistance(LevelTable& table, const std::string& text);
// What the counter and the distance field show: the level in decimal, the distance as "%.2f".
std::string LevelText(const LevelTable& table);
std::string DistanceText(const LevelTable& table);

enum class Chain { kMesh, kShadow };

// The head of one of a bone's chains; -1 for a bone outside the array.
std::int32_t ChainHead(const Scene& scene, std::int32_t bone, Chain chain);

// Where a new node goes in a chain, found before anything changes.
struct ChainPlace {
    enum Kind {
        kHead,       // the new node becomes the head
        kSkippedOf,  // the new node follows `at` by next-if-skipped
        kDrawnOf,    // the new node ends the run whose last node is `at`
        kPresent,    // a blank whose level is already in the chain: nothing is added
    };
    Kind kind = kHead;
    std::int32_t at = -1;
    std::int32_t next = -1;  // the new node's next-if-skipped
};

// The place of a node with `threshold` in the chain that starts at `head`. A `blank` node is not
// added to a level already present; any other node joins the end of that level's run. Fails,
// naming the node, when the chain leaves the node array or loops.
Status FindChainPlace(const std::vector<DrawNode>& nodes, std::int32_t head, float threshold, bool blank,
                      ChainPlace& place);

// Appends `node` (its next-if-drawn is set to -1 and its next-if-skipped to the place's) and links
// it in at `place`. Returns the new head of the chain that started at `head`.
std::int32_t InsertAt(std::vector<DrawNode>& nodes, std::int32_t head, const ChainPlace& place, DrawNode node);

// The LOD insertion of `node` into the chain starting at `head`; returns the new head. Blank
// insertion is the same with a node that has no geometry, material or program, and adds nothing
// when the level is present. Both fail without a change on a damaged chain.
Status InsertIntoChain(std::vector<DrawNode>& nodes, std::int32_t& head, const DrawNode& node);
Status InsertBlank(std::vector<DrawNode>& nodes, std::int32_t& head, float threshold);

// "Connect Blank" and "Connect Blank Shadow": a blank level at `threshold` in the picked bone's
// chain. Fails without a change when no bone is picked.
Status ConnectBlank(Scene& scene, Chain chain, float threshold);

}  // namespace ms
