#include "device_bench_gl.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef MS_BENCH_EGL
#define EGL_EGLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#endif

namespace bench {

Ellipsoid::Ellipsoid(int triangles) {
    const int n = static_cast<int>(std::lround(std::sqrt(triangles / 4.0))), stacks = n, slices = 2 * n;
    constexpr float kPi = 3.14159265f, rx = 2.05f, ry = 1.505f, rz = 1.23f;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const float theta = kPi * static_cast<float>(j) / stacks, phi = 2.0f * kPi * static_cast<float>(i) / slices;
            const float x = rx * std::sin(theta) * std::cos(phi), y = ry * std::cos(theta),
                        z = rz * std::sin(theta) * std::sin(phi);
            float nx = x / (rx * rx), ny = y / (ry * ry), nz = z / (rz * rz);
            const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= len, ny /= len, nz /= len;
            vertices.push_back({x, y, z, nx, ny, nz, 4.0f * static_cast<float>(i) / slices,
                                2.0f * static_cast<float>(j) / stacks});
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const auto a = static_cast<std::uint32_t>(j * (slices + 1) + i), b = a + 1,
                       c = a + static_cast<std::uint32_t>(slices + 1), d = c + 1;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
}

std::vector<std::uint32_t> EllipsoidTexture() {
    std::vector<std::uint32_t> t(kTextureSide * kTextureSide);
    for (int y = 0; y < kTextureSide; ++y)
        for (int x = 0; x < kTextureSide; ++x) {
            const float s = 6.2831853f * static_cast<float>(x) / kTextureSide,
                        r = 6.2831853f * static_cast<float>(y) / kTextureSide;
            auto byte = [](float v) { return static_cast<std::uint32_t>(127.5f + 127.5f * v) & 0xFF; };
            const std::uint32_t red = byte(std::sin(3 * s) * std::cos(2 * r)), green = byte(std::cos(5 * s + r)),
                                blue = byte(std::sin(7 * r - 2 * s));
            t[static_cast<std::size_t>(y) * kTextureSide + x] = 0xFF000000u | red << 16 | green << 8 | blue;
        }
    return t;
}

void EllipsoidCamera(float view[4][4], float projection[4][4]) {
    std::memset(view, 0, 16 * sizeof(float));
    std::memset(projection, 0, 16 * sizeof(float));
    // Eye at (0, 0, -4) looking along +z, y up (left-handed).
    view[0][0] = view[1][1] = view[2][2] = view[3][3] = 1.0f;
    view[3][2] = 4.0f;
    const float zn = 0.5f, zf = 20.0f, aspect = 891.0f / 653.0f;
    const float yScale = 1.0f / std::tan(0.3926991f);  // 45 degrees
    projection[0][0] = yScale / aspect;
    projection[1][1] = yScale;
    projection[2][2] = zf / (zf - zn);
    projection[2][3] = 1.0f;
    projection[3][2] = -zn * zf / (zf - zn);
}

#ifndef MS_BENCH_EGL

void PrepareLlvmpipe() {}
std::unique_ptr<GlEllipsoid> GlEllipsoid::Create(int, int, int) { return nullptr; }

#else

void PrepareLlvmpipe() {
    setenv("LP_NUM_THREADS", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
}

namespace {

class EglEllipsoid final : public GlEllipsoid {
public:
    ~EglEllipsoid() override {
        if (display_ != EGL_NO_DISPLAY) {
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
            if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
            eglTerminate(display_);
        }
    }

    bool Open(int width, int height) {
        width_ = width;
        height_ = height;
        auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getDisplay) return false;
        display_ = getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
            display_ = EGL_NO_DISPLAY;
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) return false;
        const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24,
                                     EGL_NONE};
        EGLConfig config;
        EGLint count = 0;
        if (!eglChooseConfig(display_, attributes, &config, 1, &count) || count < 1) return false;
        const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        surface_ = eglCreatePbufferSurface(display_, config, size);
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
        if (surface_ == EGL_NO_SURFACE || context_ == EGL_NO_CONTEXT) return false;
        if (!eglMakeCurrent(display_, surface_, surface_, context_)) return false;
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        return renderer && std::strstr(renderer, "llvmpipe");
    }

