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

class IDirect3DDevice8;

#include <memory>

// Owns one reference to a texture object.
struct TextureRelease {
    void operator()(IDirect3DTexture8* texture) const {
        if (texture) texture->Release();
    }
};
using TexturePtr = std::unique_ptr<IDirect3DTexture8, TextureRelease>;
