#include "render/frame.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3dx/d3dx8math.h"
#include "render/scene_drawing.h"
#include "skin/bones.h"
#include "skin/camera.h"

namespace ms {
namespace {

D3DMATERIAL8 GreyMaterial(float grey) {
    D3DMATERIAL8 m{};
    m.Diffuse = m.Ambient = {grey, grey, grey, 1.0f};
    return m;
}

D3DMATERIAL8 EnvelopeMaterial() {
    D3DMATERIAL8 m{};
    m.Emissive = {0.9f, 0.0f, 0.0f, 1.0f};
    return m;
}

D3DLIGHT8 StartLight(float x, float y, float z) {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.65f, 0.65f, 0.65f, 0.0f};
    light.Ambient = {0.25f, 0.25f, 0.25f, 0.0f};
    D3DXVECTOR3 direction(x, y, z);
    D3DXVec3Normalize(&direction, &direction);
    light.Direction = direction;
    light.Range = 100.0f;
    return light;
}

D3DXMATRIX FrameWorld(const Model& model, std::int32_t f, const D3DXMATRIX* parent) {
    D3DXMATRIX local;
    std::memcpy(&local, model.GetFrame(f).matrix, sizeof local);
    if (!parent) return local;
    D3DXMATRIX world;
    return *D3DXMatrixMultiply(&world, &local, parent);
}

// Draws mesh node `m` of the Model with its material and textures. A node without a material
// (-1) or with one outside the array is drawn plain grey and untextured.
void DrawMeshNode(IDirect3DDevice8& device, const Model& model, std::int32_t m) {
    if (m < 0 || m >= model.MeshNodeCount()) return;
    const MeshGeometry* g = model.Geometry(model.MeshNodeGeometry(m));
    if (!g) return;
    const std::int32_t materialIndex = model.MeshNodeMaterial(m);
    const bool hasMaterial = materialIndex >= 0 && materialIndex < model.MaterialCount();
    const MaterialRecord t = hasMaterial ? model.GetMaterial(materialIndex) : MaterialRecord{};
    device.SetVertexShader(g->fvf);
    for (int s = 0; s < kMaxTextureStages; ++s)
        device.SetTexture(s, hasMaterial ? model.Texture(t.texture[s]) : nullptr);
    const D3DMATERIAL8 material = hasMaterial ? t.material : GreyMaterial(0.7f);
    device.SetMaterial(&material);
    if (g->vertices.size() < std::size_t(g->vertexCount) * std::size_t(std::max(g->stride, 0))) return;
    if (g->indices.size() < static_cast<std::size_t>(std::max<std::int64_t>(0, IndexCount(g->primitiveType, g->primitiveCount))))
        return;
    device.DrawIndexedPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(g->primitiveType), 0, g->vertexCount, g->primitiveCount,
                                  g->indices.data(), D3DFMT_INDEX16, g->vertices.data(), g->stride);
}

void DrawFrameMeshNodes(IDirect3DDevice8& device, const Model& model, std::int32_t f) {
    const std::int32_t first = model.FrameFirstMeshNode(f);
    for (std::int32_t n = 0; first >= 0 && n < model.FrameMeshNodeCount(f); ++n) DrawMeshNode(device, model, first + n);
}

// One frame still to visit in a walk of the frame tree: its parent's world matrix (none for the
// top-level chain) and whether it lies below the chosen frame.
struct PendingFrame {
    std::int32_t frame;
    bool hasParent;
    bool chosen;
    D3DXMATRIX parent;
};

// Walks the frame tree from frame 0 depth first, a frame before its children and its children
// before its next sibling, with an explicit stack so that a deep tree cannot exhaust the call
// stack. `visit(f, world, chosen)` returns whether the frames below f count as chosen, or stops
// the walk by setting `stop`. Each frame is visited at most once, so damaged links end too.
template <typename Visit>
void WalkFrameTree(const Model& model, Visit visit) {
    std::vector<std::uint8_t> seen(static_cast<std::size_t>(std::max(model.FrameCount(), 0)), 0);
    std::vector<PendingFrame> stack{{0, false, false, {}}};
    bool stop = false;
    while (!stack.empty() && !stop) {
        const PendingFrame p = stack.back();
        stack.pop_back();
        const std::int32_t f = p.frame;
        if (f < 0 || f >= model.FrameCount() || seen[f]) continue;
        seen[f] = 1;
        stack.push_back({model.FrameNextSibling(f), p.hasParent, p.chosen, p.parent});
        const D3DXMATRIX world = FrameWorld(model, f, p.hasParent ? &p.parent : nullptr);
        const bool childrenChosen = visit(f, world, p.chosen, stop);
        stack.push_back({model.FrameFirstChild(f), true, childrenChosen, world});
    }
}

// Draws the chosen frame and every frame below it; the whole tree is searched.
void SearchChosenFrame(IDirect3DDevice8& device, const Model& model, std::int32_t target) {
    WalkFrameTree(model, [&](std::int32_t f, const D3DXMATRIX& world, bool chosen, bool&) {
        if (!chosen && f != target) return false;
        device.SetTransform(D3DTS_WORLD, &world);
        DrawFrameMeshNodes(device, model, f);
        return true;
    });
}

