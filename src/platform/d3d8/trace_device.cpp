#include "platform/d3d8/trace_device.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/d3d8/fvf.h"
#include "platform/d3d8/primitives.h"
#include "platform/d3d8/states.h"

namespace ms {
namespace {

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string ShortHex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string Number(std::uint64_t v) { return std::to_string(v); }

std::string Result(HRESULT hr) {
    switch (hr) {
        case D3DERR_INVALIDCALL: return "D3DERR_INVALIDCALL";
        case D3DERR_NOTAVAILABLE: return "D3DERR_NOTAVAILABLE";
        case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
        case E_FAIL: return "E_FAIL";
        default: return Hex(static_cast<DWORD>(hr));
    }
}

std::string Ptr(const void* p) { return p ? "non-null" : "null"; }

std::string TransformName(D3DTRANSFORMSTATETYPE state) {
    const int s = static_cast<int>(state);
    if (s == D3DTS_VIEW) return "VIEW";
    if (s == D3DTS_PROJECTION) return "PROJECTION";
    if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) return "TEXTURE" + Number(s - D3DTS_TEXTURE0);
    if (s == D3DTS_WORLD) return "WORLD";
    if (s > D3DTS_WORLD && s < D3DTS_WORLD + 256) return "WORLDMATRIX(" + Number(s - D3DTS_WORLD) + ")";
    return Number(static_cast<DWORD>(s));
}

std::string PrimitiveName(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return "POINTLIST";
        case D3DPT_LINELIST: return "LINELIST";
        case D3DPT_LINESTRIP: return "LINESTRIP";
        case D3DPT_TRIANGLELIST: return "TRIANGLELIST";
        case D3DPT_TRIANGLESTRIP: return "TRIANGLESTRIP";
        case D3DPT_TRIANGLEFAN: return "TRIANGLEFAN";
    }
    return Number(static_cast<DWORD>(type));
}

std::string FormatName(D3DFORMAT f) {
    switch (f) {
        case D3DFMT_UNKNOWN: return "UNKNOWN";
        case D3DFMT_A8R8G8B8: return "A8R8G8B8";
        case D3DFMT_X8R8G8B8: return "X8R8G8B8";
        case D3DFMT_R5G6B5: return "R5G6B5";
        case D3DFMT_INDEX16: return "INDEX16";
        case D3DFMT_INDEX32: return "INDEX32";
        default: return Number(f);
    }
}

std::string PoolName(D3DPOOL p) {
    constexpr const char* kNames[] = {"DEFAULT", "MANAGED", "SYSTEMMEM", "SCRATCH"};
    return p < 4 ? kNames[p] : Number(p);
}

std::string ClearFlags(DWORD flags) {
    std::string s;
    const std::pair<DWORD, const char*> kFlags[] = {
        {D3DCLEAR_TARGET, "TARGET"}, {D3DCLEAR_ZBUFFER, "ZBUFFER"}, {D3DCLEAR_STENCIL, "STENCIL"}};
    for (const auto& [bit, name] : kFlags)
        if (flags & bit) s += (s.empty() ? "" : "|") + std::string(name);
    const DWORD rest = flags & ~7u;
    if (rest || s.empty()) s += (s.empty() ? "" : "|") + ShortHex(rest);
    return s;
}

std::string StateValue(const StateInfo* info, DWORD value) {
    if (!info) return Number(value);
    switch (info->kind) {
        case StateValueKind::kFloat: return FormatFloat(StateFloat(value)) + "f";
        case StateValueKind::kHex: return Hex(value);
        default: return Number(value);
    }
}

std::string Vector(const D3DVECTOR& v) {
    return "(" + FormatFloat(v.x) + ", " + FormatFloat(v.y) + ", " + FormatFloat(v.z) + ")";
}

