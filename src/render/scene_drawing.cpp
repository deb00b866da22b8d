#include "render/scene_drawing.h"

#include <cmath>

#include "model/model.h"
#include "platform/d3d8/d3d8states.h"

namespace ms {
namespace {

template <typename T>
bool InRange(const std::vector<T>& v, std::int64_t i) {
    return i >= 0 && static_cast<std::uint64_t>(i) < v.size();
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

// The matrix `index` of the scene, or null when there is none.
const D3DXMATRIX* Matrix(const Scene& scene, std::int32_t index) {
    return InRange(scene.matrices, index) ? &scene.matrices[index] : nullptr;
}

// Operand `k` of the instruction at the program counter, when the program holds it.
bool Operand(const Scene& scene, std::uint32_t k, std::uint32_t& value) {
    std::uint64_t at = std::uint64_t{scene.programCounter} + k;
    if (at >= scene.programWords.size()) return false;
    value = scene.programWords[at];
    return true;
}

int OpEnd(Scene&) { return 0; }

int OpShade(Scene& scene) {
    ShadeViewport(scene);
    scene.programCounter += 1;
    return 1;
}

int OpWorld(Scene& scene) {
    if (InRange(scene.bones, scene.currentBone))
        if (const D3DXMATRIX* world = Matrix(scene, scene.bones[scene.currentBone].world))
            scene.device->SetTransform(D3DTS_WORLD, world);
    scene.programCounter += 1;
    return 1;
}

// The bone of palette pair (a, b) for current bone c with root r: c + a when its root is r, else
// c + b when its root is r, else the bone c + a' of the first pair (a', b') of the instruction
// whose b' equals a and whose bone has root r, else c.
std::int32_t PaletteBone(const Scene& scene, std::uint32_t pairs, std::int32_t a, std::int32_t b) {
    const std::int32_t c = scene.currentBone;
    const std::int32_t r = scene.bones[c].root;
    auto hasRoot = [&](std::int64_t bone) { return InRange(scene.bones, bone) && scene.bones[bone].root == r; };
    if (hasRoot(std::int64_t{c} + a)) return c + a;
    if (hasRoot(std::int64_t{c} + b)) return c + b;
    for (std::uint32_t k = 0; k < pairs; ++k) {
        std::uint32_t otherA = 0, otherB = 0;
        if (!Operand(scene, 2 + 2 * k, otherA) || !Operand(scene, 3 + 2 * k, otherB)) break;
        if (static_cast<std::int32_t>(otherB) == a && hasRoot(std::int64_t{c} + static_cast<std::int32_t>(otherA)))
            return c + static_cast<std::int32_t>(otherA);
    }
    return c;
}

int OpPalette(Scene& scene) {
    std::uint32_t n = 0;
    if (!Operand(scene, 1, n)) return 0;
    // Operands that run past the program's words end it; a count near 2^32 would otherwise wrap
    // the program counter.
    if (std::uint64_t{scene.programCounter} + 2 + n > scene.programWords.size()) return 0;
    if (InRange(scene.bones, scene.currentBone)) {
        const std::uint32_t pairs = n / 2;
        for (std::uint32_t k = 0; k < pairs && k < 256; ++k) {
            std::uint32_t a = 0, b = 0;
            if (!Operand(scene, 2 + 2 * k, a) || !Operand(scene, 3 + 2 * k, b)) break;
            const std::int32_t bone = PaletteBone(scene, pairs, static_cast<std::int32_t>(a), static_cast<std::int32_t>(b));
            const D3DXMATRIX* inverseBind = Matrix(scene, scene.bones[bone].inverseBind);
            const D3DXMATRIX* world = Matrix(scene, scene.bones[bone].world);
            if (!inverseBind || !world) continue;
            D3DXMATRIX blend;
            D3DXMatrixMultiply(&blend, inverseBind, world);
            scene.device->SetTransform(D3DTS_WORLDMATRIX(static_cast<int>(k)), &blend);
        }
    }
    scene.programCounter += 2 + n;
    return 1;
}

// E maps a point p to the far end of its shadow: directional lights move it 1000 units along
// the light; point and spot lights push it away from the light to L + 1000 (p - L).
D3DXMATRIX ExtrusionMatrix(const D3DLIGHT8& light) {
    D3DXMATRIX e = Identity();
    if (light.Type == D3DLIGHT_DIRECTIONAL) {
        e._41 = light.Direction.x * 1000.0f;
        e._42 = light.Direction.y * 1000.0f;
        e._43 = light.Direction.z * 1000.0f;
    } else {
        e._11 = e._22 = e._33 = 1000.0f;
        e._41 = light.Position.x * -999.0f;
        e._42 = light.Position.y * -999.0f;
        e._43 = light.Position.z * -999.0f;
    }
    return e;
}

int OpExtrude(Scene& scene) {
    std::uint32_t n = 0;
    if (!Operand(scene, 1, n)) return 0;
    D3DLIGHT8 light{};
    if (n <= kLargestExtrudedPalette && scene.extrusionLight >= 0 &&
        SUCCEEDED(scene.device->GetLight(static_cast<DWORD>(scene.extrusionLight), &light))) {
        const D3DXMATRIX e = ExtrusionMatrix(light);
        for (std::uint32_t i = 0; i < n; ++i) {
            D3DXMATRIX blend;
            scene.device->GetTransform(D3DTS_WORLDMATRIX(static_cast<int>(i)), &blend);
            D3DXMatrixMultiply(&blend, &blend, &e);
            scene.device->SetTransform(D3DTS_WORLDMATRIX(static_cast<int>(n + i)), &blend);
        }
    }
    scene.programCounter += 2;
    return 1;
}

int OpRenderState(Scene& scene) {
    std::uint32_t state = 0, value = 0;
    if (!Operand(scene, 1, state) || !Operand(scene, 2, value)) return 0;
    scene.device->SetRenderState(state, value);
    scene.programCounter += 3;
    return 1;
}

int OpTextureStageState(Scene& scene) {
    std::uint32_t stage = 0, type = 0, value = 0;
    if (!Operand(scene, 1, stage) || !Operand(scene, 2, type) || !Operand(scene, 3, value)) return 0;
    scene.device->SetTextureStageState(stage, type, value);
    scene.programCounter += 4;
    return 1;
}

void BindMaterial(Scene& scene, std::int32_t index) {
    if (!InRange(scene.materials, index)) return;
    const SceneMaterial& m = scene.materials[index];
    for (std::int32_t s = 0; s < m.stageCount && s < 8; ++s) {
        const std::int32_t t = m.texture[s];
        scene.device->SetTexture(s, InRange(scene.textures, t) ? scene.textures[t].get() : nullptr);
    }
    scene.device->SetMaterial(&m.material);
}

void DrawGeometry(Scene& scene, std::int32_t index) {
    if (!InRange(scene.geometries, index)) return;
    const GeometryRecord& g = scene.geometries[index];
    const std::int64_t count = IndexCount(static_cast<std::int32_t>(g.primitiveType), g.primitiveCount);
    if (count < 0 || g.primitiveType > 6) return;
    const std::uint64_t vertexBytes =
        std::uint64_t{g.stride} * (g.indexed ? std::uint64_t{g.vertexCount} : static_cast<std::uint64_t>(count));
    if (std::uint64_t{g.vertexOffset} + vertexBytes > scene.vertexPool.size()) return;
    if (g.indexed && std::uint64_t{g.firstIndex} + static_cast<std::uint64_t>(count) > scene.indexPool.size()) return;
    const std::uint8_t* vertices = scene.vertexPool.data() + g.vertexOffset;
    scene.device->SetVertexShader(g.fvf);
    const auto type = static_cast<D3DPRIMITIVETYPE>(g.primitiveType);
    if (!g.indexed)
        scene.device->DrawPrimitiveUP(type, g.primitiveCount, vertices, g.stride);
    else
        scene.device->DrawIndexedPrimitiveUP(type, 0, g.vertexCount, g.primitiveCount,
                                             scene.indexPool.data() + g.firstIndex, D3DFMT_INDEX16, vertices, g.stride);
}

}  // namespace

const OpcodeHandler kOpcodeHandlers[8] = {OpEnd,     DrawCurrentNode, OpShade,       OpWorld,
                                          OpPalette, OpExtrude,       OpRenderState, OpTextureStageState};

D3DMATERIAL8 ShadowMaterial() {
    const D3DCOLORVALUE shade{0.0f, 0.0f, 0.0f, 0.45f};
    return D3DMATERIAL8{shade, shade, shade, shade, 0.0f};
}

float LodMeasure(Scene& scene, std::int32_t bone) {
    const D3DXMATRIX* w = InRange(scene.bones, bone) ? Matrix(scene, scene.bones[bone].world) : nullptr;
    const D3DXMATRIX world = w ? *w : Identity();
    scene.currentBonePosition[0] = world._41;
    scene.currentBonePosition[1] = world._42;
    scene.currentBonePosition[2] = world._43;
    const float dx = world._41 - scene.view._41;
    const float dy = world._42 - scene.view._42;
    const float dz = world._43 - scene.view._43;
    scene.lodMeasure = dx * dx + dy * dy + scene.projection._11 * dz * dz;
    return scene.lodMeasure;
}

void WalkChain(Scene& scene, std::int32_t first, bool meshWalk) {
    // A consistent chain visits each node at most once; the bound stops a damaged one that loops.
    std::size_t steps = 0;
    for (std::int32_t n = first; n != -1 && InRange(scene.drawNodes, n) && steps++ < scene.drawNodes.size();) {
        scene.currentDrawNode = n;
        const DrawNode node = scene.drawNodes[n];
        const bool drawn = node.threshold >= scene.lodMeasure || std::isnan(node.threshold) || std::isnan(scene.lodMeasure);
        if (!drawn) {
            n = node.nextSkipped;
            continue;
        }
        if (RunProgram(scene, node.program) == 0 && meshWalk) DrawCurrentNode(scene);
        n = node.nextDrawn;
    }
}

int RunProgram(Scene& scene, std::int32_t program) {
    if (program == -1) return 0;
    if (program < -1 || !InRange(scene.entryPoints, program)) return 1;
    scene.programCounter = scene.entryPoints[program].start;
    // Every instruction takes at least one word, so a program that runs more instructions than
    // there are words loops; the bound stops it.
    for (std::size_t steps = 0; scene.programCounter < scene.programWords.size() && steps < scene.programWords.size();
         ++steps) {
        const std::uint32_t opcode = scene.programWords[scene.programCounter];
        if (opcode >= 8 || kOpcodeHandlers[opcode](scene) == 0) break;
    }
    return 1;
}

int DrawCurrentNode(Scene& scene) {
    if (InRange(scene.drawNodes, scene.currentDrawNode)) {
        const DrawNode& node = scene.drawNodes[scene.currentDrawNode];
        if (node.material != -1) BindMaterial(scene, node.material);
        if (node.geometry >= 0) DrawGeometry(scene, node.geometry);
    }
    scene.programCounter += 1;
    return 1;
}

void ShadeViewport(Scene& scene) {
    struct QuadVertex {
        float x, y, z, u, v;
    };
    const float x = 1.0f / scene.projection._11;
    const float y = 1.0f / scene.projection._22;
    const QuadVertex quad[4] = {{x, y, 1.0f, 1, 0}, {x, -y, 1.0f, 1, 1}, {-x, y, 1.0f, 0, 0}, {-x, -y, 1.0f, 0, 1}};
    const D3DXMATRIX identity = Identity();
    IDirect3DDevice8* device = scene.device;
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
    DWORD zEnable = 0;
    device->GetRenderState(D3DRS_ZENABLE, &zEnable);
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
    device->SetRenderState(D3DRS_ZENABLE, zEnable);
    device->SetTransform(D3DTS_VIEW, &scene.view);
}

void DrawMeshes(Scene& scene) {
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) {
        scene.currentBone = b;
        const D3DXMATRIX* world = Matrix(scene, scene.bones[b].world);
        const D3DXMATRIX identity = Identity();
        scene.device->SetTransform(D3DTS_WORLD, world ? world : &identity);
        LodMeasure(scene, b);
        WalkChain(scene, scene.bones[b].firstMeshNode, true);
    }
}

void DrawShadows(Scene& scene) {
    IDirect3DDevice8* device = scene.device;
    const D3DMATERIAL8 shadow = ShadowMaterial();
    device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_NOTEQUAL);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_INVERT);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    device->SetRenderState(D3DRS_STENCILREF, kShadowStencilRef);
    device->SetRenderState(D3DRS_STENCILMASK, kShadowStencilMask);
    device->SetRenderState(D3DRS_STENCILWRITEMASK, kShadowStencilWriteMask);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    scene.extrusionLight = 0;
    for (std::int32_t b = 0; b < scene.BoneCount(); ++b) {
        scene.currentBone = b;
        LodMeasure(scene, b);
        WalkChain(scene, scene.bones[b].firstShadowNode, false);
    }
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 15);
    device->SetRenderState(D3DRS_STENCILREF, kShadowStencilRef);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetMaterial(&shadow);
    device->SetRenderState(D3DRS_ZENABLE, 0);
    ShadeViewport(scene);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_ZENABLE, 1);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_STENCILENABLE, 0);
}

}  // namespace ms
