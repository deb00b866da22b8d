#pragma once
// The software Direct3D 8 device: the state of the fixed-function pipeline, the back buffer and
// depth-stencil buffer, and the calls of IDirect3DDevice8 over the pipeline stages.
//
// A draw goes: vertex stage (vertex_pipeline) -> primitive assembly, trivial rejection, clipping
// before the divide, culling, fill mode (primitives, clipper) -> rasterizer -> pixel stage
// (pixel_pipeline). Choices where Direct3D leaves room:
// - Depth is held with 24 bits whatever the depth format; only D24S8 has a stencil.
// - A stage with no texture whose first colour argument is its texture ends the stage cascade
//   (so untextured geometry shows its diffuse colour); elsewhere a missing texture reads
//   (0, 0, 0, 1).
// - Vertex blending reads the weights the vertex has, up to VERTEXBLEND; a vertex without betas
//   is drawn with the world matrix. Indexed blending needs LASTBETA_UBYTE4, else matrices
//   0..n are used. TWEENING and unknown VERTEXBLEND values draw unblended.
// - The infinite viewer (LOCALVIEWER off) looks along +z, so its direction from a vertex is -z.
// - Specular light is counted where the light reaches the front of the surface (N.L > 0).
// - Table fog is measured in eye distance (w). ZBIAS n moves depth 64 n units of 24 bits.
// - Kept as state without effect: the user clip planes (there is no SetClipPlane), LINEPATTERN,
//   dithering, antialiasing, multisampling, patches, bump mapping (as pass-through).
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/fvf.h"
#include "platform/d3d8/pixel_pipeline.h"
#include "platform/d3d8/present_target.h"
#include "platform/d3d8/primitives.h"
#include "platform/d3d8/states.h"
#include "platform/d3d8/texture.h"
#include "platform/d3d8/thread_pool.h"
#include "platform/d3d8/vertex_pipeline.h"

namespace ms {

struct DeviceConfig {
    DevicePresentTarget* target = nullptr;         // where Present shows the back buffer
    int width = 0, height = 0;                     // back buffer, 1..16384 each
    D3DFORMAT backBufferFormat = D3DFMT_X8R8G8B8;  // X8R8G8B8 or A8R8G8B8
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;        // UNKNOWN: none; D24S8, D24X8 or D16
    // Threads that draw: 0 takes MODELSMITH_DEVICE_THREADS from the environment, else the
    // processor count (at most kMaxThreads). Any count draws the same picture.
    int threads = 0;
    // False sends every pixel through the general shading loop; false wideLanes keeps the fast
    // loops at 4 pixels at a time where 8 would be available (tests compare them all).
    bool fastShading = true;
    bool wideLanes = true;
};

class SoftwareDevice final : public IDirect3DDevice8 {
public:
    static constexpr int kMaxSide = 16384;
    static constexpr int kMaxThreads = 8;
    // Refused: no target, a size out of range, unsupported formats.
    static HRESULT Create(const DeviceConfig& config, SoftwareDevice** device);

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
    // Any Direct3D 8 render state number is kept; numbers that are not D3D8 states are refused.
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    // Only textures made by this implementation can be bound.
    HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    // Enabling a light that was never set gives it the default light (white, directional, along +z).
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

    // The buffers, for tests and tools: back-buffer pixels 0xAARRGGBB and depth-stencil words
    // (24-bit depth << 8 | stencil), width() per row.
    int width() const { return config_.width; }
    int height() const { return config_.height; }
    const std::uint32_t* backBuffer() const { return color_.data(); }
    std::uint32_t Pixel(int x, int y) const { return color_[Offset(x, y)]; }
    std::uint32_t DepthStencil(int x, int y) const { return depthStencil_.empty() ? 0 : depthStencil_[Offset(x, y)]; }
    // The threads that draw (DeviceConfig::threads resolved).
    int threadCount() const { return pool_ ? pool_->size() : 1; }

    // The largest primitive count of one draw call, and the most vertices that the indices of
    // one indexed draw may span (highest index - lowest index + 1).
    static constexpr UINT kMaxPrimitives = 0xFFFFF;
    static constexpr UINT kMaxVertexSpan = 0x100000;

private:
    explicit SoftwareDevice(const DeviceConfig& config);
    ~SoftwareDevice() override;