std::string LightText(const D3DLIGHT8& l) {
    const char* type = l.Type == D3DLIGHT_POINT         ? "POINT"
                       : l.Type == D3DLIGHT_SPOT        ? "SPOT"
                       : l.Type == D3DLIGHT_DIRECTIONAL ? "DIRECTIONAL"
                                                        : nullptr;
    return std::string(type ? type : Number(static_cast<DWORD>(l.Type)).c_str()) + ", diffuse " +
           FormatColor(l.Diffuse) + ", specular " + FormatColor(l.Specular) + ", ambient " + FormatColor(l.Ambient) +
           ", position " + Vector(l.Position) + ", direction " + Vector(l.Direction) + ", range " +
           FormatFloat(l.Range) + ", falloff " + FormatFloat(l.Falloff) + ", attenuation (" +
           FormatFloat(l.Attenuation0) + ", " + FormatFloat(l.Attenuation1) + ", " + FormatFloat(l.Attenuation2) +
           "), theta " + FormatFloat(l.Theta) + ", phi " + FormatFloat(l.Phi);
}

std::uint32_t Fnv1a(const std::uint8_t* p, std::size_t n, std::uint32_t h = 2166136261u) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// One vertex as its DWORDs in FVF order: floats, and colours and matrix indices in hex.
std::string VertexText(const FvfLayout& l, const std::uint8_t* v) {
    std::string s = "(";
    for (int offset = 0; offset < l.stride; offset += 4) {
        DWORD d;
        std::memcpy(&d, v + offset, 4);
        if (offset) s += ", ";
        const bool integer = offset == l.diffuseOffset || offset == l.specularOffset || offset == l.indicesOffset;
        s += integer ? Hex(d) : FormatFloat(StateFloat(d));
    }
    return s + ")";
}

}  // namespace

std::string FormatFloat(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string FormatMatrix(const D3DMATRIX& m) {
    std::string s = "[";
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) s += FormatFloat(m.m[r][c]) + (c < 3 ? " " : r < 3 ? "; " : "]");
    return s;
}

std::string FormatColor(const D3DCOLORVALUE& c) {
    return "(" + FormatFloat(c.r) + ", " + FormatFloat(c.g) + ", " + FormatFloat(c.b) + ", " + FormatFloat(c.a) + ")";
}

TraceDevice* TraceDevice::Create(IDirect3DDevice8* inner, Sink sink) {
    return inner ? new TraceDevice(inner, std::move(sink)) : nullptr;
}

TraceDevice::TraceDevice(IDirect3DDevice8* inner, Sink sink) : inner_(inner), sink_(std::move(sink)) {
    inner_->AddRef();
}

TraceDevice::~TraceDevice() { inner_->Release(); }

ULONG TraceDevice::AddRef() { return ++refs_; }

ULONG TraceDevice::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT TraceDevice::Record(std::string call, HRESULT result) {
    if (FAILED(result)) call += " -> " + Result(result);
    if (sink_)
        sink_(call);
    else
        lines_.push_back(std::move(call));
    return result;
}

std::string TraceDevice::TextureName(IDirect3DTexture8* texture) {
    if (!texture) return "null";
    auto [it, added] = textureIds_.try_emplace(texture, nextTextureId_);
    if (added) ++nextTextureId_;
    return "texture#" + Number(static_cast<std::uint64_t>(it->second));
}

std::string TraceDevice::Vertices(const void* data, UINT first, UINT count, UINT stride) {
    DWORD fvf = 0;
    FvfLayout layout;
    const auto* bytes = static_cast<const std::uint8_t*>(data) + std::size_t{first} * stride;
    if (count > kListedVertices || FAILED(inner_->GetVertexShader(&fvf)) || !DecodeFvf(fvf, &layout)) {
        std::uint32_t h = 2166136261u;
        for (UINT i = 0; i < count; ++i) h = Fnv1a(bytes + std::size_t{i} * stride, stride, h);
        return "<" + Number(count) + " vertices fnv1a " + Hex(h) + ">";
    }
    std::string s = "[";
    for (UINT i = 0; i < count; ++i) s += (i ? " " : "") + VertexText(layout, bytes + std::size_t{i} * stride);
    return s + "]";
}

