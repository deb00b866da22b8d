#pragma once
// The vertex stage: reads FVF vertices, blends and transforms them to camera and clip space,
// lights them, makes their texture coordinates and outcodes.
#include <cstdint>
#include <span>

#include "platform/d3d8/fvf.h"
#include "platform/d3d8/pipeline.h"

namespace ms {

// The world-view matrices by palette index (world matrix 256 + i times the view) with their
// normal matrices, made on first use within a draw.
class MatrixPalette {
public:
    struct Entry {
        float m[4][4];       // world * view
        float normal[3][3];  // inverse transpose of its upper 3 x 3
    };
    // `world` holds the 256 world matrices; both must outlive the draw.
    void Begin(const D3DMATRIX* world, const D3DMATRIX* view);
    const Entry& Get(int index) {
        if (!ready_[index]) Make(index);
        return entries_[index];
    }

private:
    void Make(int index);
    const D3DMATRIX* world_ = nullptr;
    const D3DMATRIX* view_ = nullptr;
    bool ready_[256] = {};
    Entry entries_[256];
};

// A light in camera space, ready for the lighting equation.
struct LightSetup {
    DWORD type;
    Color4 diffuse, specular, ambient;
    float position[3];  // point and spot lights
    float toLight[3];   // directional lights: unit vector towards the light
    float spotAxis[3];  // spot lights: unit vector the light shines along
    float range, falloff, att0, att1, att2;
    float cosHalfTheta, cosHalfPhi;
};

enum class ColorSource : std::uint8_t { kMaterial, kVertexDiffuse, kVertexSpecular };

// Where one texture stage's coordinates come from and where they go.
struct TexCoordOutput {
    int attr;            // first attribute: u, v (and q when projected)
    int set;             // vertex texture set for pass-through
    DWORD generate;      // D3DTSS_TCI_* mode
    int transformCount;  // 0: no texture transform, else the coordinates kept (1..4)
    bool projected;
    float matrix[4][4];
};

// Everything the vertex stage reads, resolved once per draw.
struct VertexSetup {
    FvfLayout layout;
    bool wideLanes = true;  // batches of 8 vertices where the processor can, else of 4
    ScreenMapping screen;
    float projection[4][4];
    MatrixPalette* palette = nullptr;  // entry 0 is the world matrix when not blending
    int blendWeights = -1;             // -1: no blending; else weights read (n + 1 matrices)
    bool indexedBlend = false;

    bool lighting = false;
    bool normalizeNormals = false;
    bool localViewer = true;
    bool specularLighting = false;  // SPECULARENABLE: compute the specular term
    ColorSource ambientSource = ColorSource::kMaterial, diffuseSource = ColorSource::kMaterial;
    ColorSource specularSource = ColorSource::kMaterial, emissiveSource = ColorSource::kMaterial;
    D3DMATERIAL8 material{};
    Color4 globalAmbient{};
    std::span<const LightSetup> lights;

    int specularAttr = -1;  // -1: the draw does not use the specular colour
    int texOutputs = 0;
    TexCoordOutput tex[8];

    // Vertex fog (FOGVERTEXMODE): the fog factor goes into the specular alpha.
    DWORD fogMode = 0;
    bool rangeFog = false;
    float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;

    float pointSize = 1.0f, pointMin = 1.0f, pointMax = 64.0f;
    bool pointScale = false;
    float pointA = 1.0f, pointB = 0.0f, pointC = 0.0f;
};

// Processes the `count` vertices starting at vertex `first` of `data` (vertices `stride` bytes
// apart) into out[0 .. count - 1]. The caller guarantees that the vertices are readable.
void ProcessVertices(const VertexSetup& setup, const std::uint8_t* data, UINT stride, UINT first, UINT count,
                     OutVertex* out);

// The lighting equation for one vertex in camera space: `position`, unit or unnormalised
// `normal` (null: the vertex has none), its colours (null when absent). Writes the lit diffuse
// and specular colours.
void LightVertex(const VertexSetup& setup, const float position[3], const float* normal, const D3DCOLOR* vertexDiffuse,
                 const D3DCOLOR* vertexSpecular, Color4* diffuse, Color4* specular);

}  // namespace ms
