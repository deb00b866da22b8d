#include "platform/d3d8/device.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "platform/d3d8/fast_span.h"

namespace ms {
namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Guard band beyond each side of the viewport, in pixels; keeps snapped coordinates small.
constexpr float kGuardPixels = 16384.0f;

// The vertex count a draw may process at once.
constexpr UINT kChunkPrimitives = 4096;

// Filled indexed triangle lists of this many triangles go to DrawBinned, which takes them in
// chunks of kBinnedChunk: their processed vertices stay in the second-level cache.
constexpr UINT kBinnedPrimitives = 256;
constexpr UINT kBinnedChunk = 8192;
// The threads take a binned chunk's vertices in pieces of this many.
constexpr UINT kVertexPiece = 256;

// Vertices fewer than this are processed by one thread.
constexpr UINT kParallelVertices = 512;

// The drawing threads: asked for, else MODELSMITH_DEVICE_THREADS, else one per processor.
int ThreadCount(int asked) {
    if (asked <= 0) {
        if (const char* env = std::getenv("MODELSMITH_DEVICE_THREADS")) asked = std::atoi(env);
    }
    if (asked <= 0) asked = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(asked, 1, SoftwareDevice::kMaxThreads);
}

Color4 FromValue(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

std::uint32_t QuantizeClearDepth(float z) { return static_cast<std::uint32_t>(z * 16777215.0 + 0.5); }

bool ValidLight(const D3DLIGHT8& l) {
    if (l.Type != D3DLIGHT_POINT && l.Type != D3DLIGHT_SPOT && l.Type != D3DLIGHT_DIRECTIONAL) return false;
    const D3DVECTOR& d = l.Direction;
    if (l.Type != D3DLIGHT_POINT && !(d.x * d.x + d.y * d.y + d.z * d.z > 0.0f)) return false;
    if (l.Type == D3DLIGHT_DIRECTIONAL) return true;
    if (!(l.Range >= 0.0f && l.Range <= 1.8446743e19f)) return false;  // sqrt(FLT_MAX)
    if (!(l.Attenuation0 >= 0.0f && l.Attenuation1 >= 0.0f && l.Attenuation2 >= 0.0f)) return false;
    if (l.Attenuation0 == 0.0f && l.Attenuation1 == 0.0f && l.Attenuation2 == 0.0f) return false;
    if (l.Type == D3DLIGHT_SPOT) {
        constexpr float kPi = 3.14159274f;
        if (!(l.Phi >= 0.0f && l.Phi <= kPi && l.Theta >= 0.0f && l.Theta <= l.Phi)) return false;
    }
    return true;
}

ColorSource SourceOf(DWORD state, bool colorVertex) {
    if (!colorVertex) return ColorSource::kMaterial;
    if (state == D3DMCS_COLOR1) return ColorSource::kVertexDiffuse;
    if (state == D3DMCS_COLOR2) return ColorSource::kVertexSpecular;
    return ColorSource::kMaterial;
}

// The lowest and the highest of `count` indices of type T (unaligned), in one pass the compiler
// can vectorise.
template <typename T>
void IndexRange(const std::uint8_t* bytes, UINT count, UINT* lowest, UINT* highest) {
    T lo = static_cast<T>(~T{0}), hi = 0;
    for (UINT i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, bytes + sizeof(T) * i, sizeof(T));
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    *lowest = lo;
    *highest = hi;
}

// The end of the positions in the vertex sequence that primitives 0 .. k - 1 of `type` use.
UINT IndexPosition(D3DPRIMITIVETYPE type, UINT k) {
    switch (type) {
        case D3DPT_LINELIST: return 2 * k;
        case D3DPT_TRIANGLELIST: return 3 * k;
        case D3DPT_LINESTRIP: return k + 1;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return k + 2;
        default: return k;
    }
}

// A stage argument with the selectors Direct3D 8 does not have read as CURRENT.
DWORD StageArgument(DWORD arg) {
    return (arg & D3DTA_SELECTMASK) > D3DTA_TEMP ? (arg & ~D3DTA_SELECTMASK) | D3DTA_CURRENT : arg;
}

// Whether a stage argument reads the specular colour.
bool ReadsSpecular(DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_SPECULAR; }

}  // namespace

struct SoftwareDevice::DrawState {
    ScreenMapping screen;
    VertexSetup vertex;
    PixelSetup pixel;
    PrimitiveSetup primitive;
};

HRESULT SoftwareDevice::Create(const DeviceConfig& config, SoftwareDevice** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!config.target || config.width < 1 || config.height < 1 || config.width > kMaxSide || config.height > kMaxSide)
        return D3DERR_INVALIDCALL;
    if (config.backBufferFormat != D3DFMT_X8R8G8B8 && config.backBufferFormat != D3DFMT_A8R8G8B8)
        return D3DERR_NOTAVAILABLE;
    const D3DFORMAT depth = config.depthFormat;
    if (depth != D3DFMT_UNKNOWN && depth != D3DFMT_D24S8 && depth != D3DFMT_D24X8 && depth != D3DFMT_D16)
        return D3DERR_NOTAVAILABLE;
    try {
        *device = new SoftwareDevice(config);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

SoftwareDevice::SoftwareDevice(const DeviceConfig& config) : config_(config) {
    const std::size_t pixels = static_cast<std::size_t>(config.width) * static_cast<std::size_t>(config.height);
    color_.assign(pixels, config.backBufferFormat == D3DFMT_A8R8G8B8 ? 0u : 0xFF000000u);
    if (config.depthFormat != D3DFMT_UNKNOWN) depthStencil_.assign(pixels, 0xFFFFFF00u);
    for (const StateInfo& s : RenderStateTable()) renderStates_[s.number] = s.defaultValue;
    renderStates_[D3DRS_ZENABLE] = config.depthFormat != D3DFMT_UNKNOWN ? D3DZB_TRUE : D3DZB_FALSE;
    for (DWORD stage = 0; stage < kTextureStageCount; ++stage)
        for (const StateInfo& s : StageStateTable()) stageStates_[stage][s.number] = StageStateDefault(stage, s.number);
    view_ = projection_ = kIdentity;
    for (D3DMATRIX& m : textureTransforms_) m = kIdentity;
    for (D3DMATRIX& m : world_) m = kIdentity;
    viewport_ = {0, 0, static_cast<DWORD>(config.width), static_cast<DWORD>(config.height), 0.0f, 1.0f};
    DecodeFvf(D3DFVF_XYZ, &layout_);
    if (const int threads = ThreadCount(config.threads); threads > 1) {
        pool_ = std::make_unique<ThreadPool>(threads);
        if (pool_->size() == 1) pool_.reset();
        for (int i = 1; pool_ && i < pool_->size(); ++i) palettes_.push_back(std::make_unique<MatrixPalette>());
    }
}

SoftwareDevice::~SoftwareDevice() {
    for (Texture*& t : textures_)
        if (t) t->Release();
}

ULONG SoftwareDevice::AddRef() { return ++refs_; }

ULONG SoftwareDevice::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

// ---- Frame ----

// Large rectangles are cleared by all threads, each its share of the rows.
void SoftwareDevice::ClearRect(int x0, int y0, int x1, int y1, DWORD flags, std::uint32_t color,
                               std::uint32_t depthStencil) {
    constexpr std::int64_t kManyPixels = 1 << 16;
    if (pool_ && std::int64_t{x1 - x0} * (y1 - y0) >= kManyPixels) {
        const int parts = pool_->size(), rows = y1 - y0;
        pool_->Run([&](int t) {
            ClearRows(x0, y0 + rows * t / parts, x1, y0 + rows * (t + 1) / parts, flags, color, depthStencil);
        });
        return;
    }
    ClearRows(x0, y0, x1, y1, flags, color, depthStencil);
}

void SoftwareDevice::ClearRows(int x0, int y0, int x1, int y1, DWORD flags, std::uint32_t color,
                               std::uint32_t depthStencil) {
    for (int y = y0; y < y1; ++y) {
        if (flags & D3DCLEAR_TARGET) std::fill(color_.begin() + Offset(x0, y), color_.begin() + Offset(x1, y), color);
        if (!(flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) continue;
        std::uint32_t keep = 0;
        if (!(flags & D3DCLEAR_ZBUFFER)) keep |= 0xFFFFFF00u;
        if (!(flags & D3DCLEAR_STENCIL)) keep |= 0xFFu;
        for (std::size_t i = Offset(x0, y), end = Offset(x1, y); i < end; ++i)
            depthStencil_[i] = (depthStencil_[i] & keep) | (depthStencil & ~keep);
    }
}

HRESULT SoftwareDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return D3DERR_INVALIDCALL;
    if ((count > 0) != (rects != nullptr)) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depthStencil_.empty()) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !HasStencil()) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    const std::uint32_t c = config_.backBufferFormat == D3DFMT_A8R8G8B8 ? color : (color | 0xFF000000u);
    const std::uint32_t ds = (QuantizeClearDepth(flags & D3DCLEAR_ZBUFFER ? z : 0.0f) << 8) | (stencil & 0xFF);
    // Clearing is limited to the viewport, and to the rectangles when there are any.
    const int vx0 = static_cast<int>(viewport_.X), vy0 = static_cast<int>(viewport_.Y);
    const int vx1 = vx0 + static_cast<int>(viewport_.Width), vy1 = vy0 + static_cast<int>(viewport_.Height);
    if (count == 0) {
        ClearRect(vx0, vy0, vx1, vy1, flags, c, ds);
        return D3D_OK;
    }
    for (DWORD i = 0; i < count; ++i) {
        const D3DRECT& r = rects[i];
        const int x0 = std::max(vx0, r.x1), y0 = std::max(vy0, r.y1);
        const int x1 = std::min(vx1, r.x2), y1 = std::min(vy1, r.y2);
        if (x0 < x1 && y0 < y1) ClearRect(x0, y0, x1, y1, flags, c, ds);
    }
    return D3D_OK;
}