HRESULT TraceDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    const HRESULT hr = inner_->Clear(count, rects, flags, color, z, stencil);
    std::string r = "null";
    if (rects) {
        r = "[";
        for (DWORD i = 0; i < count; ++i)
            r += (i ? " " : "") + std::string("(") + std::to_string(rects[i].x1) + ", " + std::to_string(rects[i].y1) +
                 ", " + std::to_string(rects[i].x2) + ", " + std::to_string(rects[i].y2) + ")";
        r += "]";
    }
    return Record("Clear(" + Number(count) + ", " + r + ", " + ClearFlags(flags) + ", " + Hex(color) + ", " +
                      FormatFloat(z) + ", " + Number(stencil) + ")",
                  hr);
}

HRESULT TraceDevice::BeginScene() { return Record("BeginScene()", inner_->BeginScene()); }
HRESULT TraceDevice::EndScene() { return Record("EndScene()", inner_->EndScene()); }

HRESULT TraceDevice::Present(const void* sourceRect, const void* destRect, void* windowOverride,
                             const void* dirtyRegion) {
    const HRESULT hr = inner_->Present(sourceRect, destRect, windowOverride, dirtyRegion);
    return Record("Present(" + Ptr(sourceRect) + ", " + Ptr(destRect) + ", " + Ptr(windowOverride) + ", " +
                      Ptr(dirtyRegion) + ")",
                  hr);
}

HRESULT TraceDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    const HRESULT hr = inner_->SetTransform(state, matrix);
    return Record("SetTransform(" + TransformName(state) + ", " + (matrix ? FormatMatrix(*matrix) : "null") + ")", hr);
}

HRESULT TraceDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    return Record("GetTransform(" + TransformName(state) + ")", inner_->GetTransform(state, matrix));
}

HRESULT TraceDevice::SetViewport(const D3DVIEWPORT8* v) {
    const HRESULT hr = inner_->SetViewport(v);
    if (!v) return Record("SetViewport(null)", hr);
    return Record("SetViewport(" + Number(v->X) + ", " + Number(v->Y) + ", " + Number(v->Width) + ", " +
                      Number(v->Height) + ", " + FormatFloat(v->MinZ) + ", " + FormatFloat(v->MaxZ) + ")",
                  hr);
}

HRESULT TraceDevice::GetViewport(D3DVIEWPORT8* v) { return Record("GetViewport()", inner_->GetViewport(v)); }

HRESULT TraceDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const StateInfo* info = FindRenderState(state);
    const HRESULT hr = inner_->SetRenderState(state, value);
    return Record(
        "SetRenderState(" + (info ? std::string(info->name) : Number(state)) + ", " + StateValue(info, value) + ")",
        hr);
}

HRESULT TraceDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    const StateInfo* info = FindRenderState(state);
    return Record("GetRenderState(" + (info ? std::string(info->name) : Number(state)) + ")",
                  inner_->GetRenderState(state, value));
}

HRESULT TraceDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    const StateInfo* info = FindStageState(type);
    const HRESULT hr = inner_->SetTextureStageState(stage, type, value);
    return Record("SetTextureStageState(" + Number(stage) + ", " + (info ? std::string(info->name) : Number(type)) +
                      ", " + StateValue(info, value) + ")",
                  hr);
}

HRESULT TraceDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    const StateInfo* info = FindStageState(type);
    return Record(
        "GetTextureStageState(" + Number(stage) + ", " + (info ? std::string(info->name) : Number(type)) + ")",
        inner_->GetTextureStageState(stage, type, value));
}

HRESULT TraceDevice::SetTexture(DWORD stage, IDirect3DTexture8* texture) {
    const HRESULT hr = inner_->SetTexture(stage, texture);
    return Record("SetTexture(" + Number(stage) + ", " + TextureName(texture) + ")", hr);
}

HRESULT TraceDevice::SetMaterial(const D3DMATERIAL8* m) {
    const HRESULT hr = inner_->SetMaterial(m);
    if (!m) return Record("SetMaterial(null)", hr);
    return Record("SetMaterial(diffuse " + FormatColor(m->Diffuse) + ", ambient " + FormatColor(m->Ambient) +
                      ", specular " + FormatColor(m->Specular) + ", emissive " + FormatColor(m->Emissive) + ", power " +
                      FormatFloat(m->Power) + ")",
                  hr);
}

