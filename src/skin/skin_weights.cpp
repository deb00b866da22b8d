#include "skin/skin_weights.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "skin/bones.h"

namespace ms {
namespace {

constexpr float kNoScore = 10000.0f;
constexpr float kQuarterTurn = 1.570795f;

// Position within the falloff between the inner radius r1 (t = 0) and the outer radius r2
// (t = 1). Equal radii make a hard edge at r1.
float Ramp(float d, float r1, float r2) {
    if (r2 == r1) return d <= r1 ? 0.0f : 2.0f;
    return (d - r1) / (r2 - r1);
}

float Length3(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

}  // namespace

float FalloffCurve(int curve, float t) {
    switch (curve) {
        case 0: return 1.0f - t;
        case 1: return t < 0.5f ? 1.0f - 2.0f * t * t : 2.0f * (1.0f - t) * (1.0f - t);
        case 2: return 1.0f - std::sin(kQuarterTurn * t);
        default: return std::cos(kQuarterTurn * t);
    }
}

PreparedEnvelope PrepareEnvelope(const Scene& scene, std::int32_t bone) {
    PreparedEnvelope p;
    p.bone = bone;
    if (bone < 0 || bone >= scene.BoneCount() || static_cast<std::size_t>(bone) >= scene.boneStates.size()) return p;
    const Envelope& env = scene.boneStates[bone].envelope;
    const D3DXMATRIX world = SceneMatrix(scene, scene.bones[bone].world);
    D3DXMATRIX toBone;
    if (!D3DXMatrixInverse(&toBone, nullptr, &world)) return p;

    const float dx = env.dot2[0] - env.dot1[0], dy = env.dot2[1] - env.dot1[1], dz = env.dot2[2] - env.dot1[2];
    p.length = Length3(dx, dy, dz);
    D3DXMATRIX toEnvelope = env.boneToEnvelope;
    if (p.length == 0.0f)  // a sphere around Dot 1, in the bone's own axes
        D3DXMatrixTranslation(&toEnvelope, -env.dot1[0], -env.dot1[1], -env.dot1[2]);
    D3DXMATRIX e;
    D3DXMatrixMultiply(&e, &toBone, &toEnvelope);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) p.e[r][c] = e.m[r][c];

    p.a1 = env.dot1R1;
    p.a2 = env.dot1R2;
    p.b1 = env.dot2R1;
    p.b2 = env.dot2R2;
    p.normalCheck = env.falloff < 0;
    const std::int32_t code = env.falloff < 0 ? -1 - env.falloff : env.falloff;
    p.curve = code >= 0 && code <= 3 ? static_cast<int>(code) : 3;
    p.valid = true;
    return p;
}

EnvelopeSample EvaluateEnvelope(const PreparedEnvelope& env, const D3DXVECTOR3& p, const D3DXVECTOR3* normal) {
    if (!env.valid) return {0.0f, INFINITY};
    const auto& e = env.e;
    const float x = p.x * e[0][0] + p.y * e[1][0] + p.z * e[2][0] + e[3][0];
    const float y = p.x * e[0][1] + p.y * e[1][1] + p.z * e[2][1] + e[3][1];
    const float z = p.x * e[0][2] + p.y * e[1][2] + p.z * e[2][2] + e[3][2];
    const float length = env.length;

    float t, s, vz = z;
    if (length == 0.0f) {
        const float d = Length3(x, y, z);
        t = Ramp(d, env.a1, env.a2);
        s = d - env.a2;
    } else if (z <= 0.0f) {  // behind Dot 1
        const float d = Length3(x, y, z);
        t = Ramp(d, env.a1, env.a2);
        s = (d - env.a2) / length;
    } else if (z < length) {  // between the dots: radii interpolated along the axis
        const float d = std::sqrt(x * x + y * y);
        const float u = length - z;
        const float r1 = (u * env.a1 + z * env.b1) / length;
        const float r2 = (u * env.a2 + z * env.b2) / length;
        t = Ramp(d, r1, r2);
        s = (d - r2) / length;
        vz = 0.0f;
    } else {  // beyond Dot 2
        vz = z - length;
        const float d = Length3(x, y, vz);
        t = Ramp(d, env.b1, env.b2);
        s = (d - env.b2) / length;
    }

    if (env.normalCheck && normal) {
        const D3DXVECTOR3& n = *normal;
        const float nx = n.x * e[0][0] + n.y * e[1][0] + n.z * e[2][0];
        const float ny = n.x * e[0][1] + n.y * e[1][1] + n.z * e[2][1];
        const float nz = n.x * e[0][2] + n.y * e[1][2] + n.z * e[2][2];
        if (Length3(x, y, vz) == 0.0f || Length3(nx, ny, nz) == 0.0f) return {FalloffCurve(env.curve, 1.0f), s};
    }
    float weight;
    if (t <= 0.0f)
        weight = 1.0f;
    else if (t > 1.0f || std::isnan(t))
        weight = 0.0f;
    else
        weight = FalloffCurve(env.curve, t);
    return {weight, s};
}

std::int32_t ReferenceBone(const Scene& scene) {
    const std::int32_t b = scene.pickedBone;
    return b >= 0 && b < scene.BoneCount() ? b : 0;
}

SkinWeigher::SkinWeigher(const Scene& scene, std::int32_t referenceBone) {
    fallbackBone_ = referenceBone;
    if (referenceBone < 0 || referenceBone >= scene.BoneCount()) return;
    const std::int32_t root = scene.bones[referenceBone].root;
    if (root >= 0 && root < scene.BoneCount()) fallbackBone_ = root;
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b)
        if (scene.bones[b].root == root) envelopes_.push_back(PrepareEnvelope(scene, b));
}

