#include "skin/envelope.h"

#include <cmath>
#include <utility>

#include "platform/d3dx/d3dx8math.h"
#include "skin/number_text.h"

namespace ms {
namespace {

constexpr float kWireStep = 0.19634938f;  // pi / 16

BoneState* PickedState(Scene& scene) {
    const std::int32_t b = scene.pickedBone;
    if (b < 0 || b >= scene.BoneCount() || static_cast<std::size_t>(b) >= scene.boneStates.size()) return nullptr;
    return &scene.boneStates[b];
}

float Distance(const float a[3], const float b[3]) {
    const float dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The wire's twelve runs for one pair of radii: rings around Dot 1 (z = 0) and Dot 2 (z = L),
// then half circles closing the ends in the planes x = 0 and y = 0.
void WriteWireRuns(EnvelopeWire& wire, int ringStart, int halfStart, float r1, float r2, float length) {
    auto ring = [&](int s, float r, float z) {
        for (int k = 0; k < 32; ++k) {
            const float angle = static_cast<float>(k) * kWireStep;
            wire.vertices[s + k] = {r * std::cos(angle), r * std::sin(angle), z};
        }
    };
    // plane: 0 for x = 0, 1 for y = 0; side: -1 behind Dot 1, +1 beyond Dot 2.
    auto halfCircle = [&](int s, float r, int plane, float side) {
        const float z0 = side < 0 ? 0.0f : length;
        for (int k = 0; k < 17; ++k) {
            const float angle = static_cast<float>(k) * kWireStep;
            const float across = r * std::cos(angle), along = z0 + side * r * std::sin(angle);
            wire.vertices[s + k] = plane == 0 ? D3DVECTOR{0, across, along} : D3DVECTOR{across, 0, along};
        }
    };
    ring(ringStart, r1, 0.0f);
    ring(ringStart + 32, r2, length);
    halfCircle(halfStart, r1, 0, -1.0f);
    halfCircle(halfStart + 17, r2, 0, 1.0f);
    halfCircle(halfStart + 34, r1, 1, -1.0f);
    halfCircle(halfStart + 51, r2, 1, 1.0f);
}

float* EnvelopeValue(Envelope& e, int field) {
    float* const values[10] = {&e.dot1[0], &e.dot1[1], &e.dot1[2], &e.dot1R1, &e.dot1R2,
                               &e.dot2[0], &e.dot2[1], &e.dot2[2], &e.dot2R1, &e.dot2R2};
    return values[field];
}

}  // namespace

void SetDefaultEnvelope(Envelope& envelope, float length) {
    envelope.dot1[0] = envelope.dot1[1] = envelope.dot1[2] = 0.0f;
    envelope.dot2[0] = length;
    envelope.dot2[1] = envelope.dot2[2] = 0.0f;
    envelope.dot1R1 = envelope.dot2R1 = 0.1f * length;
    envelope.dot1R2 = envelope.dot2R2 = 0.2f * length;
    envelope.falloff = 3;
    RebuildEnvelopeMatrices(envelope);
}

void RebuildEnvelopeMatrices(Envelope& envelope) {
    D3DXVECTOR3 eye(envelope.dot1[0], envelope.dot1[1], envelope.dot1[2]);
    D3DXVECTOR3 at(envelope.dot2[0], envelope.dot2[1], envelope.dot2[2]);
    D3DXVECTOR3 up(0, 1, 0);
    D3DXVECTOR3 axis(at.x - eye.x, at.y - eye.y, at.z - eye.z);
    // A look-at along its own up vector, or at its own eye, has no x axis: the matrix would
    // flatten every point onto the envelope's axis. Choose a direction that keeps it rigid.
    if (D3DXVec3Length(&axis) == 0.0f) at = D3DXVECTOR3(eye.x + 1.0f, eye.y, eye.z);
    D3DXMatrixLookAtLH(&envelope.boneToEnvelope, &eye, &at, &up);
    const D3DXMATRIX& m = envelope.boneToEnvelope;
    if (m._11 == 0.0f && m._21 == 0.0f && m._31 == 0.0f) {
        up = D3DXVECTOR3(0, 0, 1);
        D3DXMatrixLookAtLH(&envelope.boneToEnvelope, &eye, &at, &up);
    }
    D3DXMatrixInverse(&envelope.envelopeToBone, nullptr, &envelope.boneToEnvelope);
}

void RebuildEnvelopeWire(Scene& scene) {
    const BoneState* s = PickedState(scene);
    if (!s) return;
    const Envelope& e = s->envelope;
    const float length = Distance(e.dot1, e.dot2);
    WriteWireRuns(scene.envelopeWire, 0, 64, e.dot1R1, e.dot2R1, length);
    WriteWireRuns(scene.envelopeWire, 132, 196, e.dot1R2, e.dot2R2, length);
}

void RegenPickedEnvelope(Scene& scene) {
    if (BoneState* s = PickedState(scene)) SetDefaultEnvelope(s->envelope, s->length);
    RebuildEnvelopeWire(scene);
}

void RegenAllEnvelopes(Scene& scene) {
    for (BoneState& s : scene.boneStates) SetDefaultEnvelope(s.envelope, s.length);
    RebuildEnvelopeWire(scene);
}

void ShowEnvelope(const Envelope& envelope, int decimals, EnvelopeControls& controls) {
    Envelope copy = envelope;
    for (int i = 0; i < 10; ++i) controls.texts[i] = FormatFixed(*EnvelopeValue(copy, i), decimals);
    controls.normalCheck = envelope.falloff < 0;
    const std::int32_t code = envelope.falloff < 0 ? -1 - envelope.falloff : envelope.falloff;
    if (code >= 0 && code <= 3)
        for (int r = 0; r < 4; ++r) controls.radios[r] = r == code;
}

void ReadEnvelopeControls(const EnvelopeControls& controls, Envelope& envelope) {
    for (int i = 0; i < 10; ++i) ScanFloat(controls.texts[i], *EnvelopeValue(envelope, i));
    int code = 3;
    for (int r = 0; r < 3; ++r) {
        if (controls.radios[r]) {
            code = r;
            break;
        }
    }
    envelope.falloff = controls.normalCheck ? -1 - code : code;
}

void CorrectEnvelope(Envelope& envelope, bool widen) {
    for (auto radii : {std::pair{&envelope.dot1R1, &envelope.dot1R2}, std::pair{&envelope.dot2R1, &envelope.dot2R2}}) {
        if (*radii.first > *radii.second) std::swap(*radii.first, *radii.second);
        if (widen && *radii.first == *radii.second) *radii.second += 0.1f;
    }
    if (envelope.dot1[0] == envelope.dot2[0] && envelope.dot1[1] == envelope.dot2[1] &&
        envelope.dot1[2] == envelope.dot2[2])
        envelope.dot2[0] += 0.01f;
}

void RefEnvelope(const Scene& scene, EnvelopeTools& tools, EnvelopeControls& controls) {
    const std::int32_t b = scene.pickedBone;
    const bool picked = b >= 0 && b < scene.BoneCount() && static_cast<std::size_t>(b) < scene.boneStates.size();
    tools.buffer = picked ? scene.boneStates[b].envelope : Envelope{};
    ShowEnvelope(tools.buffer, 5, controls);
}

void SetEnvelope(Scene& scene, EnvelopeTools& tools, EnvelopeControls& controls) {
    ReadEnvelopeControls(controls, tools.buffer);
    CorrectEnvelope(tools.buffer, true);
    if (BoneState* s = PickedState(scene)) {
        s->envelope = tools.buffer;
        RebuildEnvelopeMatrices(s->envelope);
        RebuildEnvelopeWire(scene);
    }
    RefEnvelope(scene, tools, controls);
}

void CopyEnvelope(EnvelopeTools& tools, const EnvelopeControls& controls) {
    ReadEnvelopeControls(controls, tools.clipboard);
    CorrectEnvelope(tools.clipboard, false);
    tools.clipboardValid = true;
}

void PasteEnvelope(EnvelopeTools& tools, EnvelopeControls& controls) {
    if (!tools.clipboardValid) return;
    tools.buffer = tools.clipboard;
    ShowEnvelope(tools.buffer, 6, controls);
}

}  // namespace ms
