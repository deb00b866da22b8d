#pragma once
// The plain Direct3D 8 value types, with their Windows layouts (every member 4 bytes, no
// padding), so that records holding them keep their on-disk sizes.
#include <cstdint>

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using D3DCOLOR = std::uint32_t;  // 0xAARRGGBB

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086Au);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017Cu);
constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);

inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

struct D3DCOLORVALUE {
    float r, g, b, a;
};

struct D3DVECTOR {
    float x, y, z;
};

// Row-major; a point is a row vector multiplied on the left, translation in the fourth row.
struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DMATERIAL8 {
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Ambient;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Emissive;
    float Power;
};

enum D3DLIGHTTYPE : std::int32_t {
    D3DLIGHT_POINT = 1,
    D3DLIGHT_SPOT = 2,
    D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT8 {
    D3DLIGHTTYPE Type;
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Ambient;
    D3DVECTOR Position;
    D3DVECTOR Direction;
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};

enum D3DPRIMITIVETYPE : std::int32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DTRANSFORMSTATETYPE : std::int32_t {
    D3DTS_VIEW = 2,
    D3DTS_PROJECTION = 3,
    D3DTS_TEXTURE0 = 16,
    D3DTS_TEXTURE1 = 17,
    D3DTS_TEXTURE2 = 18,
    D3DTS_TEXTURE3 = 19,
    D3DTS_TEXTURE4 = 20,
    D3DTS_TEXTURE5 = 21,
    D3DTS_TEXTURE6 = 22,
    D3DTS_TEXTURE7 = 23,
    D3DTS_WORLD = 256,
    D3DTS_WORLD1 = 257,
    D3DTS_WORLD2 = 258,
    D3DTS_WORLD3 = 259,
};
// World matrix n, 0 to 255; blend matrices of indexed vertex blending are addressed this way.
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLDMATRIX(int n) { return static_cast<D3DTRANSFORMSTATETYPE>(256 + n); }

// Render-state and texture-stage-state numbers are the Direct3D 8 ones; the enumerators are
// listed in d3d8states.h. Scene files carry these numbers, so any value is representable.
using D3DRENDERSTATETYPE = DWORD;
using D3DTEXTURESTAGESTATETYPE = DWORD;
using D3DFORMAT = DWORD;
using D3DPOOL = DWORD;
using D3DDEVTYPE = DWORD;

struct D3DRECT {
    std::int32_t x1, y1, x2, y2;
};

struct D3DVIEWPORT8 {
    DWORD X, Y, Width, Height;
    float MinZ, MaxZ;
};

struct RECT {
    std::int32_t left, top, right, bottom;
};

// The window a device presents into. Ours is not a Win32 window but the client area the device
// draws for: the editor's viewport widget or an off-screen target (platform/d3d8/present_target.h).
namespace ms {
class DevicePresentTarget;
}
using HWND = ms::DevicePresentTarget*;

struct D3DDISPLAYMODE {
    UINT Width;
    UINT Height;
    UINT RefreshRate;
    D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;   // 0: the client width of the device window
    UINT BackBufferHeight;  // 0: the client height of the device window
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    DWORD MultiSampleType;
    DWORD SwapEffect;
    HWND hDeviceWindow;  // null: the focus window given to CreateDevice
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT FullScreen_PresentationInterval;
};

struct D3DLOCKED_RECT {
    std::int32_t Pitch;  // bytes from one row to the next
    void* pBits;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    DWORD Type;  // D3DRTYPE_SURFACE
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;  // bytes
    DWORD MultiSampleType;
    UINT Width;
    UINT Height;
};

static_assert(sizeof(D3DCOLORVALUE) == 16);
static_assert(sizeof(D3DVECTOR) == 12);
static_assert(sizeof(D3DMATRIX) == 64);
static_assert(sizeof(D3DMATERIAL8) == 68);
static_assert(sizeof(D3DLIGHT8) == 104);
static_assert(sizeof(D3DVIEWPORT8) == 24);
static_assert(sizeof(void*) != 8 || sizeof(D3DPRESENT_PARAMETERS) == 56);
