#pragma once
// The ellipsoid frame of device_bench, described once for both renderers: the mesh, texture,
// camera, lights and material; and the same frame drawn through OpenGL by Mesa's llvmpipe when
// the benchmark was built with EGL and the driver can be loaded.
#include <cstdint>
#include <memory>
#include <vector>

namespace bench {

constexpr int kTextureSide = 256;
constexpr std::uint32_t kBackground = 0x7D7DC8;  // rgb of the clear colour
constexpr float kDiffuse = 0.9f, kSpecular = 0.3f, kPower = 20.0f;

struct Light {
    float direction[3];
    float diffuse, specular, ambient;
};
constexpr Light kLights[2] = {{{-0.57735f, -0.57735f, 0.57735f}, 0.65f, 0.8f, 0.1f},
                              {{0.5f, 0.3f, 0.8f}, 0.35f, 0.5f, 0.1f}};

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// An ellipsoid of 4 n^2 triangles (n stacks of 2 n slices; n^2 = triangles / 4), clockwise
// towards the camera on the screen, texture coordinates running 4 and 2 times round.
struct Ellipsoid {
    explicit Ellipsoid(int triangles);
    std::vector<MeshVertex> vertices;
    std::vector<std::uint32_t> indices;
};

// A smooth 256 x 256 A8R8G8B8 pattern, rows top first.
std::vector<std::uint32_t> EllipsoidTexture();

// Row-vector (Direct3D) view and projection matrices of the frame.
void EllipsoidCamera(float view[4][4], float projection[4][4]);

// Asks Mesa for llvmpipe with one rasterizer thread; must run before Mesa is loaded.
void PrepareLlvmpipe();

class GlEllipsoid {
public:
    // Null when there is no llvmpipe to draw with.
    static std::unique_ptr<GlEllipsoid> Create(int width, int height, int triangles);
    virtual ~GlEllipsoid() = default;
    // Clear, draw, finish; with `empty` every face is culled.
    virtual void Frame(bool empty) = 0;
    // Pixels of the last frame that are not the background.
    virtual int Covered() = 0;
};

}  // namespace bench
