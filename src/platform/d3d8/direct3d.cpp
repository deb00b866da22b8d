// The Direct3D object: one adapter with a fixed desktop mode, and device creation for a
// DevicePresentTarget as the device window.
#include <algorithm>
#include <atomic>

#include "platform/d3d8/device.h"

namespace ms {
namespace {

class SoftwareDirect3D final : public IDirect3D8 {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
        *mode = {1920, 1080, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) override {
        if (!device) return D3DERR_INVALIDCALL;
        *device = nullptr;
        if (adapter != D3DADAPTER_DEFAULT || !params) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF && type != D3DDEVTYPE_SW) return D3DERR_INVALIDCALL;
        const DWORD processing =
            behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                             D3DCREATE_MIXED_VERTEXPROCESSING);
        if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
            processing != D3DCREATE_MIXED_VERTEXPROCESSING)
            return D3DERR_INVALIDCALL;
        HWND window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
        if (!window || !params->Windowed) return D3DERR_INVALIDCALL;
        if (params->SwapEffect < D3DSWAPEFFECT_DISCARD || params->SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
            return D3DERR_INVALIDCALL;
        if (params->BackBufferCount > 3 || params->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;

        DeviceConfig config;
        config.target = window;
        config.width = params->BackBufferWidth ? static_cast<int>(std::min<UINT>(params->BackBufferWidth, 1u << 30))
                                               : window->ClientWidth();
        config.height = params->BackBufferHeight ? static_cast<int>(std::min<UINT>(params->BackBufferHeight, 1u << 30))
                                                 : window->ClientHeight();
        config.backBufferFormat =
            params->BackBufferFormat == D3DFMT_UNKNOWN ? D3DFMT_X8R8G8B8 : params->BackBufferFormat;
        config.depthFormat = params->EnableAutoDepthStencil ? params->AutoDepthStencilFormat : D3DFMT_UNKNOWN;
        if (params->EnableAutoDepthStencil && config.depthFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;

        SoftwareDevice* created = nullptr;
        const HRESULT hr = SoftwareDevice::Create(config, &created);
        if (FAILED(hr)) return hr;
        // Like Direct3D, report the sizes and format that were chosen.
        params->BackBufferWidth = static_cast<UINT>(config.width);
        params->BackBufferHeight = static_cast<UINT>(config.height);
        params->BackBufferFormat = config.backBufferFormat;
        if (params->BackBufferCount == 0) params->BackBufferCount = 1;
        *device = created;
        return D3D_OK;
    }

private:
    ~SoftwareDirect3D() override = default;
    std::atomic<ULONG> refs_{1};
};

}  // namespace

IDirect3D8* CreateSoftwareDirect3D() { return new SoftwareDirect3D(); }

}  // namespace ms

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return ms::CreateSoftwareDirect3D();
}
