#pragma once
// Texture objects from image files.
#include "platform/d3d8/d3d8.h"

// Creates a texture from the image file `file` (a path, relative to the working directory when
// not absolute) for `device`. On success *texture holds a new texture object with one reference;
// on failure the result is negative and *texture is null.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, const char* file,
                                   IDirect3DTexture8** texture);