HRESULT TraceDevice::GetMaterial(D3DMATERIAL8* m) { return Record("GetMaterial()", inner_->GetMaterial(m)); }

HRESULT TraceDevice::SetLight(DWORD index, const D3DLIGHT8* light) {
    const HRESULT hr = inner_->SetLight(index, light);
    return Record("SetLight(" + Number(index) + ", " + (light ? LightText(*light) : "null") + ")", hr);
}

HRESULT TraceDevice::GetLight(DWORD index, D3DLIGHT8* light) {
    return Record("GetLight(" + Number(index) + ")", inner_->GetLight(index, light));
}

HRESULT TraceDevice::LightEnable(DWORD index, BOOL enable) {
    return Record("LightEnable(" + Number(index) + ", " + std::to_string(enable) + ")",
                  inner_->LightEnable(index, enable));
}

HRESULT TraceDevice::GetLightEnable(DWORD index, BOOL* enable) {
    return Record("GetLightEnable(" + Number(index) + ")", inner_->GetLightEnable(index, enable));
}

HRESULT TraceDevice::SetVertexShader(DWORD fvf) {
    return Record("SetVertexShader(" + ShortHex(fvf) + ")", inner_->SetVertexShader(fvf));
}

HRESULT TraceDevice::GetVertexShader(DWORD* fvf) { return Record("GetVertexShader()", inner_->GetVertexShader(fvf)); }

HRESULT TraceDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) {
    const HRESULT hr = inner_->DrawPrimitiveUP(type, primitiveCount, vertexData, stride);
    std::string call = "DrawPrimitiveUP(" + PrimitiveName(type) + ", " + Number(primitiveCount) + ", ";
    if (SUCCEEDED(hr))
        call += Vertices(vertexData, 0, static_cast<UINT>(VertexCountOf(type, primitiveCount)), stride);
    else
        call += Ptr(vertexData);
    return Record(call + ", " + Number(stride) + ")", hr);
}

HRESULT TraceDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT primitiveCount,
                                            const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                            UINT stride) {
    const HRESULT hr = inner_->DrawIndexedPrimitiveUP(type, minIndex, vertexCount, primitiveCount, indexData,
                                                      indexFormat, vertexData, stride);
    std::string call = "DrawIndexedPrimitiveUP(" + PrimitiveName(type) + ", " + Number(minIndex) + ", " +
                       Number(vertexCount) + ", " + Number(primitiveCount) + ", ";
    std::string indices = Ptr(indexData), vertices = Ptr(vertexData);
    if (SUCCEEDED(hr)) {
        const UINT count = static_cast<UINT>(VertexCountOf(type, primitiveCount));
        const auto* bytes = static_cast<const std::uint8_t*>(indexData);
        const std::size_t size = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
        if (count > kListedIndices) {
            indices = "<" + Number(count) + " indices fnv1a " + Hex(Fnv1a(bytes, count * size)) + ">";
        } else {
            indices = "[";
            for (UINT i = 0; i < count; ++i) {
                std::uint32_t v = 0;
                std::memcpy(&v, bytes + i * size, size);
                indices += (i ? " " : "") + Number(v);
            }
            indices += "]";
        }
        vertices = Vertices(vertexData, minIndex, vertexCount, stride);
    }
    return Record(call + indices + ", " + FormatName(indexFormat) + ", " + vertices + ", " + Number(stride) + ")", hr);
}

HRESULT TraceDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   IDirect3DTexture8** texture) {
    const HRESULT hr = inner_->CreateTexture(width, height, levels, usage, format, pool, texture);
    std::string call = "CreateTexture(" + Number(width) + ", " + Number(height) + ", " + Number(levels) + ", " +
                       ShortHex(usage) + ", " + FormatName(format) + ", " + PoolName(pool) + ")";
    if (SUCCEEDED(hr) && texture && *texture) {
        textureIds_[*texture] = nextTextureId_++;  // a new object, even at a reused address
        call += " = " + TextureName(*texture);
    }
    return Record(call, hr);
}

}  // namespace ms
