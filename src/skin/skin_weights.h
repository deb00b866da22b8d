#pragma once
// Skin weights from bone envelopes: how strongly one bone's envelope holds a point (its weight,
// 0 to 1, and its distance score), the four strongest influences of a vertex among the bones of
// one skeleton tree, and the bone nearest to a point.
//
// The evaluation never yields NaN or infinity in a weight, whatever the envelope holds:
// - equal inner and outer radii make a hard edge at R1 (weight 1 up to R1, 0 beyond);
// - an envelope whose dots coincide (a bone of length 0) is a sphere around Dot 1 with Dot 1's
//   radii, measured in the bone's space, and its score is not divided by the length;
// - a falloff position that is not a number (from non-finite values in a file) gives weight 0;
// - a bone whose world matrix cannot be inverted holds nothing and is never the nearest bone;
// - a falloff code outside 0 .. 3 uses curve 3.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/d3dx/d3dx8math.h"
#include "render/scene.h"

namespace ms {

// One bone's envelope, brought into world space once so that many points can be evaluated.
struct PreparedEnvelope {
    std::int32_t bone = -1;
    float e[4][3] = {};   // world to envelope space: rows x, y, z and translation
    float length = 0;     // |Dot 2 - Dot 1|
    float a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    int curve = 3;
    bool normalCheck = false;
    bool valid = false;
};

struct EnvelopeSample {
    float weight;  // 0 to 1
    float score;   // distance beyond the outer surface relative to the length; negative inside
};

PreparedEnvelope PrepareEnvelope(const Scene& scene, std::int32_t bone);

// Evaluates one envelope at point `p` (world space). `normal` is the vertex normal when the
// mesh's layout has one, else null; it matters only with Normal Check on.
EnvelopeSample EvaluateEnvelope(const PreparedEnvelope& envelope, const D3DXVECTOR3& p,
                                const D3DXVECTOR3* normal);

// The falloff curve `curve` (0 to 3) at t, for 0 < t <= 1.
float FalloffCurve(int curve, float t);

// Four (bone, weight) slots ordered by falling weight; the first `influences` weights sum to 1.
struct VertexWeights {
    std::int32_t bone[4];
    float weight[4];
};

// What Normal Check gives a bone when the point lies on the envelope's axis (its offset vector
// has length 0) or the vertex normal vanishes in envelope space: the falloff curve at t = 1 for
// meshes, 0 for shadow volumes.
enum class DegenerateNormal { kCurveAtOne, kZero };

// The bones of one skeleton tree, prepared for weighting many vertices. The envelopes are kept
// field by field across the bones, so that one vertex is measured against many bones at once.
class SkinWeigher {
public:
    // Takes the bones whose root is the root of `referenceBone` (the picked bone, or bone 0 when
    // none is picked: ReferenceBone), in index order.
    SkinWeigher(const Scene& scene, std::int32_t referenceBone,
                DegenerateNormal degenerate = DegenerateNormal::kCurveAtOne);

    // The weights of one vertex. `influences` is the number of weights the vertex layout holds,
    // the implied last one included (blend weights + 1), limited to 1 .. 4. A vertex that no
    // envelope holds goes wholly to the bone with the smallest score (the tree's root bone when
    // no score is below 10000).
    VertexWeights Weigh(const D3DXVECTOR3& p, const D3DXVECTOR3* normal, int influences) const;

private:
    std::vector<PreparedEnvelope> envelopes_;
    // Row r of field r for every envelope: the 12 elements of e, length, a1, a2, b1, b2.
    std::vector<float> lanes_;
    std::int32_t fallbackBone_ = 0;
    bool zeroWhenDegenerate_ = false;
};

// The reference bone of weighting: the picked bone, or bone 0 when none is picked.
std::int32_t ReferenceBone(const Scene& scene);

// Weighs positions[i] (with normals[i] when `normals` is not empty) into out[i]. The spans of
// positions and out have the same length; normals is empty or as long.
void WeighVertices(const SkinWeigher& weigher, std::span<const D3DXVECTOR3> positions,
                   std::span<const D3DXVECTOR3> normals, int influences, std::span<VertexWeights> out);

// The bone of any tree with the smallest score at `p` below 10000 (the first on ties), or -1.
std::int32_t NearestBone(const Scene& scene, const D3DXVECTOR3& p);

}  // namespace ms
