#include "platform/d3dx/d3dx8tex.h"

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* /*device*/, const char* /*file*/,
                                   IDirect3DTexture8** texture) {
    // No image loader yet: every load fails, as a missing file would.
    if (texture) *texture = nullptr;
    return D3DXERR_INVALIDDATA;
}