VertexWeights SkinWeigher::Weigh(const D3DXVECTOR3& p, const D3DXVECTOR3* normal, int influences) const {
    VertexWeights w{{0, 0, 0, 0}, {0, 0, 0, 0}};
    std::int32_t nearest = fallbackBone_;
    float nearestScore = kNoScore;
    for (const PreparedEnvelope& env : envelopes_) {
        const EnvelopeSample sample = EvaluateEnvelope(env, p, normal);
        if (sample.score < nearestScore) {
            nearest = env.bone;
            nearestScore = sample.score;
        }
        int weakest = 0;
        float least = std::min(2.0f, w.weight[0]);
        for (int j = 1; j < 4; ++j) {
            if (w.weight[j] < least) {
                weakest = j;
                least = w.weight[j];
            }
        }
        if (sample.weight > least) {
            w.bone[weakest] = env.bone;
            w.weight[weakest] = sample.weight;
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            if (w.weight[j] > w.weight[i]) {
                std::swap(w.weight[i], w.weight[j]);
                std::swap(w.bone[i], w.bone[j]);
            }
        }
    }
    // A full influence excludes every partial one.
    bool full = false;
    for (float& weight : w.weight) {
        if (full && weight < 1.0f) weight = 0.0f;
        if (weight == 1.0f) full = true;
    }
    const int k = std::clamp(influences, 1, 4);
    for (int i = k; i < 4; ++i) w.weight[i] = 0.0f;
    const float sum = w.weight[0] + w.weight[1] + w.weight[2] + w.weight[3];
    if (sum == 0.0f) {
        w.weight[0] = 1.0f;
        for (std::int32_t& bone : w.bone) bone = nearest;
        return w;
    }
    for (int i = 0; i < k; ++i) w.weight[i] /= sum;
    for (int i = k; i < 4; ++i) w.bone[i] = w.bone[0];
    return w;
}

void WeighVertices(const SkinWeigher& weigher, std::span<const D3DXVECTOR3> positions,
                   std::span<const D3DXVECTOR3> normals, int influences, std::span<VertexWeights> out) {
    for (std::size_t i = 0; i < positions.size() && i < out.size(); ++i)
        out[i] = weigher.Weigh(positions[i], i < normals.size() ? &normals[i] : nullptr, influences);
}

std::int32_t NearestBone(const Scene& scene, const D3DXVECTOR3& p) {
    std::int32_t best = -1;
    float bestScore = kNoScore;
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) {
        const float s = EvaluateEnvelope(PrepareEnvelope(scene, b), p, nullptr).score;
        if (s < bestScore) {
            best = b;
            bestScore = s;
        }
    }
    return best;
}

}  // namespace ms
