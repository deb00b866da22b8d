#include "skin/bones.h"

#include <cmath>
#include <vector>

#include "skin/envelope.h"

namespace ms {
namespace {

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

bool IsBone(const Scene& scene, std::int32_t bone) { return bone >= 0 && bone < scene.BoneCount(); }

BoneState* StateOf(Scene& scene, std::int32_t bone) {
    return IsBone(scene, bone) && static_cast<std::size_t>(bone) < scene.boneStates.size() ? &scene.boneStates[bone]
                                                                                          : nullptr;
}

void StoreMatrix(Scene& scene, std::int32_t index, const D3DXMATRIX& value) {
    if (index >= 0 && static_cast<std::size_t>(index) < scene.matrices.size()) scene.matrices[index] = value;
}

// A bone to visit, with what it inherits from its parent.
struct Visit {
    std::int32_t bone;
    std::int32_t parent;  // -1 for the bones of the chain the walk starts with
    D3DXMATRIX parentWorld;
    std::int32_t root;
};

// Visits the chain that starts at `first` and every bone below it in the order a recursion would:
// a bone, then its children, then its following siblings. visit(v) returns the bone's world
// matrix and root for its children. Each bone is visited once, so damaged links cannot loop.
template <typename F>
void WalkChain(const Scene& scene, std::int32_t first, const D3DXMATRIX& parentWorld, F visit) {
    std::vector<std::uint8_t> seen(scene.bones.size(), 0);
    std::vector<Visit> stack{{first, -1, parentWorld, -1}};
    while (!stack.empty()) {
        Visit v = stack.back();
        stack.pop_back();
        if (!IsBone(scene, v.bone) || seen[v.bone]) continue;
        seen[v.bone] = 1;
        auto [world, root] = visit(v);
        const BoneRecord& b = scene.bones[v.bone];
        stack.push_back({b.nextSibling, v.parent, v.parentWorld, v.root});
        stack.push_back({b.firstChild, v.bone, world, root});
    }
}

// The x translation of the local matrix of the last bone in the child chain of `bone`, or
// `defaultLength` when it has no children.
float LengthFromChildren(const Scene& scene, std::int32_t bone, float defaultLength) {
    std::int32_t last = -1;
    std::size_t steps = 0;
    for (std::int32_t c = scene.bones[bone].firstChild; IsBone(scene, c) && steps <= scene.bones.size(); ++steps) {
        last = c;
        c = scene.bones[c].nextSibling;
    }
    return last == -1 ? defaultLength : SceneMatrix(scene, scene.bones[last].local)._41;
}

// (v, w) x m for a row vector with four components.
D3DXVECTOR4 Transform(const D3DXVECTOR4& v, const D3DXMATRIX& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + v.w * m._41,
            v.x * m._12 + v.y * m._22 + v.z * m._32 + v.w * m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + v.w * m._43,
            v.x * m._14 + v.y * m._24 + v.z * m._34 + v.w * m._44};
}

void ProjectPoint(const Scene& scene, const float point[3], float screen[2]) {
    D3DXVECTOR4 v = Transform(Transform({point[0], point[1], point[2], 1.0f}, scene.view), scene.projection);
    if (v.w == 0.0f) return;
    const float x = v.x / v.w, y = v.y / v.w;
    if (!std::isfinite(x) || !std::isfinite(y)) return;  // a w too small for the division
    screen[0] = x;
    screen[1] = y;
}

void UpdateAndProject(Scene& scene) {
    UpdateAll(scene);
    ProjectBones(scene);
}

}  // namespace

D3DXMATRIX SceneMatrix(const Scene& scene, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= scene.matrices.size()) return Identity();
    return scene.matrices[index];
}

std::int32_t AddBone(Scene& scene, std::int32_t parent, const D3DXMATRIX& local) {
    const std::int32_t index = scene.BoneCount();
    const auto m = static_cast<std::int32_t>(scene.matrices.size());
    scene.matrices.push_back(Identity());  // inverse bind
    scene.matrices.push_back(local);
    scene.matrices.push_back(Identity());  // pose
    scene.matrices.push_back(Identity());  // world
    BoneRecord bone{-1, -1, index, m + 1, m + 2, m + 3, m, -1, -1};
    if (IsBone(scene, parent)) {
        bone.nextSibling = scene.bones[parent].firstChild;
        bone.root = scene.bones[parent].root;
        scene.bones[parent].firstChild = index;
    } else if (index > 0) {
        std::int32_t last = 0;
        for (std::size_t steps = 0; IsBone(scene, scene.bones[last].nextSibling) && steps < scene.bones.size(); ++steps)
            last = scene.bones[last].nextSibling;
        scene.bones[last].nextSibling = index;
    }
    scene.bones.push_back(bone);
    return index;
}

void GrowBoneStates(Scene& scene) {
    if (scene.boneStates.size() < scene.bones.size()) scene.boneStates.resize(scene.bones.size(), BoneState{});
}

void SetUpHierarchy(Scene& scene, std::int32_t first, float defaultLength) {
    WalkChain(scene, first, Identity(), [&](const Visit& v) {
        BoneRecord& b = scene.bones[v.bone];
        b.root = v.parent == -1 ? v.bone : v.root;
        D3DXMATRIX local = SceneMatrix(scene, b.local);
        D3DXMATRIX world = local;
        if (v.parent != -1) D3DXMatrixMultiply(&world, &local, &v.parentWorld);
        StoreMatrix(scene, b.world, world);
        D3DXMATRIX inverse = SceneMatrix(scene, b.inverseBind);
        if (D3DXMatrixInverse(&inverse, nullptr, &world)) StoreMatrix(scene, b.inverseBind, inverse);
        if (BoneState* state = StateOf(scene, v.bone)) state->length = LengthFromChildren(scene, v.bone, defaultLength);
        return std::pair{world, b.root};
    });
}

