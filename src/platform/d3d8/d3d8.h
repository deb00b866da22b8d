#pragma once
// The Direct3D 8 interfaces that the program uses, implemented by our software device.
#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/d3d8types.h"

// A reference-counted texture object. Created by D3DXCreateTextureFromFileA or
// IDirect3DDevice8::CreateTexture; owners call Release() once when they drop it.
class IDirect3DTexture8 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    // Level access, implemented by the device's textures (the defaults refuse, so that stand-ins
    // in tests need only the reference counting).
    virtual DWORD GetLevelCount() { return 0; }
    virtual HRESULT GetLevelDesc(UINT /*level*/, D3DSURFACE_DESC* /*desc*/) { return D3DERR_INVALIDCALL; }
    // Gives the pixels of a level: rows top first, Pitch bytes apart, in the texture's format.
    // `rect` null locks the whole level; a level can be locked once at a time.
    virtual HRESULT LockRect(UINT /*level*/, D3DLOCKED_RECT* /*locked*/, const RECT* /*rect*/, DWORD /*flags*/) {
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT UnlockRect(UINT /*level*/) { return D3DERR_INVALIDCALL; }

protected:
    virtual ~IDirect3DTexture8() = default;
};

// The device: the fixed-function Direct3D 8 subset that the program draws with. Calls return
// D3D_OK or a negative error; like Direct3D, a refused call changes nothing. Draw calls are
// accepted between BeginScene and EndScene only.
class IDirect3DDevice8 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;
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
    // Any value is kept; a number that is not a Direct3D 8 render state is refused.
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    // Stages 0-7; a type that is not a Direct3D 8 texture stage state is refused.
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

    // Draws from user memory. The vertex data must hold the vertices the primitives use; a
    // stride below the vertex format's size, no primitives or an unknown type refuse the call.
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                    UINT stride) = 0;
    // Draws with 16-bit (D3DFMT_INDEX16) or 32-bit indices into vertexData, which points at
    // vertex 0; an index outside minIndex .. minIndex + vertexCount - 1 refuses the whole call
    // before any vertex is read.
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT primitiveCount,
                                           const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                           UINT stride) = 0;

    // A texture of `levels` mip levels (0: the full chain) in the given format and pool.
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture8** texture) = 0;

protected:
    virtual ~IDirect3DDevice8() = default;
};

// The Direct3D object: the adapter and device creation.
class IDirect3D8 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    // The display mode of the adapter (only D3DADAPTER_DEFAULT exists).
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    // Creates a device that draws for `focusWindow` (or params->hDeviceWindow when set). Device
    // types HAL, REF and SW are all served by the software device; exactly one of the
    // SOFTWARE/HARDWARE/MIXED vertex processing flags must be given. The presentation parameters
    // must be windowed; a zero back-buffer size takes the window's client size, which is written
    // back into *params as Direct3D does. *device gets one reference.
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) = 0;

protected:
    virtual ~IDirect3D8() = default;
};

// The Direct3D object for SDK version 220 (D3D_SDK_VERSION), with one reference; null for any
// other version.
IDirect3D8* Direct3DCreate8(UINT sdkVersion);

#include <memory>

// Owns one reference to a texture object.
struct TextureRelease {
    void operator()(IDirect3DTexture8* texture) const {
        if (texture) texture->Release();
    }
};
using TexturePtr = std::unique_ptr<IDirect3DTexture8, TextureRelease>;

// Owns one reference to a device or a Direct3D object.
struct DeviceRelease {
    void operator()(IDirect3DDevice8* device) const {
        if (device) device->Release();
    }
    void operator()(IDirect3D8* d3d) const {
        if (d3d) d3d->Release();
    }
};
using DevicePtr = std::unique_ptr<IDirect3DDevice8, DeviceRelease>;
using Direct3DPtr = std::unique_ptr<IDirect3D8, DeviceRelease>;