    void Load(int triangles) {
        const Ellipsoid mesh(triangles);
        indexCount_ = static_cast<GLsizei>(mesh.indices.size());
        auto genBuffers = reinterpret_cast<PFNGLGENBUFFERSPROC>(eglGetProcAddress("glGenBuffers"));
        auto bindBuffer = reinterpret_cast<PFNGLBINDBUFFERPROC>(eglGetProcAddress("glBindBuffer"));
        auto bufferData = reinterpret_cast<PFNGLBUFFERDATAPROC>(eglGetProcAddress("glBufferData"));
        GLuint buffers[2];
        genBuffers(2, buffers);
        bindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        bufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.vertices.size() * sizeof(MeshVertex)),
                   mesh.vertices.data(), GL_STATIC_DRAW);
        bindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
        bufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.indices.size() * 4), mesh.indices.data(),
                   GL_STATIC_DRAW);
        constexpr GLsizei stride = sizeof(MeshVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<const void*>(0));
        glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(12));
        glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(24));

        GLuint texture;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        const std::vector<std::uint32_t> texels = EllipsoidTexture();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSide, kTextureSide, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_TEXTURE_2D);

        // Direct3D's row-vector matrices read as OpenGL's column-major ones are the same maps.
        float view[4][4], projection[4][4];
        EllipsoidCamera(view, projection);
        glViewport(0, 0, width_, height_);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(&projection[0][0]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&view[0][0]);
        glEnable(GL_LIGHTING);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);  // specular after the texture
        const float black[4] = {0, 0, 0, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
        for (int i = 0; i < 2; ++i) {
            const Light& l = kLights[i];
            const GLenum id = GL_LIGHT0 + static_cast<GLenum>(i);
            const float position[4] = {-l.direction[0], -l.direction[1], -l.direction[2], 0.0f};
            const float d[4] = {l.diffuse, l.diffuse, l.diffuse, 1}, s[4] = {l.specular, l.specular, l.specular, 1},
                        a[4] = {l.ambient, l.ambient, l.ambient, 1};
            glLightfv(id, GL_POSITION, position);
            glLightfv(id, GL_DIFFUSE, d);
            glLightfv(id, GL_SPECULAR, s);
            glLightfv(id, GL_AMBIENT, a);
            glEnable(id);
        }
        const float diffuse[4] = {kDiffuse, kDiffuse, kDiffuse, 1}, specular[4] = {kSpecular, kSpecular, kSpecular, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, kPower);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        // Clockwise on Direct3D's y-down screen is counter-clockwise on OpenGL's y-up window.
        glFrontFace(GL_CCW);
        glClearColor(((kBackground >> 16) & 0xFF) / 255.0f, ((kBackground >> 8) & 0xFF) / 255.0f,
                     (kBackground & 0xFF) / 255.0f, 1.0f);
        glFinish();
    }

    void Frame(bool empty) override {
        glCullFace(empty ? GL_FRONT_AND_BACK : GL_BACK);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, nullptr);
        glFinish();
    }

    int Covered() override {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width_) * height_);
        glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        int n = 0;
        for (std::uint32_t p : pixels) n += (p & 0xFFFFFF) != kBackground;
        return n;
    }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLSurface surface_ = EGL_NO_SURFACE;
    EGLContext context_ = EGL_NO_CONTEXT;
    int width_ = 0, height_ = 0;
    GLsizei indexCount_ = 0;
};

}  // namespace

std::unique_ptr<GlEllipsoid> GlEllipsoid::Create(int width, int height, int triangles) {
    auto gl = std::make_unique<EglEllipsoid>();
    if (!gl->Open(width, height)) return nullptr;
    gl->Load(triangles);
    return gl;
}

#endif

}  // namespace bench