void UpdatePose(Scene& scene, std::int32_t bone, const D3DXMATRIX& parent) {
    WalkChain(scene, bone, parent, [&](const Visit& v) {
        const BoneRecord& b = scene.bones[v.bone];
        D3DXMATRIX pose = SceneMatrix(scene, b.pose), local = SceneMatrix(scene, b.local), world;
        D3DXMatrixMultiply(&world, &pose, &local);
        D3DXMatrixMultiply(&world, &world, &v.parentWorld);
        StoreMatrix(scene, b.world, world);
        if (BoneState* s = StateOf(scene, v.bone)) {
            s->origin[0] = world._41;
            s->origin[1] = world._42;
            s->origin[2] = world._43;
            s->end[0] = world._41 + s->length * world._11;
            s->end[1] = world._42 + s->length * world._12;
            s->end[2] = world._43 + s->length * world._13;
        }
        return std::pair{world, v.root};
    });
}

void UpdateAll(Scene& scene) { UpdatePose(scene, 0, Identity()); }

void ProjectBones(Scene& scene) {
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) {
        if (BoneState* s = StateOf(scene, b)) {
            ProjectPoint(scene, s->origin, s->originScreen);
            ProjectPoint(scene, s->end, s->endScreen);
        }
    }
}

void SetPoseFromAngles(Scene& scene, std::int32_t bone) {
    BoneState* s = StateOf(scene, bone);
    if (!s) return;
    D3DXMATRIX x, y, z, pose;
    D3DXMatrixRotationX(&x, s->poseAngles[0]);
    D3DXMatrixRotationY(&y, s->poseAngles[1]);
    D3DXMatrixRotationZ(&z, s->poseAngles[2]);
    D3DXMatrixMultiply(&pose, &x, &y);
    D3DXMatrixMultiply(&pose, &pose, &z);
    StoreMatrix(scene, scene.bones[bone].pose, pose);
}

void ResetBone(Scene& scene, std::int32_t bone) {
    BoneState* s = StateOf(scene, bone);
    if (!s) return;
    s->poseAngles[0] = s->poseAngles[1] = s->poseAngles[2] = 0.0f;
    StoreMatrix(scene, scene.bones[bone].pose, Identity());
    RebuildEnvelopeMatrices(s->envelope);
}

void SelectBone(Scene& scene, std::int32_t bone) {
    scene.pickedBone = IsBone(scene, bone) ? bone : -1;
    RebuildEnvelopeWire(scene);
}

void ZeroPickedAngle(Scene& scene, int axis) {
    BoneState* s = StateOf(scene, scene.pickedBone);
    if (!s || axis < 0 || axis > 2) return;
    s->poseAngles[axis] = 0.0f;
    SetPoseFromAngles(scene, scene.pickedBone);
    UpdateAndProject(scene);
}

void ResetSkeleton(Scene& scene) {
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) ResetBone(scene, b);
    UpdateAndProject(scene);
}

void ResetPickedBone(Scene& scene) {
    ResetBone(scene, scene.pickedBone);
    UpdateAndProject(scene);
}

void TranslateDrag(Scene& scene, DragAxis axis, int dx, int dy) {
    if (!IsBone(scene, scene.pickedBone)) return;
    const std::int32_t root = scene.bones[scene.pickedBone].root;
    if (!IsBone(scene, root)) return;
    const std::int32_t local = scene.bones[root].local;
    if (local < 0 || static_cast<std::size_t>(local) >= scene.matrices.size()) return;
    const float a = static_cast<float>(dx) * 0.0034482758f;
    const float b = -static_cast<float>(dy) * 0.0045454544f;  // the mouse moving up gives b > 0
    D3DXVECTOR3 move;
    switch (axis) {
        case DragAxis::kX: move = {a, 0, 0}; break;
        case DragAxis::kY: move = {0, b, 0}; break;
        case DragAxis::kZ: move = {0, 0, b}; break;
        case DragAxis::kYZ: move = {0, b, a}; break;
        case DragAxis::kZX: move = {a, 0, b}; break;
        case DragAxis::kXY: move = {a, b, 0}; break;
    }
    D3DXMATRIX& m = scene.matrices[local];
    m._41 += move.x;
    m._42 += move.y;
    m._43 += move.z;
    UpdateAndProject(scene);
}

void RotateDrag(Scene& scene, DragAxis axis, int dx, int dy) {
    BoneState* s = StateOf(scene, scene.pickedBone);
    if (!s) return;
    const float a = static_cast<float>(dx) * 0.005f;
    const float c = -static_cast<float>(dy) * 0.005f;
    D3DXVECTOR3 turn;
    switch (axis) {
        case DragAxis::kX: turn = {a, 0, 0}; break;
        case DragAxis::kY: turn = {0, -a, 0}; break;
        case DragAxis::kZ: turn = {0, 0, -c}; break;
        case DragAxis::kYZ: turn = {0, -a, -c}; break;
        case DragAxis::kZX: turn = {a, 0, -c}; break;
        case DragAxis::kXY: turn = {-a, c, 0}; break;
    }
    s->poseAngles[0] += turn.x;
    s->poseAngles[1] += turn.y;
    s->poseAngles[2] += turn.z;
    SetPoseFromAngles(scene, scene.pickedBone);
    UpdateAndProject(scene);
}

}  // namespace ms
