// One frame of the software device: a lit, textured mesh of 100,000 triangles filling most of an
// 891 x 653 viewport, against the same frame with nothing drawn (clear and present) and with the
// mesh culled (vertex stage and triangle set-up only).
//
// Then the ellipsoid frame (two directional lights with specular, a bilinear wrapped texture
// modulated with the lit colour, depth test, back faces culled, about 71% of the pixels covered)
// at 10k, 100k and 1M triangles on one and two threads, beside the same frame drawn by Mesa's
// llvmpipe with one thread when it can be reached through EGL, each on its own and then the three
// frame by frame in turn (the fairer comparison on a busy machine). The shading rate is the covered
// pixels over the frame time less the time of the same frame without pixels (vertices and
// triangle set-up only: a viewport of one pixel for the device, every face culled for OpenGL).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <memory>
#include <vector>

#include "device_bench_gl.h"
#include "platform/d3d8/device.h"
#include "platform/d3dx/d3dx8math.h"

namespace {

constexpr int kWidth = 891, kHeight = 653;
constexpr int kColumns = 250, kRows = 200;  // quads: 2 * 250 * 200 = 100,000 triangles
constexpr UINT kTriangles = 2 * kColumns * kRows;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

// A wavy sheet facing the camera, with analytic normals.
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<std::uint16_t> indices;
    Mesh() {
        for (int j = 0; j <= kRows; ++j)
            for (int i = 0; i <= kColumns; ++i) {
                const float s = static_cast<float>(i) / kColumns, t = static_cast<float>(j) / kRows;
                const float x = -1.55f + 3.1f * s, y = 1.15f - 2.3f * t;
                const float z = 0.08f * std::sin(9.0f * x) * std::cos(7.0f * y);
                const float dzdx = 0.72f * std::cos(9.0f * x) * std::cos(7.0f * y);
                const float dzdy = -0.56f * std::sin(9.0f * x) * std::sin(7.0f * y);
                const float len = std::sqrt(dzdx * dzdx + dzdy * dzdy + 1.0f);
                vertices.push_back({x, y, z, dzdx / len, dzdy / len, -1.0f / len, 4.0f * s, 3.0f * t});
            }
        for (int j = 0; j < kRows; ++j)
            for (int i = 0; i < kColumns; ++i) {
                const auto a = static_cast<std::uint16_t>(j * (kColumns + 1) + i);
                const auto b = static_cast<std::uint16_t>(a + 1), c = static_cast<std::uint16_t>(a + kColumns + 1);
                const auto d = static_cast<std::uint16_t>(c + 1);
                indices.insert(indices.end(), {a, b, c, b, d, c});  // clockwise on the screen
            }
    }
};

struct Scene {
    ms::OffscreenTarget target{kWidth, kHeight};
    DevicePtr device;
    TexturePtr texture;
    Mesh mesh;

    Scene() {
        Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = 1;
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        IDirect3DDevice8* d = nullptr;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &target, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &d);
        device.reset(d);

        IDirect3DTexture8* t = nullptr;
        device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t);
        texture.reset(t);
        D3DLOCKED_RECT r;
        texture->LockRect(0, &r, nullptr, 0);
        auto* texels = static_cast<std::uint32_t*>(r.pBits);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) texels[y * 256 + x] = ((x / 32 + y / 32) % 2) ? 0xFFE0C080u : 0xFF4060A0u;
        texture->UnlockRect(0);

        D3DXMATRIX view, projection;
        const D3DXVECTOR3 eye(0, 0, -3), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, static_cast<float>(kWidth) / kHeight, 0.1f, 100.0f);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
        for (DWORD i = 0; i < 2; ++i) {
            D3DLIGHT8 light{};
            light.Type = D3DLIGHT_DIRECTIONAL;
            light.Diffuse = {0.65f, 0.65f, 0.65f, 0};
            light.Ambient = {0.25f, 0.25f, 0.25f, 0};
            light.Direction = i == 0 ? D3DVECTOR{-0.57735f, -0.57735f, 0.57735f} : D3DVECTOR{0, 0.70711f, 0.70711f};
            light.Range = 100;
            device->SetLight(i, &light);
            device->LightEnable(i, 1);
        }
        D3DMATERIAL8 material{};
        material.Diffuse = material.Ambient = {0.9f, 0.9f, 0.9f, 1.0f};
        device->SetMaterial(&material);
        device->SetTexture(0, texture.get());
    }

    void Frame(bool draw) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF7D7DC8, 1.0f, 0);
        device->BeginScene();
        if (draw) {
            device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(mesh.vertices.size()), kTriangles,
                                           mesh.indices.data(), D3DFMT_INDEX16, mesh.vertices.data(), sizeof(Vertex));
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }

    double CoveredPixels() const {
        int n = 0;
        for (std::uint32_t p : target.pixels()) n += p != 0xFF7D7DC8u;
        return n;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_ClearAndPresent(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) s.Frame(false);
}
BENCHMARK(BM_ClearAndPresent)->Unit(benchmark::kMillisecond);

