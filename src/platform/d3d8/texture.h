#pragma once
// The device's texture objects (32-bit A8R8G8B8 or X8R8G8B8 levels in system memory) and the
// sampling of a texture stage: addressing, point and linear filtering, mip-level selection.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/pipeline.h"

namespace ms {

struct TextureLevel {
    int width = 0, height = 0;
    std::uint32_t* pixels = nullptr;      // width * height, rows top first
    int widthMask = -1, heightMask = -1;  // size - 1 for power-of-two sizes, else -1
    bool locked = false;
};

class Texture final : public IDirect3DTexture8 {
public:
    // The largest side and texel count a texture may have.
    static constexpr UINT kMaxSide = 16384;
    static constexpr std::uint64_t kMaxTexels = 64u << 20;

    // A texture with `levels` levels (0: down to 1 x 1), all texels 0. Refuses (null, negative
    // result) sizes of 0 or above the limits, formats other than A8R8G8B8 and X8R8G8B8, unknown
    // pools and more levels than the chain has.
    static HRESULT Create(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          Texture** texture);

    ULONG AddRef() override;
    ULONG Release() override;
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    int levelCount() const { return static_cast<int>(levels_.size()); }
    const TextureLevel& level(int i) const { return levels_[static_cast<std::size_t>(i)]; }
    D3DFORMAT format() const { return format_; }

private:
    Texture() = default;
    ~Texture() override = default;

    std::atomic<ULONG> refs_{1};
    D3DFORMAT format_ = 0;
    DWORD usage_ = 0;
    D3DPOOL pool_ = 0;
    std::vector<TextureLevel> levels_;
    std::unique_ptr<std::uint32_t[]> storage_;
};

// Our texture behind an interface pointer, or null when it is some other implementation.
Texture* AsDeviceTexture(IDirect3DTexture8* texture);

// The sampler state of one stage, resolved for a draw.
struct Sampler {
    const Texture* texture = nullptr;
    DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
    D3DCOLOR border = 0;
    DWORD magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
    float lodBias = 0.0f;
    int baseLevel = 0;      // MAXMIPLEVEL, clamped to the chain
    bool needsLod = false;  // the level of detail picks the level or the filter
};

// Fills the sampler of a stage from its texture and stage states.
Sampler MakeSampler(const Texture* texture, const DWORD* stageStates);

// Colour of the sampler's texture at (u, v). `lod` is log2 of texels per pixel along the larger
// axis (level-0 texels); it is read only when sampler.needsLod.
Color4 Sample(const Sampler& sampler, float u, float v, float lod);

}  // namespace ms
