#include "render/scene.h"

namespace ms {
namespace {

BoneGlyph MakeBoneGlyph() {
    // The waist corners, and each triangle as (apex, waist corner, waist corner, normal).
    const D3DVECTOR mm{0.1f, -0.05f, -0.05f}, mp{0.1f, -0.05f, 0.05f};
    const D3DVECTOR pp{0.1f, 0.05f, 0.05f}, pm{0.1f, 0.05f, -0.05f};
    const D3DVECTOR back{0, 0, 0}, tip{1, 0, 0};
    struct Face {
        D3DVECTOR apex, a, b, normal;
    };
    const Face faces[8] = {
        {back, mm, mp, {-0.447f, -0.8944f, 0}},   {back, mp, pp, {-0.447f, 0, 0.8944f}},
        {back, pp, pm, {-0.447f, 0.8944f, 0}},    {back, pm, mm, {-0.447f, 0, -0.8944f}},
        {tip, mp, mm, {0.05547f, -0.99846f, 0}},  {tip, mm, pm, {0.05547f, 0, -0.99846f}},
        {tip, pm, pp, {0.05547f, 0.99846f, 0}},   {tip, pp, mp, {0.05547f, 0, 0.99846f}},
    };
    BoneGlyph glyph{};
    for (int f = 0; f < 8; ++f) {
        glyph[3 * f] = {faces[f].apex, faces[f].normal};
        glyph[3 * f + 1] = {faces[f].a, faces[f].normal};
        glyph[3 * f + 2] = {faces[f].b, faces[f].normal};
    }
    return glyph;
}

// The wire's segments: each closed ring of 32 points, each half circle of 17 points, first the
// R1 runs then the R2 runs, then four connecting segments between the rings of each radius.
std::array<std::uint16_t, EnvelopeWire::kIndexCount> MakeWireIndices() {
    std::array<std::uint16_t, EnvelopeWire::kIndexCount> indices{};
    int n = 0;
    auto segment = [&](int a, int b) {
        indices[n++] = static_cast<std::uint16_t>(a);
        indices[n++] = static_cast<std::uint16_t>(b);
    };
    auto ring = [&](int s) {
        for (int k = 0; k < 31; ++k) segment(s + k, s + k + 1);
        segment(s + 31, s);
    };
    auto halfCircle = [&](int s) {
        for (int k = 0; k < 16; ++k) segment(s + k, s + k + 1);
    };
    for (int s : {0, 32}) ring(s);
    for (int s : {64, 81, 98, 115}) halfCircle(s);
    for (int s : {132, 164}) ring(s);
    for (int s : {196, 213, 230, 247}) halfCircle(s);
    for (int k : {0, 8, 16, 24}) segment(k, 32 + k);
    for (int k : {0, 8, 16, 24}) segment(132 + k, 164 + k);
    return indices;
}

}  // namespace

Scene::Scene() : boneGlyph(MakeBoneGlyph()) {
    envelopeWire.indices = MakeWireIndices();
    envelopeWire.vertices.fill(D3DVECTOR{0, 0, 0});
}

void Scene::Clear() {
    auto release = [](auto& v) {
        v.clear();
        v.shrink_to_fit();
    };
    release(textures);  // releases every texture object
    release(textureNames);
    release(bones);
    release(drawNodes);
    release(geometries);
    release(materials);
    release(matrices);
    release(programWords);
    release(vertexPool);
    release(indexPool);
    release(entryPoints);
    release(boneStates);
    pickedBone = -1;
    currentBone = -1;
    currentDrawNode = -1;
}

}  // namespace ms