HRESULT SoftwareDevice::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT SoftwareDevice::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT SoftwareDevice::Present(const void* sourceRect, const void* destRect, void* windowOverride,
                                const void* dirtyRegion) {
    if (sourceRect || destRect || windowOverride || dirtyRegion) return D3DERR_INVALIDCALL;
    config_.target->Present(color_.data(), config_.width, config_.height, config_.width * 4);
    return D3D_OK;
}

// ---- State ----

D3DMATRIX* SoftwareDevice::TransformSlot(D3DTRANSFORMSTATETYPE state) {
    const int s = static_cast<int>(state);
    if (s == D3DTS_VIEW) return &view_;
    if (s == D3DTS_PROJECTION) return &projection_;
    if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) return &textureTransforms_[s - D3DTS_TEXTURE0];
    if (s >= D3DTS_WORLD && s < D3DTS_WORLD + 256) return &world_[s - D3DTS_WORLD];
    return nullptr;
}

HRESULT SoftwareDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *slot = *matrix;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *matrix = *slot;
    return D3D_OK;
}

HRESULT SoftwareDevice::SetViewport(const D3DVIEWPORT8* v) {
    if (!v || v->Width == 0 || v->Height == 0) return D3DERR_INVALIDCALL;
    if (std::uint64_t{v->X} + v->Width > static_cast<std::uint64_t>(config_.width) ||
        std::uint64_t{v->Y} + v->Height > static_cast<std::uint64_t>(config_.height))
        return D3DERR_INVALIDCALL;
    if (!(v->MinZ >= 0.0f && v->MinZ <= v->MaxZ && v->MaxZ <= 1.0f)) return D3DERR_INVALIDCALL;
    viewport_ = *v;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetViewport(D3DVIEWPORT8* v) {
    if (!v) return D3DERR_INVALIDCALL;
    *v = viewport_;
    return D3D_OK;
}

HRESULT SoftwareDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (!FindRenderState(state)) return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || !FindRenderState(state)) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT SoftwareDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kTextureStageCount || !FindStageState(type)) return D3DERR_INVALIDCALL;
    stageStates_[stage][type] = value;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= kTextureStageCount || !FindStageState(type)) return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT SoftwareDevice::SetTexture(DWORD stage, IDirect3DTexture8* texture) {
    if (stage >= kTextureStageCount) return D3DERR_INVALIDCALL;
    Texture* t = nullptr;
    if (texture && !(t = AsDeviceTexture(texture))) return D3DERR_INVALIDCALL;
    if (t) t->AddRef();
    if (textures_[stage]) textures_[stage]->Release();
    textures_[stage] = t;
    return D3D_OK;
}

