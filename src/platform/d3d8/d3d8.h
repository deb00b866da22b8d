#pragma once
// The Direct3D 8 interfaces that the program uses, implemented by our software device.
#include "platform/d3d8/d3d8types.h"

// A reference-counted texture object. Created by D3DXCreateTextureFromFileA; owners call
// Release() once when they drop it.
class IDirect3DTexture8 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IDirect3DTexture8() = default;
};

// The device: the fixed-function Direct3D 8 subset that the program draws with. Calls return
// D3D_OK or a negative error; like Direct3D, a refused call changes nothing.
class IDirect3DDevice8 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    // Shows the back buffer in the device window. The rectangles, window override and dirty
    // region of Direct3D are accepted and must be null.
    virtual HRESULT Present(const void* sourceRect, const void* destRect, void* windowOverride,
                            const void* dirtyRegion) = 0;

    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    // Binds a texture to a stage (null: no texture); the device holds a reference while bound.
    virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL8* material) = 0;
    virtual HRESULT GetMaterial(D3DMATERIAL8* material) = 0;
    virtual HRESULT SetLight(DWORD index, const D3DLIGHT8* light) = 0;
    // Fails for a light that was never set.
    virtual HRESULT GetLight(DWORD index, D3DLIGHT8* light) = 0;
    virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
    virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
    // Fixed-function vertex processing: the "shader" is an FVF code.
    virtual HRESULT SetVertexShader(DWORD fvf) = 0;
    virtual HRESULT GetVertexShader(DWORD* fvf) = 0;

    // Draws from user memory. The vertex data must hold the vertices the primitives use.
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                    UINT stride) = 0;
    // Draws with 16-bit (D3DFMT_INDEX16) indices into vertexData; an index outside
    // minIndex .. minIndex + vertexCount - 1 refuses the whole call.
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                           UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                           const void* vertexData, UINT stride) = 0;

    // A texture of `levels` mip levels (0: the full chain) in the given format and pool.
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture8** texture) = 0;

protected:
    virtual ~IDirect3DDevice8() = default;
};

#include <memory>

// Owns one reference to a texture object.
struct TextureRelease {
    void operator()(IDirect3DTexture8* texture) const {
        if (texture) texture->Release();
    }
};
using TexturePtr = std::unique_ptr<IDirect3DTexture8, TextureRelease>;
