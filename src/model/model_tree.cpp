#include "model/model_tree.h"

#include <cstring>
#include <utility>

namespace ms {

std::string TreeLabel(TreeKind kind, const char* name) {
    std::string label = kind == TreeKind::kFrame ? "F : " : "M : ";
    label.append(name ? name : "", name ? strnlen(name, kTreeLabelNameLength) : 0);
    return label;
}

std::vector<ModelTreeItem> BuildModelTree(const Model& model) {
    std::vector<ModelTreeItem> items;
    const std::int32_t frames = model.FrameCount();
    const std::int32_t nodes = model.MeshNodeCount();
    std::vector<char> attached(static_cast<std::size_t>(nodes), 0);
    std::vector<char> placed(static_cast<std::size_t>(frames), 0);
    std::vector<std::pair<std::int32_t, int>> stack;  // (frame, depth)
    if (frames > 0) stack.push_back({0, 0});
    while (!stack.empty()) {
        const auto [f, depth] = stack.back();
        stack.pop_back();
        if (f < 0 || f >= frames || placed[f]) continue;
        placed[f] = 1;
        items.push_back({depth, TreeLabel(TreeKind::kFrame, model.FrameName(f)), TreeKind::kFrame, f});
        const std::int32_t first = model.FrameFirstMeshNode(f);
        const std::int32_t count = model.FrameMeshNodeCount(f);
        for (std::int32_t n = first; first >= 0 && n < nodes && n - first < count; ++n) {
            items.push_back({depth + 1, TreeLabel(TreeKind::kMeshNode, model.MeshNodeName(n)), TreeKind::kMeshNode, n});
            attached[n] = 1;
        }
        stack.push_back({model.FrameNextSibling(f), depth});  // after the whole subtree
        stack.push_back({model.FrameFirstChild(f), depth + 1});
    }
    for (std::int32_t n = 0; n < nodes; ++n)
        if (!attached[n])
            items.push_back({0, TreeLabel(TreeKind::kMeshNode, model.MeshNodeName(n)), TreeKind::kMeshNode, n});
    return items;
}

}  // namespace ms