HRESULT SoftwareDevice::SetMaterial(const D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    material_ = *material;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetMaterial(D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = material_;
    return D3D_OK;
}

HRESULT SoftwareDevice::SetLight(DWORD index, const D3DLIGHT8* light) {
    if (!light || !ValidLight(*light)) return D3DERR_INVALIDCALL;
    auto [it, added] = lights_.try_emplace(index, LightSlot{*light, false});
    if (!added) it->second.light = *light;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetLight(DWORD index, D3DLIGHT8* light) {
    const auto it = lights_.find(index);
    if (!light || it == lights_.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT SoftwareDevice::LightEnable(DWORD index, BOOL enable) {
    auto it = lights_.find(index);
    if (it == lights_.end()) {
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
        it = lights_.emplace(index, LightSlot{light, false}).first;
    }
    it->second.enabled = enable != 0;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetLightEnable(DWORD index, BOOL* enable) {
    const auto it = lights_.find(index);
    if (!enable || it == lights_.end()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled ? 1 : 0;
    return D3D_OK;
}

HRESULT SoftwareDevice::SetVertexShader(DWORD fvf) {
    FvfLayout layout;
    if (!DecodeFvf(fvf, &layout)) return D3DERR_INVALIDCALL;
    layout_ = layout;
    return D3D_OK;
}

HRESULT SoftwareDevice::GetVertexShader(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = layout_.fvf;
    return D3D_OK;
}

HRESULT SoftwareDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    Texture* t = nullptr;
    const HRESULT hr = Texture::Create(width, height, levels, usage, format, pool, &t);
    *texture = t;
    return hr;
}

// ---- Draw set-up ----

void SoftwareDevice::PrepareLights() {
    lightSetups_.clear();
    const D3DMATRIX& v = view_;
    auto direction = [&v](const D3DVECTOR& d, float* out) {
        for (int c = 0; c < 3; ++c) out[c] = d.x * v.m[0][c] + d.y * v.m[1][c] + d.z * v.m[2][c];
        const float len = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
        if (len > 0.0f)
            for (int c = 0; c < 3; ++c) out[c] /= len;
    };
    for (const auto& [index, slot] : lights_) {
        if (!slot.enabled) continue;
        const D3DLIGHT8& l = slot.light;
        LightSetup s{};
        s.type = static_cast<DWORD>(l.Type);
        s.diffuse = FromValue(l.Diffuse);
        s.specular = FromValue(l.Specular);
        s.ambient = FromValue(l.Ambient);
        const D3DVECTOR& p = l.Position;
        for (int c = 0; c < 3; ++c) s.position[c] = p.x * v.m[0][c] + p.y * v.m[1][c] + p.z * v.m[2][c] + v.m[3][c];
        float d[3];
        direction(l.Direction, d);
        for (int c = 0; c < 3; ++c) s.toLight[c] = s.spotAxis[c] = -d[c];
        s.range = l.Range;
        s.falloff = l.Falloff;
        s.att0 = l.Attenuation0;
        s.att1 = l.Attenuation1;
        s.att2 = l.Attenuation2;
        s.cosHalfTheta = std::cos(l.Theta * 0.5f);
        s.cosHalfPhi = std::cos(l.Phi * 0.5f);
        lightSetups_.push_back(s);
    }
}

// The texture stages up to the first that ends the cascade, and the attributes they need.
void SoftwareDevice::PrepareStages(DrawState* d) {
    PixelSetup& ps = d->pixel;
    ps.stageCount = 0;
    bool readsSpecular = false;
    for (DWORD s = 0; s < kTextureStageCount; ++s) {
        const DWORD* st = stageStates_[s];
        const DWORD colorOp = st[D3DTSS_COLOROP];
        if (colorOp == D3DTOP_DISABLE) break;
        // A stage without a texture whose colour comes from its texture ends the cascade.
        if (!textures_[s] && (st[D3DTSS_COLORARG1] & D3DTA_SELECTMASK) == D3DTA_TEXTURE && colorOp != D3DTOP_SELECTARG2)
            break;
        StageSetup& out = ps.stages[ps.stageCount++];
        out = StageSetup{};
        out.colorOp = colorOp;
        out.alphaOp = st[D3DTSS_ALPHAOP];
        out.colorArg[0] = StageArgument(st[D3DTSS_COLORARG0]);
        out.colorArg[1] = StageArgument(st[D3DTSS_COLORARG1]);
        out.colorArg[2] = StageArgument(st[D3DTSS_COLORARG2]);
        out.alphaArg[0] = StageArgument(st[D3DTSS_ALPHAARG0]);
        out.alphaArg[1] = StageArgument(st[D3DTSS_ALPHAARG1]);
        out.alphaArg[2] = StageArgument(st[D3DTSS_ALPHAARG2]);
        out.toTemp = (st[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        for (int k = 0; k < 3; ++k) readsSpecular |= ReadsSpecular(out.colorArg[k]) || ReadsSpecular(out.alphaArg[k]);
        if (textures_[s]) {
            out.hasTexture = true;
            out.sampler = MakeSampler(textures_[s], st);
        }
    }
    AssignAttributes(d, readsSpecular);
    ps.fastRows = config_.fastShading ? ChooseFastRows(ps, config_.wideLanes) : nullptr;
}

// The interpolated attributes: diffuse, specular when something reads it, then the coordinates
// of each textured stage.
void SoftwareDevice::AssignAttributes(DrawState* d, bool readsSpecular) {
    PixelSetup& ps = d->pixel;
    VertexSetup& vs = d->vertex;
    int attr = 4;
    const bool vertexFog = d->pixel.fog == FogMode::kVertex;
    vs.specularAttr = -1;
    if (readsSpecular || renderStates_[D3DRS_SPECULARENABLE] || vertexFog) {
        vs.specularAttr = attr;
        attr += 4;
    }
    vs.texOutputs = 0;
    RasterSetup& raster = d->primitive.raster;
    raster.spriteCount = 0;
    raster.wrapCount = 0;
    for (int i = 0; i < ps.stageCount; ++i) {  // stage i of the pipeline is device stage i
        StageSetup& out = ps.stages[i];
        if (!out.hasTexture) continue;
        const DWORD* st = stageStates_[i];
        TexCoordOutput& t = vs.tex[vs.texOutputs++];
        t.attr = attr;
        t.set = static_cast<int>(st[D3DTSS_TEXCOORDINDEX] & 0xFFFF);
        t.generate = st[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
        const DWORD flags = st[D3DTSS_TEXTURETRANSFORMFLAGS];
        t.transformCount = static_cast<int>(flags & 0xFF) <= 4 ? static_cast<int>(flags & 0xFF) : 0;
        t.projected = t.transformCount > 0 && (flags & D3DTTFF_PROJECTED) != 0;
        std::memcpy(t.matrix, textureTransforms_[i].m, sizeof t.matrix);
        out.coordAttr = attr;
        out.projected = t.projected;
        attr += t.projected ? 3 : 2;
        raster.spriteAttr[raster.spriteCount++] = out.coordAttr;
        // WRAPn belongs to texture coordinate set n.
        const DWORD wrap = t.set < 8 ? renderStates_[D3DRS_WRAP0 + static_cast<DWORD>(t.set)] : 0;
        if (wrap & D3DWRAP_U) raster.wrapAttr[raster.wrapCount++] = out.coordAttr;
        if (wrap & D3DWRAP_V) raster.wrapAttr[raster.wrapCount++] = out.coordAttr + 1;
    }
    raster.attrCount = attr;
    ps.specularAttr = vs.specularAttr;
}

void SoftwareDevice::PrepareVertexStage(DrawState* d) {
    VertexSetup& vs = d->vertex;
    const DWORD* rs = renderStates_;
    vs.layout = layout_;
    vs.wideLanes = config_.wideLanes;
    vs.screen = d->screen;
    std::memcpy(vs.projection, projection_.m, sizeof vs.projection);
    palette_.Begin(world_, &view_);
    vs.palette = &palette_;

    // Blending reads the weights the vertex has, up to VERTEXBLEND; 0WEIGHTS uses one matrix.
    // Tweening needs a second position, which an FVF cannot carry: it draws unblended.
    const DWORD blend = rs[D3DRS_VERTEXBLEND];
    vs.blendWeights = -1;
    vs.indexedBlend = false;
    if (blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS && layout_.betaCount > 0)
        vs.blendWeights = std::min(static_cast<int>(blend), layout_.weightCount);
    else if (blend == D3DVBF_0WEIGHTS)
        vs.blendWeights = 0;
    if (vs.blendWeights >= 0) vs.indexedBlend = rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && layout_.indicesOffset >= 0;

    vs.lighting = rs[D3DRS_LIGHTING] != 0 && !layout_.rhw;
    vs.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != 0;
    vs.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    vs.specularLighting = rs[D3DRS_SPECULARENABLE] != 0;
    const bool colorVertex = rs[D3DRS_COLORVERTEX] != 0;
    vs.ambientSource = SourceOf(rs[D3DRS_AMBIENTMATERIALSOURCE], colorVertex);
    vs.diffuseSource = SourceOf(rs[D3DRS_DIFFUSEMATERIALSOURCE], colorVertex);
    vs.specularSource = SourceOf(rs[D3DRS_SPECULARMATERIALSOURCE], colorVertex);
    vs.emissiveSource = SourceOf(rs[D3DRS_EMISSIVEMATERIALSOURCE], colorVertex);
    vs.material = material_;
    const Color4 ambient = ColorFromArgb(rs[D3DRS_AMBIENT]);
    vs.globalAmbient = {ambient.r, ambient.g, ambient.b, 0.0f};
    if (vs.lighting) PrepareLights();
    vs.lights = std::span<const LightSetup>(lightSetups_.data(), vs.lighting ? lightSetups_.size() : 0);

    const bool vertexFog = d->pixel.fog == FogMode::kVertex && !layout_.rhw;
    vs.fogMode = vertexFog ? rs[D3DRS_FOGVERTEXMODE] : D3DFOG_NONE;
    vs.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
    vs.fogStart = StateFloat(rs[D3DRS_FOGSTART]);
    vs.fogEnd = StateFloat(rs[D3DRS_FOGEND]);
    vs.fogDensity = StateFloat(rs[D3DRS_FOGDENSITY]);

    vs.pointSize = StateFloat(rs[D3DRS_POINTSIZE]);
    vs.pointMin = StateFloat(rs[D3DRS_POINTSIZE_MIN]);
    vs.pointMax = std::min(StateFloat(rs[D3DRS_POINTSIZE_MAX]), 8192.0f);
    vs.pointScale = rs[D3DRS_POINTSCALEENABLE] != 0;
    vs.pointA = StateFloat(rs[D3DRS_POINTSCALE_A]);
    vs.pointB = StateFloat(rs[D3DRS_POINTSCALE_B]);
    vs.pointC = StateFloat(rs[D3DRS_POINTSCALE_C]);
}

void SoftwareDevice::PreparePixelStage(DrawState* d) {
    PixelSetup& ps = d->pixel;
    const DWORD* rs = renderStates_;
    ps.fb.color = color_.data();
    ps.fb.depthStencil = depthStencil_.empty() ? nullptr : depthStencil_.data();
    ps.fb.width = config_.width;
    ps.fb.height = config_.height;
    ps.fb.pitch = config_.width;
    ps.fb.destAlpha = config_.backBufferFormat == D3DFMT_A8R8G8B8;
    ps.fb.hasStencil = HasStencil();
    ps.textureFactor = ColorFromArgb(rs[D3DRS_TEXTUREFACTOR]);
    ps.addSpecular = rs[D3DRS_SPECULARENABLE] != 0;

    ps.fog = FogMode::kNone;
    if (rs[D3DRS_FOGENABLE]) ps.fog = rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? FogMode::kTable : FogMode::kVertex;
    ps.fogColor = ColorFromArgb(rs[D3DRS_FOGCOLOR]);
    ps.fogTableMode = rs[D3DRS_FOGTABLEMODE];
    ps.fogStart = StateFloat(rs[D3DRS_FOGSTART]);
    ps.fogEnd = StateFloat(rs[D3DRS_FOGEND]);
    ps.fogDensity = StateFloat(rs[D3DRS_FOGDENSITY]);

    ps.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
    ps.alphaFunc = rs[D3DRS_ALPHAFUNC];
    ps.alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;

    const bool depth = ps.fb.depthStencil != nullptr;
    ps.depthTest = depth && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    ps.depthWrite = ps.depthTest && rs[D3DRS_ZWRITEENABLE] != 0;
    ps.depthFunc = rs[D3DRS_ZFUNC];
    // Each ZBIAS step (0..16) moves the depth 64 units of the 24-bit range towards the viewer.
    ps.depthBias = static_cast<std::int32_t>(std::min<DWORD>(rs[D3DRS_ZBIAS], 16)) * 64;

    ps.stencil = depth && ps.fb.hasStencil && rs[D3DRS_STENCILENABLE] != 0;
    ps.stencilFunc = rs[D3DRS_STENCILFUNC];
    ps.stencilFail = rs[D3DRS_STENCILFAIL];
    ps.stencilZFail = rs[D3DRS_STENCILZFAIL];
    ps.stencilPass = rs[D3DRS_STENCILPASS];
    ps.stencilRef = rs[D3DRS_STENCILREF] & 0xFF;
    ps.stencilMask = rs[D3DRS_STENCILMASK] & 0xFF;
    ps.stencilWriteMask = rs[D3DRS_STENCILWRITEMASK] & 0xFF;

    ps.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    ps.srcBlend = rs[D3DRS_SRCBLEND];
    ps.destBlend = rs[D3DRS_DESTBLEND];
    ps.blendOp = rs[D3DRS_BLENDOP];
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    ps.writeMask = ((mask & D3DCOLORWRITEENABLE_RED) ? 0x00FF0000u : 0u) |
                   ((mask & D3DCOLORWRITEENABLE_GREEN) ? 0x0000FF00u : 0u) |
                   ((mask & D3DCOLORWRITEENABLE_BLUE) ? 0x000000FFu : 0u) |
                   ((mask & D3DCOLORWRITEENABLE_ALPHA) ? 0xFF000000u : 0u);
    ps.shade = ps.writeMask != 0 || ps.alphaTest;
}

void SoftwareDevice::PrepareDraw(DrawState* d) {
    const DWORD* rs = renderStates_;
    ScreenMapping& m = d->screen;
    const D3DVIEWPORT8& v = viewport_;
    m.x0 = static_cast<float>(v.X);
    m.y0 = static_cast<float>(v.Y);
    m.halfWidth = static_cast<float>(v.Width) * 0.5f;
    m.halfHeight = static_cast<float>(v.Height) * 0.5f;
    // Screen-space vertices carry their final depth; the viewport's depth range is for the others.
    m.minZ = layout_.rhw ? 0.0f : v.MinZ;
    m.zScale = layout_.rhw ? 1.0f : v.MaxZ - v.MinZ;
    m.guardX = 1.0f + kGuardPixels / m.halfWidth;
    m.guardY = 1.0f + kGuardPixels / m.halfHeight;
    m.clipNearFar = rs[D3DRS_CLIPPING] != 0 && !layout_.rhw;

    PreparePixelStage(d);
    PrepareStages(d);
    PrepareVertexStage(d);

    RasterSetup& r = d->primitive.raster;
    r.pixels = &d->pixel;
    r.left = static_cast<int>(v.X);
    r.top = static_cast<int>(v.Y);
    r.right = static_cast<int>(v.X + v.Width);
    r.bottom = static_cast<int>(v.Y + v.Height);
    r.cullMode = rs[D3DRS_CULLMODE];
    r.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    r.specularAttr = d->vertex.specularAttr;
    r.pointSprite = rs[D3DRS_POINTSPRITEENABLE] != 0;
    d->primitive.screen = &d->screen;
    d->primitive.fillMode = rs[D3DRS_FILLMODE];
    d->primitive.lastPixel = rs[D3DRS_LASTPIXEL] != 0;
}

// ---- Drawing ----

namespace {

// Whether a draw has enough to do to wake the other threads: many primitives, or a few that
// reach over many pixels (or need clipping).
bool WorthSharing(const RasterSetup& r, UINT primitives, const OutVertex* v, std::size_t count) {
    constexpr UINT kManyPrimitives = 16;
    constexpr float kManyPixels = 4096.0f;
    if (primitives >= kManyPrimitives || count > 4096) return true;
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (std::size_t i = 0; i < count; ++i) {
        if (v[i].clip) return true;
        x0 = std::min(x0, v[i].sx), x1 = std::max(x1, v[i].sx);
        y0 = std::min(y0, v[i].sy), y1 = std::max(y1, v[i].sy);
    }
    const float w = std::min(x1, static_cast<float>(r.right)) - std::max(x0, static_cast<float>(r.left));
    const float h = std::min(y1, static_cast<float>(r.bottom)) - std::max(y0, static_cast<float>(r.top));
    return w > 0.0f && h > 0.0f && w * h >= kManyPixels;
}

}  // namespace

// Vertices first..first+count-1 into out[0..count-1], split among the threads. Each thread has
// its own palette, which fills on use.
void SoftwareDevice::Process(const DrawState& d, const std::uint8_t* data, UINT stride, UINT first, UINT count,
                             OutVertex* out) {
    if (!pool_ || count < kParallelVertices) {
        ProcessVertices(d.vertex, data, stride, first, count, out);
        return;
    }
    const UINT parts = static_cast<UINT>(pool_->size());
    pool_->Run([&](int t) {
        const UINT begin = count / parts * static_cast<UINT>(t);
        const UINT end = t + 1 == static_cast<int>(parts) ? count : begin + count / parts;
        VertexSetup vs = d.vertex;
        if (t > 0) {
            vs.palette = palettes_[static_cast<std::size_t>(t - 1)].get();
            vs.palette->Begin(world_, &view_);
        }
        ProcessVertices(vs, data, stride, first + begin, end - begin, out + begin);
    });
}

// Runs primitives(setup) on every thread, each drawing its bands of rows.
// Runs primitives(setup) on every thread when `share`, each drawing its bands of rows and
// collecting the spans of its triangles; else on this thread.
template <typename Draw>
void SoftwareDevice::Rasterize(const DrawState& d, bool share, Draw&& primitives) {
    auto draw = [&](int band, int bands) {
        PrimitiveSetup setup = d.primitive;
        SpanBatch batch(d.pixel);
        setup.raster.batch = &batch;
        setup.raster.band = band;
        setup.raster.bandCount = bands;
        primitives(setup);
        batch.Flush();
    };
    if (!pool_ || !share) {
        draw(0, 1);
        return;
    }
    pool_->Run([&](int t) { draw(t, pool_->size()); });
}

// Bands of rows that DrawBinned hands out: the rows top..bottom-1 of the viewport in bands of
// 2^kShift rows, numbered from the one holding `top`.
struct SoftwareDevice::Bands {
    static constexpr int kShift = RasterSetup::kBandShift;
    int top = 0, bottom = 0, first = 0, count = 0;
    explicit Bands(const RasterSetup& rs)
        : top(rs.top), bottom(rs.bottom), first(rs.top >> kShift),
          count(rs.bottom > rs.top ? ((rs.bottom - 1) >> kShift) - first + 1 : 0) {}
    int Of(int row) const { return (row >> kShift) - first; }
    // The rows of band b, within the viewport.
    void Rows(int b, int* rowTop, int* rowBottom) const {
        *rowTop = std::max(top, (first + b) << kShift);
        *rowBottom = std::min(bottom, (first + b + 1) << kShift);
    }
};

// The lowest and highest of the indices of a list of `triangles` triangles, the threads taking
// chunks of kBinnedChunk triangles in turn; the highest index of each chunk goes to
// binned_.tops, for DrawBinned. False when memory runs out.
bool SoftwareDevice::ChunkRanges(const std::uint8_t* bytes, bool wide, UINT triangles, UINT* lowest, UINT* highest) {
    const std::size_t chunks = (std::size_t{triangles} + kBinnedChunk - 1) / kBinnedChunk;
    try {
        binned_.lows.resize(chunks);
        binned_.tops.resize(chunks);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const auto parts = static_cast<std::size_t>(pool_->size());
    pool_->Run([&](int t) {
        for (std::size_t c = static_cast<std::size_t>(t); c < chunks; c += parts) {
            const std::size_t first = 3 * kBinnedChunk * c;
            const auto count = static_cast<UINT>(std::min<std::size_t>(3 * kBinnedChunk, 3 * std::size_t{triangles} - first));
            if (wide)
                IndexRange<std::uint32_t>(bytes + 4 * first, count, &binned_.lows[c], &binned_.tops[c]);
            else
                IndexRange<std::uint16_t>(bytes + 2 * first, count, &binned_.lows[c], &binned_.tops[c]);
        }
    });
    *lowest = *std::min_element(binned_.lows.begin(), binned_.lows.end());
    *highest = *std::max_element(binned_.tops.begin(), binned_.tops.end());
    return true;
}

// Makes room for a binned draw of `span` vertices; false when memory runs out. Each band's list
// can hold its thread's part of a chunk, so that the drawing threads never allocate.
bool SoftwareDevice::PrepareBinned(const DrawState& d, UINT span) {
    const auto parts = static_cast<std::size_t>(pool_->size());
    const auto bands = static_cast<std::size_t>(Bands(d.primitive.raster).count);
    try {
        if (binned_.corners.size() < span) binned_.corners.resize(span);
        binned_.bins.resize(std::max(binned_.bins.size(), parts * bands));
        for (std::vector<std::uint32_t>& bin : binned_.bins) bin.reserve(kBinnedChunk / parts + parts);
        binned_.order.resize(std::max(binned_.order.size(), parts * bands));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Sorts triangles from..to-1 into this thread's lists of the bands they reach, in order; culled
// and empty ones into none. Triangles that need clipping are clipped to find their rows.
template <typename IndexAt>
void SoftwareDevice::BinTriangles(const DrawState& d, const Bands& bands, UINT from, UINT to, UINT lowest,
                                  int thread, const IndexAt& indexAt) {
    std::vector<std::uint32_t>* const bins = &binned_.bins[static_cast<std::size_t>(thread) * bands.count];
    for (int b = 0; b < bands.count; ++b) bins[b].clear();
    const BinCorner* const corners = binned_.corners.data();
    for (UINT k = from; k < to; ++k) {
        const UINT ia = indexAt(3 * k) - lowest, ib = indexAt(3 * k + 1) - lowest, ic = indexAt(3 * k + 2) - lowest;
        const BinCorner &a = corners[ia], &b = corners[ib], &c = corners[ic];
        if (a.view & b.view & c.view) continue;
        int top = 0, bottom = 0;
        const bool drawn = (a.clip | b.clip | c.clip) != 0
                               ? TriangleRows(d.primitive, vertices_[ia], vertices_[ib], vertices_[ic], &top, &bottom)
                               : GridTriangleRows(d.primitive.raster, a.x, b.x, c.x, a.y, b.y, c.y, &top, &bottom);
        if (!drawn) continue;
        for (int band = bands.Of(top), last = bands.Of(bottom); band <= last; ++band) bins[band].push_back(k);
    }
}

// Takes the bands of the chunk just sorted one by one (`next` counts the bands taken, busiest
// first, so that the threads finish together) and draws each band's triangles in order with the
// band as the scissor.
template <typename IndexAt>
void SoftwareDevice::DrawBands(const Bands& bands, std::atomic<int>& next, UINT lowest, int thread,
                               PrimitiveSetup& setup, const IndexAt& indexAt) {
    const std::size_t parts = static_cast<std::size_t>(pool_->size()), count = static_cast<std::size_t>(bands.count);
    std::pair<std::uint32_t, int>* const order = &binned_.order[static_cast<std::size_t>(thread) * count];
    for (std::size_t b = 0; b < count; ++b) {
        std::size_t n = 0;
        for (std::size_t p = 0; p < parts; ++p) n += binned_.bins[p * count + b].size();
        order[b] = {static_cast<std::uint32_t>(n), static_cast<int>(b)};
    }
    std::sort(order, order + count, std::greater<>());
    const OutVertex* const v = vertices_.data();
    for (int i; (i = next.fetch_add(1, std::memory_order_relaxed)) < bands.count && order[i].first > 0;) {
        const int b = order[i].second;
        bands.Rows(b, &setup.raster.top, &setup.raster.bottom);
        for (std::size_t p = 0; p < parts; ++p) {
            for (const std::uint32_t k : binned_.bins[p * count + static_cast<std::size_t>(b)]) {
                const OutVertex& a = v[indexAt(3 * k) - lowest];
                DrawTriangle(setup, a, v[indexAt(3 * k + 1) - lowest], v[indexAt(3 * k + 2) - lowest], a);
            }
        }
    }
    setup.raster.batch->Flush();  // before another thread may take these bands in the next chunk
}

// Large filled indexed triangle lists on all threads at once, chunk by chunk: the threads take
// pieces of the chunk's new vertices in turn (one still drawing the last chunk takes fewer),
// then sort their part of its triangles into the bands of rows they reach, then take bands in
// turn and draw them. A thread that finishes early takes more; no band is drawn by two threads
// at once.
template <typename IndexAt>
void SoftwareDevice::DrawBinned(const DrawState& d, UINT primitiveCount, const std::uint8_t* data, UINT stride,
                                UINT lowest, const IndexAt& indexAt) {
    const auto parts = static_cast<UINT>(pool_->size());
    const Bands bands(d.primitive.raster);
    if (bands.count == 0) return;
    SpinBarrier barrier(pool_->size());
    std::atomic<int> nextBand{0};
    std::atomic<UINT> nextVertex{0};
    pool_->Run([&](int t) {
        const auto part = static_cast<UINT>(t);
        VertexSetup vs = d.vertex;
        if (t > 0) {
            vs.palette = palettes_[part - 1].get();
            vs.palette->Begin(world_, &view_);
        }
        PrimitiveSetup setup = d.primitive;
        SpanBatch batch(d.pixel);
        setup.raster.batch = &batch;
        UINT frontier = lowest;  // as in DrawIndexedPrimitiveUP; every thread keeps the same
        for (UINT begin = 0; begin < primitiveCount; begin += kBinnedChunk) {
            const UINT end = std::min(primitiveCount, begin + kBinnedChunk);
            const UINT top = binned_.tops[begin / kBinnedChunk];
            const UINT count = top >= frontier ? top + 1 - frontier : 0, base = frontier - lowest;
            for (UINT from; (from = nextVertex.fetch_add(kVertexPiece, std::memory_order_relaxed)) < count;) {
                const UINT n = std::min(kVertexPiece, count - from);
                OutVertex* const out = &vertices_[base + from];
                ProcessVertices(vs, data, stride, frontier + from, n, out);
                for (UINT i = 0; i < n; ++i) binned_.corners[base + from + i] = BinCorner::Of(out[i]);
            }
            frontier = std::max(frontier, top + 1);
            barrier.Wait();
            if (t == 0) {  // nobody takes bands or vertices until the next wait
                nextBand.store(0, std::memory_order_relaxed);
                nextVertex.store(0, std::memory_order_relaxed);
            }
            const UINT n = end - begin, from = begin + n / parts * part;
            BinTriangles(d, bands, from, part + 1 == parts ? end : from + n / parts, lowest, t, indexAt);
            barrier.Wait();
            DrawBands(bands, nextBand, lowest, t, setup, indexAt);
        }
    });
}

HRESULT SoftwareDevice::CheckDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                  UINT stride) const {
    if (!inScene_ || !vertexData || primitiveCount == 0 || primitiveCount > kMaxPrimitives) return D3DERR_INVALIDCALL;
    if (VertexCountOf(type, primitiveCount) == 0) return D3DERR_INVALIDCALL;
    if (stride < static_cast<UINT>(layout_.stride)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT SoftwareDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                        UINT stride) {
    if (const HRESULT hr = CheckDraw(type, primitiveCount, vertexData, stride); FAILED(hr)) return hr;
    DrawState d;
    PrepareDraw(&d);
    const auto* data = static_cast<const std::uint8_t*>(vertexData);
    // In chunks of primitives, so that the processed vertices stay few whatever the count.
    const bool fan = type == D3DPT_TRIANGLEFAN;
    const std::size_t needed = std::min<std::uint64_t>(VertexCountOf(type, primitiveCount), 3 * kChunkPrimitives) + 3;
    if (vertices_.size() < needed) vertices_.resize(needed);
    if (fan) Process(d, data, stride, 0, 1, vertices_.data());
    for (UINT begin = 0; begin < primitiveCount; begin += kChunkPrimitives) {
        const UINT end = std::min(primitiveCount, begin + kChunkPrimitives);
        // The vertices of primitives begin..end-1 are first .. first + count - 1.
        UINT first = 0, count = 0;
        switch (type) {
            case D3DPT_POINTLIST: first = begin, count = end - begin; break;
            case D3DPT_LINELIST: first = 2 * begin, count = 2 * (end - begin); break;
            case D3DPT_LINESTRIP: first = begin, count = end - begin + 1; break;
            case D3DPT_TRIANGLELIST: first = 3 * begin, count = 3 * (end - begin); break;
            case D3DPT_TRIANGLESTRIP: first = begin, count = end - begin + 2; break;
            case D3DPT_TRIANGLEFAN: first = begin + 1, count = end - begin + 1; break;
        }
        const UINT slot0 = fan ? 1 : 0;
        Process(d, data, stride, first, count, vertices_.data() + slot0);
        const bool share = WorthSharing(d.primitive.raster, end - begin, vertices_.data(), count + slot0);
        Rasterize(d, share, [&](const PrimitiveSetup& setup) {
            DrawPrimitives(setup, type, begin, end, vertices_.data(),
                           [first, slot0](UINT i) { return i == 0 && slot0 ? 0 : i - first + slot0; });
        });
    }
    return D3D_OK;
}

HRESULT SoftwareDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                               UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                               const void* vertexData, UINT stride) {
    if (const HRESULT hr = CheckDraw(type, primitiveCount, vertexData, stride); FAILED(hr)) return hr;
    if (!indexData || vertexCount == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (std::uint64_t{minIndex} + vertexCount > 0x100000000ull) return D3DERR_INVALIDCALL;
    const UINT indexCount = static_cast<UINT>(VertexCountOf(type, primitiveCount));
    const auto* bytes = static_cast<const std::uint8_t*>(indexData);
    const bool wide = indexFormat == D3DFMT_INDEX32;
    const auto indexAt = [bytes, wide](UINT i) -> UINT {
        if (wide) {
            std::uint32_t v;
            std::memcpy(&v, bytes + 4 * std::size_t{i}, 4);
            return v;
        }
        std::uint16_t v;
        std::memcpy(&v, bytes + 2 * std::size_t{i}, 2);
        return v;
    };
    // Every index must name one of the vertices handed over; otherwise nothing is drawn. Only
    // the vertices between the lowest and the highest index are processed.
    UINT lowest = 0, highest = 0;
    const bool chunked = pool_ && type == D3DPT_TRIANGLELIST && primitiveCount >= kBinnedPrimitives;
    if (chunked) {
        if (!ChunkRanges(bytes, wide, primitiveCount, &lowest, &highest)) return E_OUTOFMEMORY;
    } else if (wide) {
        IndexRange<std::uint32_t>(bytes, indexCount, &lowest, &highest);
    } else {
        IndexRange<std::uint16_t>(bytes, indexCount, &lowest, &highest);
    }
    if (lowest < minIndex || highest - minIndex >= vertexCount) return D3DERR_INVALIDCALL;
    const UINT span = highest - lowest + 1;
    if (span > kMaxVertexSpan) return D3DERR_INVALIDCALL;
    DrawState d;
    PrepareDraw(&d);
    const bool binned = chunked && d.primitive.fillMode != D3DFILL_POINT && d.primitive.fillMode != D3DFILL_WIREFRAME;
    try {
        if (vertices_.size() < span) vertices_.resize(span);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (binned && !PrepareBinned(d, span)) return E_OUTOFMEMORY;
    if (binned) {
        DrawBinned(d, primitiveCount, static_cast<const std::uint8_t*>(vertexData), stride, lowest, indexAt);
        return D3D_OK;
    }
    // In chunks of primitives, each processing the vertices up to the highest it uses that are
    // not done yet: the vertices are drawn while they are still in the cache. (Every vertex
    // below the frontier is done, so any index order works; a mesh whose indices grow along it
    // processes each vertex once, just before its first triangle.)
    const auto* data = static_cast<const std::uint8_t*>(vertexData);
    UINT frontier = lowest;  // vertices lowest .. frontier - 1 are processed
    for (UINT begin = 0; begin < primitiveCount; begin += kChunkPrimitives) {
        const UINT end = std::min(primitiveCount, begin + kChunkPrimitives);
        // The positions before this chunk's were looked at by the chunks before.
        UINT top = 0;
        for (UINT i = begin == 0 ? 0 : IndexPosition(type, begin), last = IndexPosition(type, end); i < last; ++i)
            top = std::max(top, indexAt(i));
        if (top >= frontier) {
            Process(d, data, stride, frontier, top + 1 - frontier, vertices_.data() + (frontier - lowest));
            frontier = top + 1;
        }
        Rasterize(d, WorthSharing(d.primitive.raster, primitiveCount, vertices_.data(), frontier - lowest),
                  [&](const PrimitiveSetup& setup) {
            DrawPrimitives(setup, type, begin, end, vertices_.data(),
                           [&indexAt, lowest](UINT i) { return indexAt(i) - lowest; });
        });
    }
    return D3D_OK;
}

}  // namespace ms
