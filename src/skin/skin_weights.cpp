#include "skin/skin_weights.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "skin/bones.h"

namespace ms {
namespace {

constexpr float kNoScore = 10000.0f;
constexpr std::size_t kLaneRows = 17;
constexpr float kQuarterTurn = 1.570795f;

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

namespace {

// Where a point lies against one envelope: d its distance from the envelope's axis (or from the
// nearer dot beyond the ends), t its position in the falloff, s its score. Written without
// branches, so that the compiler can measure several bones at once; each zone's values are
// computed exactly as the zone's own formula gives them.
struct Measure {
    float d, t, s;
};

inline Measure MeasurePoint(float x, float y, float z, float length, float a1, float a2, float b1, float b2) {
    const bool behind = (z <= 0.0f) | (length == 0.0f);  // behind Dot 1, or a sphere around it
    const bool beyond = !behind & !(z < length);
    const float along = behind ? z : (beyond ? z - length : 0.0f);
    const float d = std::sqrt(x * x + y * y + along * along);
    const float u = length - z;
    const float between1 = (u * a1 + z * b1) / length;  // radii interpolated between the dots
    const float between2 = (u * a2 + z * b2) / length;
    const float r1 = behind ? a1 : (beyond ? b1 : between1);
    const float r2 = behind ? a2 : (beyond ? b2 : between2);
    const float ramp = (d - r1) / (r2 - r1);
    const float t = r2 == r1 ? (d <= r1 ? 0.0f : 2.0f) : ramp;  // equal radii: a hard edge at R1
    const float scaled = (d - r2) / length;
    const float s = length == 0.0f ? d - r2 : scaled;
    return {d, t, s};
}

// The weight for falloff position t, or with Normal Check the curve at 1 when the point lies on
// the axis (d = 0) or its normal vanishes in envelope space.
inline float WeightAt(const Measure& m, int curve, bool normalCheck, const float e[12], const D3DXVECTOR3* normal,
                      bool zeroWhenDegenerate = false) {
    if (normalCheck && normal) {
        const D3DXVECTOR3& n = *normal;
        const float nx = n.x * e[0] + n.y * e[3] + n.z * e[6];
        const float ny = n.x * e[1] + n.y * e[4] + n.z * e[7];
        const float nz = n.x * e[2] + n.y * e[5] + n.z * e[8];
        if (m.d == 0.0f || Length3(nx, ny, nz) == 0.0f) return zeroWhenDegenerate ? 0.0f : FalloffCurve(curve, 1.0f);
    }
    if (m.t <= 0.0f) return 1.0f;
    if (m.t > 1.0f || std::isnan(m.t)) return 0.0f;
    return FalloffCurve(curve, m.t);
}

// The slots of one vertex while its bones are visited.
struct Slots {
    VertexWeights w{{0, 0, 0, 0}, {0, 0, 0, 0}};
    std::int32_t nearest;
    float nearestScore = kNoScore;

    void Offer(std::int32_t bone, float weight, float score) {
        if (score < nearestScore) {
            nearest = bone;
            nearestScore = score;
        }
        if (!(weight > 0.0f)) return;  // weight 0 never replaces a slot
        int weakest = 0;
        float least = std::min(2.0f, w.weight[0]);
        for (int j = 1; j < 4; ++j) {
            if (w.weight[j] < least) {
                weakest = j;
                least = w.weight[j];
            }
        }
        if (weight > least) {
            w.bone[weakest] = bone;
            w.weight[weakest] = weight;
        }
    }

    VertexWeights Finish(int influences) {
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
};

}  // namespace

EnvelopeSample EvaluateEnvelope(const PreparedEnvelope& env, const D3DXVECTOR3& p, const D3DXVECTOR3* normal) {
    if (!env.valid) return {0.0f, INFINITY};
    const auto& e = env.e;
    const float x = p.x * e[0][0] + p.y * e[1][0] + p.z * e[2][0] + e[3][0];
    const float y = p.x * e[0][1] + p.y * e[1][1] + p.z * e[2][1] + e[3][1];
    const float z = p.x * e[0][2] + p.y * e[1][2] + p.z * e[2][2] + e[3][2];
    const Measure m = MeasurePoint(x, y, z, env.length, env.a1, env.a2, env.b1, env.b2);
    return {WeightAt(m, env.curve, env.normalCheck, &e[0][0], normal), m.s};
}

std::int32_t ReferenceBone(const Scene& scene) {
    const std::int32_t b = scene.pickedBone;
    return b >= 0 && b < scene.BoneCount() ? b : 0;
}

SkinWeigher::SkinWeigher(const Scene& scene, std::int32_t referenceBone, DegenerateNormal degenerate)
    : zeroWhenDegenerate_(degenerate == DegenerateNormal::kZero) {
    fallbackBone_ = referenceBone;
    if (referenceBone < 0 || referenceBone >= scene.BoneCount()) return;
    const std::int32_t root = scene.bones[referenceBone].root;
    if (root >= 0 && root < scene.BoneCount()) fallbackBone_ = root;
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) {
        if (scene.bones[b].root != root) continue;
        const PreparedEnvelope env = PrepareEnvelope(scene, b);
        if (env.valid) envelopes_.push_back(env);  // an invalid one holds nothing and is never the nearest
    }
    const std::size_t n = envelopes_.size();
    lanes_.resize(kLaneRows * n);
    for (std::size_t i = 0; i < n; ++i) {
        const PreparedEnvelope& env = envelopes_[i];
        const float fields[kLaneRows] = {env.e[0][0], env.e[0][1], env.e[0][2], env.e[1][0], env.e[1][1], env.e[1][2],
                                         env.e[2][0], env.e[2][1], env.e[2][2], env.e[3][0], env.e[3][1], env.e[3][2],
                                         env.length,  env.a1,      env.a2,      env.b1,      env.b2};
        for (std::size_t r = 0; r < kLaneRows; ++r) lanes_[r * n + i] = fields[r];
    }
}

VertexWeights SkinWeigher::Weigh(const D3DXVECTOR3& p, const D3DXVECTOR3* normal, int influences) const {
    Slots slots;
    slots.nearest = fallbackBone_;
    constexpr std::size_t kBlock = 64;
    float d[kBlock], t[kBlock], s[kBlock];
    const std::size_t count = envelopes_.size();
    const float* lanes = lanes_.data();
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t n = std::min(kBlock, count - first);
        // Measure the point against a block of bones, then offer each bone's weight in order.
        for (std::size_t i = 0; i < n; ++i) {
            const float* f = lanes + first + i;  // field r of this bone at f[r * count]
            const float x = p.x * f[0 * count] + p.y * f[3 * count] + p.z * f[6 * count] + f[9 * count];
            const float y = p.x * f[1 * count] + p.y * f[4 * count] + p.z * f[7 * count] + f[10 * count];
            const float z = p.x * f[2 * count] + p.y * f[5 * count] + p.z * f[8 * count] + f[11 * count];
            const Measure m = MeasurePoint(x, y, z, f[12 * count], f[13 * count], f[14 * count], f[15 * count],
                                           f[16 * count]);
            d[i] = m.d;
            t[i] = m.t;
            s[i] = m.s;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const PreparedEnvelope& env = envelopes_[first + i];
            const float weight =
                WeightAt({d[i], t[i], s[i]}, env.curve, env.normalCheck, &env.e[0][0], normal, zeroWhenDegenerate_);
            slots.Offer(env.bone, weight, s[i]);
        }
    }
    return slots.Finish(influences);
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