bool SearchChosenMeshNode(IDirect3DDevice8& device, const Model& model, std::int32_t node) {
    bool found = false;
    WalkFrameTree(model, [&](std::int32_t f, const D3DXMATRIX& world, bool, bool& stop) {
        const std::int32_t first = model.FrameFirstMeshNode(f);
        if (first >= 0 && node >= first && node < first + model.FrameMeshNodeCount(f)) {
            device.SetTransform(D3DTS_WORLD, &world);
            DrawMeshNode(device, model, node);
            found = stop = true;
        }
        return false;
    });
    return found;
}

}  // namespace

DevicePtr CreateViewportDevice(HWND window) {
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    if (!d3d) return nullptr;
    D3DDISPLAYMODE mode{};
    if (FAILED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return nullptr;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferFormat = mode.Format;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    const struct {
        D3DDEVTYPE type;
        DWORD flags;
    } attempts[] = {{D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
                    {D3DDEVTYPE_HAL, D3DCREATE_MIXED_VERTEXPROCESSING},
                    {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
                    {D3DDEVTYPE_SW, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
                    {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING}};
    for (const auto& attempt : attempts) {
        D3DPRESENT_PARAMETERS tried = params;
        IDirect3DDevice8* device = nullptr;
        if (SUCCEEDED(d3d->CreateDevice(D3DADAPTER_DEFAULT, attempt.type, window, attempt.flags, &tried, &device)))
            return DevicePtr(device);
    }
    return nullptr;
}

void SetUpSceneDevice(Scene& scene, IDirect3DDevice8* device) {
    scene.device = device;
    StartView(scene);
    if (!device) return;
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    const D3DLIGHT8 light0 = StartLight(-1, -1, -1);
    device->SetLight(0, &light0);
    device->LightEnable(0, 1);
    const D3DLIGHT8 light1 = StartLight(0, 1, 1);
    device->SetLight(1, &light1);
    device->LightEnable(1, 1);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetRenderState(D3DRS_LIGHTING, 1);
}

void DrawSkeleton(Scene& scene, bool drawEnvelope) {
    IDirect3DDevice8* device = scene.device;
    UpdateAll(scene);
    const D3DMATERIAL8 bone = GreyMaterial(0.3f), picked = GreyMaterial(0.7f);
    for (std::int32_t i = 0; i < scene.BoneCount(); ++i) {
        D3DXMATRIX world = SceneMatrix(scene, scene.bones[i].world);
        const float length = i < static_cast<std::int32_t>(scene.boneStates.size()) ? scene.boneStates[i].length : 0.0f;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) world.m[r][c] *= length;
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetMaterial(i == scene.pickedBone ? &picked : &bone);
        device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 8, scene.boneGlyph.data(), sizeof(GlyphVertex));
    }
    const std::int32_t p = scene.pickedBone;
    if (!drawEnvelope || p < 0 || p >= scene.BoneCount() || p >= static_cast<std::int32_t>(scene.boneStates.size())) return;
    const D3DMATERIAL8 envelope = EnvelopeMaterial();
    device->SetMaterial(&envelope);
    const D3DXMATRIX boneWorld = SceneMatrix(scene, scene.bones[p].world);
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &scene.boneStates[p].envelope.envelopeToBone, &boneWorld);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetVertexShader(D3DFVF_XYZ);
    device->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, EnvelopeWire::kVertexCount, EnvelopeWire::kIndexCount / 2,
                                   scene.envelopeWire.indices.data(), D3DFMT_INDEX16,
                                   scene.envelopeWire.vertices.data(), sizeof(D3DVECTOR));
}

void DrawChosenFrame(IDirect3DDevice8& device, const Model& model, std::int32_t target) {
    SearchChosenFrame(device, model, target);
}

bool DrawChosenMeshNode(IDirect3DDevice8& device, const Model& model, std::int32_t node) {
    return SearchChosenMeshNode(device, model, node);
}

void DrawFrame(Scene& scene, const Model& model, const ModelSelection& selection, bool bonePicked,
               const DisplayOptions& options) {
    IDirect3DDevice8* device = scene.device;
    if (!device) return;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, kClearColor, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_FILLMODE, options.triangles ? D3DFILL_SOLID
                                           : options.lines   ? D3DFILL_WIREFRAME
                                                             : D3DFILL_POINT);
    if (options.alpha) {
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    } else {
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    }
    device->SetRenderState(D3DRS_CULLMODE, options.noCulling ? D3DCULL_NONE : D3DCULL_CCW);
    if (selection.index != -1 && options.display) {
        if (selection.kind == 1)
            DrawChosenMeshNode(*device, model, selection.index);
        else
            DrawChosenFrame(*device, model, selection.index);
    }
    if (options.drawMeshes) DrawMeshes(scene);
    if (options.drawShadow) DrawShadows(scene);
    if (options.drawSceleton) {
        if (options.bonesOnTop) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
        DrawSkeleton(scene, options.drawEnvelope && bonePicked);
    }
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

}  // namespace ms
