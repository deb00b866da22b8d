#include "skin/skeleton_loader.h"

#include <cstring>
#include <utility>
#include <vector>

#include "model/model.h"
#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms {
namespace {

bool EndsWithX(const std::string& path) { return !path.empty() && (path.back() == 'x' || path.back() == 'X'); }

// Adds the bones of the frame chain that starts at `first`, depth first in chain order: a frame,
// the frames below it, then its following siblings.
void AddFrameBones(Scene& scene, const Model& model, std::int32_t first, bool everyFrame) {
    std::vector<std::pair<std::int32_t, std::int32_t>> stack{{first, -1}};  // (frame, parent bone)
    while (!stack.empty()) {
        auto [frame, parent] = stack.back();
        stack.pop_back();
        if (frame < 0 || frame >= model.FrameCount()) continue;
        stack.push_back({model.FrameNextSibling(frame), parent});
        const std::int32_t child = model.FrameFirstChild(frame);
        if (!everyFrame && child == -1) continue;
        const FrameRecord record = model.GetFrame(frame);
        D3DXMATRIX local;
        std::memcpy(&local.m[0][0], record.matrix, sizeof record.matrix);
        stack.push_back({child, AddBone(scene, parent, local)});
    }
}

}  // namespace

Status LoadSkeleton(Scene& scene, const std::string& path, bool everyFrame, const LoadProgress& progress) {
    Model model;
    model.SetDevice(scene.device);
    if (Status s = EndsWithX(path) ? model.LoadX(path, progress) : model.LoadGmf(path, progress); !s) return s;

    const std::int32_t first = scene.BoneCount();
    if (model.FrameCount() > 0) {
        const std::int32_t start = std::strcmp(model.FrameName(0), "Scene_Root") == 0 ? model.FrameFirstChild(0) : 0;
        AddFrameBones(scene, model, start, everyFrame);
    }
    if (scene.BoneCount() == first) return Status::Ok();

    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    GrowBoneStates(scene);
    SetUpHierarchy(scene, first, kDefaultBoneLength);
    UpdatePose(scene, first, identity);
    for (std::int32_t b = first; b < scene.BoneCount(); ++b) {
        ResetBone(scene, b);
        SetDefaultEnvelope(scene.boneStates[b].envelope, scene.boneStates[b].length);
    }
    ProjectBones(scene);
    return Status::Ok();
}

}  // namespace ms