void BM_MeshCulled(benchmark::State& state) {
    Scene& s = TheScene();
    s.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);  // every triangle of the sheet faces the camera
    for (auto _ : state) s.Frame(true);
    s.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    state.counters["triangles/s"] = benchmark::Counter(kTriangles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MeshCulled)->Unit(benchmark::kMillisecond);

void BM_LitTexturedMesh(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) s.Frame(true);
    state.counters["triangles/s"] = benchmark::Counter(kTriangles, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels/s"] = benchmark::Counter(s.CoveredPixels(), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["coverage"] = s.CoveredPixels() / (kWidth * kHeight);
}
BENCHMARK(BM_LitTexturedMesh)->Unit(benchmark::kMillisecond);

// ---- The ellipsoid frame ----

// The machine may be shared: besides the wall time of a frame, the processor time of the whole
// process (all its threads, llvmpipe's included) tells the work done.
double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The frame times of a run, in milliseconds.
struct FrameTimes {
    std::vector<double> wall, cpu;
    template <typename F>
    void Time(F&& frame) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessCpuMs();
        frame();
        cpu.push_back(ProcessCpuMs() - c0);
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
};

struct Result {
    double wall = 0.0, cpu = 0.0;
};

// Results by (triangles, "1 thread" / "2 threads" / "llvmpipe").
std::map<int, std::map<std::string, Result>>& Results() {
    static std::map<int, std::map<std::string, Result>> r;
    return r;
}

class EllipsoidDevice {
public:
    EllipsoidDevice(int triangles, int threads) : target_(kWidth, kHeight), mesh_(triangles) {
        ms::DeviceConfig config;
        config.target = &target_;
        config.width = kWidth;
        config.height = kHeight;
        config.backBufferFormat = D3DFMT_X8R8G8B8;
        config.depthFormat = D3DFMT_D24S8;
        config.threads = threads;
        ms::SoftwareDevice* d = nullptr;
        ms::SoftwareDevice::Create(config, &d);
        device_.reset(d);
        IDirect3DTexture8* t = nullptr;
        device_->CreateTexture(bench::kTextureSide, bench::kTextureSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t);
        texture_.reset(t);
        D3DLOCKED_RECT r;
        texture_->LockRect(0, &r, nullptr, 0);
        const std::vector<std::uint32_t> texels = bench::EllipsoidTexture();
        std::memcpy(r.pBits, texels.data(), texels.size() * 4);
        texture_->UnlockRect(0);

        D3DMATRIX view, projection;
        bench::EllipsoidCamera(view.m, projection.m);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        for (DWORD i = 0; i < 2; ++i) {
            D3DLIGHT8 light{};
            light.Type = D3DLIGHT_DIRECTIONAL;
            const bench::Light& l = bench::kLights[i];
            light.Diffuse = {l.diffuse, l.diffuse, l.diffuse, 1};
            light.Specular = {l.specular, l.specular, l.specular, 1};
            light.Ambient = {l.ambient, l.ambient, l.ambient, 1};
            light.Direction = {l.direction[0], l.direction[1], l.direction[2]};
            device_->SetLight(i, &light);
            device_->LightEnable(i, 1);
        }
        D3DMATERIAL8 material{};
        material.Diffuse = material.Ambient = {bench::kDiffuse, bench::kDiffuse, bench::kDiffuse, 1.0f};
        material.Specular = {bench::kSpecular, bench::kSpecular, bench::kSpecular, 1.0f};
        material.Power = bench::kPower;
        device_->SetMaterial(&material);
        device_->SetRenderState(D3DRS_SPECULARENABLE, 1);
        device_->SetTexture(0, texture_.get());
        device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    }

    // Clear, draw, present; with `empty` into a viewport of one pixel.
    void Frame(bool empty) {
        const DWORD width = empty ? 1 : kWidth, height = empty ? 1 : kHeight;
        const D3DVIEWPORT8 viewport{0, 0, width, height, 0.0f, 1.0f};
        device_->SetViewport(&viewport);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, bench::kBackground, 1.0f, 0);
        device_->BeginScene();
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
        device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(mesh_.vertices.size()),
                                        static_cast<UINT>(mesh_.indices.size() / 3), mesh_.indices.data(),
                                        D3DFMT_INDEX32, mesh_.vertices.data(), sizeof(bench::MeshVertex));
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }

    int Covered() const {
        int n = 0;
        for (std::uint32_t p : target_.pixels()) n += p != (bench::kBackground | 0xFF000000u);
        return n;
    }

private:
    ms::OffscreenTarget target_;
    DevicePtr device_;
    TexturePtr texture_;
    bench::Ellipsoid mesh_;
};

