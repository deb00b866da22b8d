#pragma once
// The skeleton the weight and Connect benchmarks measure against, and points around its bones.
#include <cstddef>
#include <random>
#include <vector>

#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms::bench {

constexpr int kSkeletonBones = 64;

// A binary tree of 64 bones, each 1 along its parent's x with a slight turn, with default
// envelopes widened so that the falloffs overlap: one skeleton tree, as Connect weighs it.
inline Scene Skeleton() {
    Scene s;
    for (int b = 0; b < kSkeletonBones; ++b) {
        D3DXMATRIX local, turn;
        D3DXMatrixTranslation(&local, b == 0 ? 0.0f : 1.0f, 0.0f, 0.0f);
        D3DXMatrixRotationZ(&turn, b % 2 == 0 ? 0.4f : -0.4f);
        D3DXMatrixMultiply(&local, &turn, &local);
        AddBone(s, b == 0 ? -1 : (b - 1) / 2, local);
    }
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    UpdatePose(s, 0, identity);
    for (int b = 0; b < kSkeletonBones; ++b) {
        SetDefaultEnvelope(s.boneStates[b].envelope, s.boneStates[b].length);
        s.boneStates[b].envelope.dot1R2 = s.boneStates[b].envelope.dot2R2 = 0.5f;
    }
    return s;
}

// `count` points spread around the bones: each near a point of its bone's segment.
inline std::vector<D3DXVECTOR3> PointsAroundBones(const Scene& s, std::size_t count) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> along(0.0f, 1.0f), off(-0.4f, 0.4f);
    std::vector<D3DXVECTOR3> points(count);
    for (std::size_t i = 0; i < count; ++i) {
        const BoneState& b = s.boneStates[i % s.boneStates.size()];
        const float t = along(rng);
        points[i] = D3DXVECTOR3(b.origin[0] + t * (b.end[0] - b.origin[0]) + off(rng),
                                b.origin[1] + t * (b.end[1] - b.origin[1]) + off(rng),
                                b.origin[2] + t * (b.end[2] - b.origin[2]) + off(rng));
    }
    return points;
}

}  // namespace ms::bench