    struct LightSlot {
        D3DLIGHT8 light;
        bool enabled;
    };
    struct DrawState;

    std::size_t Offset(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(config_.width) + static_cast<std::size_t>(x);
    }
    bool HasStencil() const { return config_.depthFormat == D3DFMT_D24S8; }
    D3DMATRIX* TransformSlot(D3DTRANSFORMSTATETYPE state);
    HRESULT CheckDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) const;
    void PrepareDraw(DrawState* draw);
    void PrepareStages(DrawState* draw);
    void AssignAttributes(DrawState* draw, bool readsSpecular);
    void PrepareVertexStage(DrawState* draw);
    void PreparePixelStage(DrawState* draw);
    void PrepareLights();
    void ClearRect(int x0, int y0, int x1, int y1, DWORD flags, std::uint32_t color, std::uint32_t depthStencil);
    void ClearRows(int x0, int y0, int x1, int y1, DWORD flags, std::uint32_t color, std::uint32_t depthStencil);
    void Process(const DrawState& draw, const std::uint8_t* data, UINT stride, UINT first, UINT count,
                 OutVertex* out);
    template <typename Draw>
    void Rasterize(const DrawState& draw, bool share, Draw&& primitives);
    struct Bands;
    bool ChunkRanges(const std::uint8_t* indices, bool wide, UINT triangles, UINT* lowest, UINT* highest);
    bool PrepareBinned(const DrawState& draw, UINT span);
    template <typename IndexAt>
    void BinTriangles(const DrawState& draw, const Bands& bands, UINT from, UINT to, UINT lowest, int thread,
                      const IndexAt& indexAt);
    template <typename IndexAt>
    void DrawBands(const Bands& bands, std::atomic<int>& next, UINT lowest, int thread, PrimitiveSetup& setup,
                   const IndexAt& indexAt);
    template <typename IndexAt>
    void DrawBinned(const DrawState& draw, UINT primitiveCount, const std::uint8_t* data, UINT stride, UINT lowest,
                    const IndexAt& indexAt);

    std::atomic<ULONG> refs_{1};
    DeviceConfig config_;
    std::vector<std::uint32_t> color_;
    std::vector<std::uint32_t> depthStencil_;
    bool inScene_ = false;

    DWORD renderStates_[kRenderStateCount] = {};
    DWORD stageStates_[kTextureStageCount][kStageStateCount] = {};
    D3DMATRIX view_, projection_;
    D3DMATRIX textureTransforms_[8];
    D3DMATRIX world_[256];
    D3DVIEWPORT8 viewport_{};
    D3DMATERIAL8 material_{};
    std::map<DWORD, LightSlot> lights_;
    Texture* textures_[kTextureStageCount] = {};
    FvfLayout layout_;

    // Scratch of the draw calls, kept between calls so that drawing does not allocate.
    std::vector<OutVertex> vertices_;
    std::vector<LightSetup> lightSetups_;
    MatrixPalette palette_;
    std::unique_ptr<ThreadPool> pool_;                  // null: one thread
    std::vector<std::unique_ptr<MatrixPalette>> palettes_;  // one for each further thread
    // DrawBinned's scratch.
    struct BinCorner {  // what sorting a triangle into bands reads of a vertex, packed
        std::int32_t x, y;   // gridX, gridY
        std::uint32_t view;  // as OutVertex
        std::uint32_t clip;  // as OutVertex, with kClipInvalid when off the grid
        static BinCorner Of(const OutVertex& v) {
            return {v.gridX, v.gridY, v.view, v.clip | (v.offGrid ? kClipInvalid : 0u)};
        }
    };
    struct Binned {
        std::vector<std::vector<std::uint32_t>> bins;  // triangles by sorting thread and band
        std::vector<BinCorner> corners;                // by vertex, as vertices_
        std::vector<std::pair<std::uint32_t, int>> order;  // by drawing thread: its bands, busiest first
        std::vector<UINT> lows, tops;                      // by chunk: its lowest and highest index
    };
    Binned binned_;
};

// Makes the Direct3D object of the software device.
IDirect3D8* CreateSoftwareDirect3D();

}  // namespace ms