template <typename F>
FrameTimes TimeFrames(int n, F&& frame) {
    FrameTimes times;
    for (int i = 0; i < n; ++i) times.Time(frame);
    return times;
}

// Frame times (median wall and processor milliseconds), coverage and shading rate of a renderer.
template <typename Scene>
void RunEllipsoid(benchmark::State& state, Scene& scene, const char* name, int triangles) {
    scene.Frame(true);
    scene.Frame(false);  // the first frames of each state compile llvmpipe's shaders
    const FrameTimes empty = TimeFrames(7, [&] { scene.Frame(true); });
    scene.Frame(false);
    FrameTimes times;
    for (auto _ : state) times.Time([&] { scene.Frame(false); });
    const Result r{Median(times.wall), Median(times.cpu)};
    const double covered = scene.Covered(), emptyWall = Median(empty.wall);
    state.counters["frame_ms"] = r.wall;
    state.counters["frame_cpu_ms"] = r.cpu;
    state.counters["empty_ms"] = emptyWall;
    state.counters["coverage"] = covered / (kWidth * kHeight);
    state.counters["shading_Mpix/s"] = r.wall > emptyWall ? covered / (r.wall - emptyWall) / 1000.0 : 0.0;
    Results()[triangles][name] = r;
}

void BM_Ellipsoid(benchmark::State& state) {
    const int triangles = static_cast<int>(state.range(0)), threads = static_cast<int>(state.range(1));
    EllipsoidDevice scene(triangles, threads);
    RunEllipsoid(state, scene, threads == 1 ? "1 thread" : "2 threads", triangles);
}
BENCHMARK(BM_Ellipsoid)
    ->ArgsProduct({{10000, 100000, 1000000}, {1, 2}})
    ->ArgNames({"triangles", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_EllipsoidLlvmpipe(benchmark::State& state) {
    const int triangles = static_cast<int>(state.range(0));
    std::unique_ptr<bench::GlEllipsoid> gl = bench::GlEllipsoid::Create(kWidth, kHeight, triangles);
    if (!gl) {
        state.SkipWithError("llvmpipe is not available through EGL: comparison skipped");
        return;
    }
    RunEllipsoid(state, *gl, "llvmpipe", triangles);
}
BENCHMARK(BM_EllipsoidLlvmpipe)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgNames({"triangles"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The three renderers of one triangle count frame by frame in turn, so that whatever else the
// machine does slows them alike: median wall ms of each, and the ratios to llvmpipe.
void BM_EllipsoidInTurn(benchmark::State& state) {
    const int triangles = static_cast<int>(state.range(0));
    std::unique_ptr<bench::GlEllipsoid> gl = bench::GlEllipsoid::Create(kWidth, kHeight, triangles);
    if (!gl) {
        state.SkipWithError("llvmpipe is not available through EGL: comparison skipped");
        return;
    }
    EllipsoidDevice one(triangles, 1), two(triangles, 2);
    for (int i = 0; i < 2; ++i) {  // llvmpipe compiles its shaders on the first frames
        one.Frame(false);
        two.Frame(false);
        gl->Frame(false);
    }
    FrameTimes t1, t2, tl;
    for (auto _ : state) {
        t1.Time([&] { one.Frame(false); });
        t2.Time([&] { two.Frame(false); });
        tl.Time([&] { gl->Frame(false); });
    }
    const double ms1 = Median(t1.wall), ms2 = Median(t2.wall), msl = Median(tl.wall);
    state.counters["1_thread_ms"] = ms1;
    state.counters["2_threads_ms"] = ms2;
    state.counters["llvmpipe_ms"] = msl;
    state.counters["ratio_1_thread"] = ms1 / msl;
    state.counters["ratio_2_threads"] = ms2 / msl;
}
BENCHMARK(BM_EllipsoidInTurn)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgNames({"triangles"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

void PrintRatios() {
    std::printf("\nEllipsoid frame, median wall ms (processor ms of the process)\n");
    std::printf("ratio = device / llvmpipe with 1 thread\n");
    for (auto& [triangles, r] : Results()) {
        const Result one = r["1 thread"], two = r["2 threads"], lp = r["llvmpipe"];
        std::printf("%8d triangles: device 1 thread %.2f (%.2f), 2 threads %.2f (%.2f)", triangles, one.wall, one.cpu,
                    two.wall, two.cpu);
        if (lp.wall > 0.0) {
            std::printf("; llvmpipe %.2f (%.2f); wall ratios %.2f, %.2f; processor ratio 1 thread %.2f\n", lp.wall,
                        lp.cpu, one.wall / lp.wall, two.wall / lp.wall, one.cpu / lp.cpu);
        } else {
            std::printf("; llvmpipe comparison skipped\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    bench::PrepareLlvmpipe();  // before anything loads Mesa: one rasterizer thread
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
