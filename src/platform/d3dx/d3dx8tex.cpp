#include "platform/d3dx/d3dx8tex.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/image/image.h"

namespace {

// The next level of a mip chain: each texel the rounded mean of the 2 x 2 texels above it (1 x 2
// or 2 x 1 where the level above is one texel wide or high).
ms::ImageLevel BoxFilter(const ms::ImageLevel& src) {
    ms::ImageLevel dst;
    dst.width = std::max(1, src.width / 2);
    dst.height = std::max(1, src.height / 2);
    dst.pixels.resize(static_cast<std::size_t>(dst.width) * static_cast<std::size_t>(dst.height));
    const int dx = src.width > 1 ? 1 : 0, dy = src.height > 1 ? 1 : 0;
    for (int y = 0; y < dst.height; ++y)
        for (int x = 0; x < dst.width; ++x) {
            const int sx = x * (dx + 1), sy = y * (dy + 1);
            const std::uint32_t p[4] = {src.At(sx, sy), src.At(sx + dx, sy), src.At(sx, sy + dy),
                                        src.At(sx + dx, sy + dy)};
            std::uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                std::uint32_t sum = 2;
                for (std::uint32_t v : p) sum += (v >> shift) & 0xFF;
                out |= (sum / 4) << shift;
            }
            dst.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(dst.width) + x] = out;
        }
    return dst;
}

bool FillLevel(IDirect3DTexture8* texture, UINT level, const ms::ImageLevel& image) {
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return false;
    auto* row = static_cast<std::uint8_t*>(locked.pBits);
    for (int y = 0; y < image.height; ++y, row += locked.Pitch)
        std::memcpy(row, image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width),
                    static_cast<std::size_t>(image.width) * 4);
    return SUCCEEDED(texture->UnlockRect(level));
}

HRESULT CreateTexture(IDirect3DDevice8* device, const char* file, IDirect3DTexture8** texture) {
    ms::Image image;
    if (!ms::DecodeImageFile(file, image)) return D3DXERR_INVALIDDATA;

    // A managed A8R8G8B8 texture with the whole mip chain; the levels a DDS file carries are
    // used as they are, the others are box-filtered from the level above.
    IDirect3DTexture8* created = nullptr;
    HRESULT hr = device->CreateTexture(static_cast<UINT>(image.width), static_cast<UINT>(image.height), 0, 0,
                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &created);
    if (FAILED(hr)) return hr;
    TexturePtr owned(created);
    const DWORD levels = created->GetLevelCount();
    if (!FillLevel(created, 0, image)) return E_FAIL;
    std::vector<ms::ImageLevel> filtered;
    filtered.reserve(levels);  // no reallocation: `previous` points into it
    const ms::ImageLevel* previous = &image;
    for (DWORD level = 1; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        if (FAILED(created->GetLevelDesc(level, &desc))) return E_FAIL;
        if (level < image.LevelCount() && image.Level(level).width == static_cast<std::int32_t>(desc.Width) &&
            image.Level(level).height == static_cast<std::int32_t>(desc.Height)) {
            previous = &image.Level(level);
        } else {
            filtered.push_back(BoxFilter(*previous));
            previous = &filtered.back();
        }
        if (!FillLevel(created, level, *previous)) return E_FAIL;
    }
    *texture = owned.release();
    return D3D_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, const char* file, IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!device || !file) return D3DERR_INVALIDCALL;
    try {
        return CreateTexture(device, file, texture);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
