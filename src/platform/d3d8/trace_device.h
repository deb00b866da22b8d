#pragma once
// A device that forwards every call to another and records it, with its arguments, as one text
// line in call order: "SetRenderState(ZWRITEENABLE, 0)", "SetTransform(VIEW, [1 0 0 0; ...])".
// A failed call gets " -> " and its result appended. Draw calls list their vertices (and
// indices) when there are few, else their count and an FNV-1a hash of their bytes; the data is
// read only when the device accepted the call. Textures are named by the order in which the
// trace first saw them: texture#1, texture#2 ... AddRef and Release are not recorded.
#include <atomic>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace ms {

class TraceDevice final : public IDirect3DDevice8 {
public:
    using Sink = std::function<void(const std::string& line)>;
    // The vertices and indices a draw lists in full; more are summarised.
    static constexpr UINT kListedVertices = 8;
    static constexpr UINT kListedIndices = 48;

    // Traces `inner` (which it holds a reference to) into `sink`, or into lines() when the sink
    // is empty. The new device has one reference.
    static TraceDevice* Create(IDirect3DDevice8* inner, Sink sink = {});

    // The lines recorded so far when there is no sink; TakeLines empties them.
    const std::vector<std::string>& lines() const { return lines_; }
    std::vector<std::string> TakeLines() { return std::exchange(lines_, {}); }
    IDirect3DDevice8* inner() const { return inner_; }

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const void* sourceRect, const void* destRect, void* windowOverride,
                    const void* dirtyRegion) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetVertexShader(DWORD fvf) override;
    HRESULT GetVertexShader(DWORD* fvf) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT primitiveCount,
                                   const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                   UINT stride) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture) override;

private:
    TraceDevice(IDirect3DDevice8* inner, Sink sink);
    ~TraceDevice() override;

    HRESULT Record(std::string call, HRESULT result);
    std::string TextureName(IDirect3DTexture8* texture);
    std::string Vertices(const void* data, UINT first, UINT count, UINT stride);

    std::atomic<ULONG> refs_{1};
    IDirect3DDevice8* inner_;
    Sink sink_;
    std::vector<std::string> lines_;
    std::unordered_map<IDirect3DTexture8*, int> textureIds_;
    int nextTextureId_ = 1;
};

// Formatting shared with other tools: a float in its shortest exact form ("0.3", "1e+30"),
// a matrix "[a b c d; ...]", a colour "(r, g, b, a)".
std::string FormatFloat(float value);
std::string FormatMatrix(const D3DMATRIX& m);
std::string FormatColor(const D3DCOLORVALUE& c);

}  // namespace ms
