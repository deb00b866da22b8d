#include "tools/merge_settings.h"

#include <algorithm>
#include <cmath>

#include "skin/number_text.h"

namespace ms {
namespace {

constexpr std::size_t kDistanceTextLimit = 18;

bool IsNode(const std::vector<DrawNode>& nodes, std::int32_t n) {
    return n >= 0 && static_cast<std::size_t>(n) < nodes.size();
}

Status Damaged(std::int32_t from, std::int32_t to) {
    return Status::Error("the draw-node chain is damaged: node " + std::to_string(from) + " leads to " +
                         (to < 0 ? "a loop" : "node " + std::to_string(to) + ", which does not exist"));
}

}  // namespace

void LevelDown(LevelTable& table) { table.current = std::max(table.current - 1, 0); }
void LevelUp(LevelTable& table) { table.current = std::min(table.current + 1, kLevelCount - 1); }

bool SetLevel(LevelTable& table, int level) {
    if (level < 0 || level >= kLevelCount) return false;
    table.current = level;
    return true;
}

bool SetDistance(LevelTable& table, const std::string& text) {
    float value = 0;
    if (!ScanFloat(text.substr(0, kDistanceTextLimit), value) || !std::isfinite(value)) return false;
    table.distances[static_cast<std::size_t>(table.current)] = value;
    return true;
}

std::string LevelText(const LevelTable& table) { return std::to_string(table.current); }
std::string DistanceText(const LevelTable& table) { return FormatFixed(table.Distance(), 2); }

std::int32_t ChainHead(const Scene& scene, std::int32_t bone, Chain chain) {
    if (bone < 0 || bone >= scene.BoneCount()) return -1;
    const BoneRecord& b = scene.bones[static_cast<std::size_t>(bone)];
    return chain == Chain::kMesh ? b.firstMeshNode : b.firstShadowNode;
}

Status FindChainPlace(const std::vector<DrawNode>& nodes, std::int32_t head, float threshold, bool blank,
                      ChainPlace& place) {
    // Each step moves to another node; more steps than nodes means a loop.
    std::size_t steps = 0;
    auto step = [&](std::int32_t from, std::int32_t to) -> Status {
        if (++steps > nodes.size() + 1) return Damaged(from, -1);
        if (to != -1 && !IsNode(nodes, to)) return Damaged(from, to);
        return Status::Ok();
    };
    place = ChainPlace{};
    if (head != -1 && !IsNode(nodes, head))
        return Status::Error("the draw-node chain is damaged: it starts at node " + std::to_string(head) +
                             ", which does not exist");
    for (std::int32_t h = head; h != -1;) {
        const DrawNode& node = nodes[static_cast<std::size_t>(h)];
        if (node.threshold < threshold) {
            place.kind = ChainPlace::kSkippedOf;
            place.at = h;
            if (Status s = step(h, node.nextSkipped); !s) return s;
            h = node.nextSkipped;
            continue;
        }
        if (node.threshold == threshold) {
            if (blank) {
                place = {ChainPlace::kPresent, h, -1};
                return Status::Ok();
            }
            std::int32_t last = h;
            while (nodes[static_cast<std::size_t>(last)].nextDrawn != -1) {
                const std::int32_t next = nodes[static_cast<std::size_t>(last)].nextDrawn;
                if (Status s = step(last, next); !s) return s;
                last = next;
            }
            place = {ChainPlace::kDrawnOf, last, -1};
            return Status::Ok();
        }
        place.next = h;  // a higher threshold (or one that does not compare) follows the new node
        return Status::Ok();
    }
    return Status::Ok();
}

std::int32_t InsertAt(std::vector<DrawNode>& nodes, std::int32_t head, const ChainPlace& place, DrawNode node) {
    if (place.kind == ChainPlace::kPresent) return head;
    const auto index = static_cast<std::int32_t>(nodes.size());
    node.nextDrawn = -1;
    node.nextSkipped = place.next;
    nodes.push_back(node);
    switch (place.kind) {
        case ChainPlace::kHead: return index;
        case ChainPlace::kSkippedOf: nodes[static_cast<std::size_t>(place.at)].nextSkipped = index; return head;
        case ChainPlace::kDrawnOf: nodes[static_cast<std::size_t>(place.at)].nextDrawn = index; return head;
        case ChainPlace::kPresent: break;
    }
    return head;
}

Status InsertIntoChain(std::vector<DrawNode>& nodes, std::int32_t& head, const DrawNode& node) {
    ChainPlace place;
    if (Status s = FindChainPlace(nodes, head, node.threshold, false, place); !s) return s;
    head = InsertAt(nodes, head, place, node);
    return Status::Ok();
}

Status InsertBlank(std::vector<DrawNode>& nodes, std::int32_t& head, float threshold) {
    ChainPlace place;
    if (Status s = FindChainPlace(nodes, head, threshold, true, place); !s) return s;
    head = InsertAt(nodes, head, place, DrawNode{-1, -1, -1, -1, -1, threshold});
    return Status::Ok();
}

Status ConnectBlank(Scene& scene, Chain chain, float threshold) {
    const std::int32_t bone = scene.pickedBone;
    if (bone < 0 || bone >= scene.BoneCount()) return Status::Error("no bone is picked");
    BoneRecord& b = scene.bones[static_cast<std::size_t>(bone)];
    return InsertBlank(scene.drawNodes, chain == Chain::kMesh ? b.firstMeshNode : b.firstShadowNode, threshold);
}

}  // namespace ms
