#pragma once
// The model tree as data: the items the window's tree shows for the Model, in the order it shows
// them, each with its depth, its label and the record it stands for.
#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"

namespace ms {

enum class TreeKind : std::int32_t { kFrame = 0, kMeshNode = 1 };  // the values of the selection kind

struct ModelTreeItem {
    int depth = 0;  // 0: a top-level item
    std::string label;
    TreeKind kind = TreeKind::kFrame;
    std::int32_t index = -1;
};

constexpr std::size_t kTreeLabelNameLength = 30;

// "F : " or "M : " followed by the first 30 characters of `name`.
std::string TreeLabel(TreeKind kind, const char* name);

// Frame 0 with its sibling chain at the top level: under each frame first its mesh nodes, then its
// child frames in chain order. Then, at the top level, every mesh node no frame placed, in index
// order. Walks without recursion, so a chain of any depth is fine; a frame is placed only once.
std::vector<ModelTreeItem> BuildModelTree(const Model& model);

}  // namespace ms
