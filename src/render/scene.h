#pragma once
// The Scene: the runtime scene that skin and scene files store and the viewport draws. A skeleton
// of bones with their matrices and per-bone state, two level-of-detail chains of draw nodes per
// bone, their geometry, materials, textures and draw programs, the camera, and the fixed overlay
// geometry that shows bones and the picked bone's envelope.
//
// The records are plain fixed-size records of four-byte fields that skin and scene files store
// byte for byte; they refer to one another by index, -1 meaning none. The arrays are public:
// the skeleton, envelope, file and camera operations (src/skin) and the drawing work on them
// directly and keep `boneStates` as long as `bones`.
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx8math.h"

namespace ms {

struct GeometryRecord {
    std::uint32_t vertexOffset;    // byte offset of the first vertex in the vertex pool
    std::uint32_t firstIndex;      // position of the first index in the index pool
    std::uint32_t vertexCount;
    std::uint32_t primitiveCount;
    std::uint32_t stride;          // bytes per vertex
    std::uint32_t fvf;
    std::uint32_t primitiveType;   // Direct3D primitive type, 1 to 6
    std::uint32_t indexed;         // 0: drawn without indices; else with the 16-bit indices
};

struct SceneMaterial {
    D3DMATERIAL8 material;
    std::int32_t texture[8];       // texture index per stage, -1 for none
    std::int32_t stageCount;       // stages in use
};

struct DrawNode {
    std::int32_t nextDrawn;        // next node when this one is drawn
    std::int32_t nextSkipped;      // next node when this one is skipped
    std::int32_t geometry;
    std::int32_t material;
    // >= 0: entry point to run; -1: none; -3 - p: refers to entry p without running it; -2: that
    // form after its entry was removed.
    std::int32_t program;
    float threshold;               // drawn while threshold >= LodMeasure
};

struct BoneRecord {
    std::int32_t nextSibling;      // next bone with the same parent; for a top bone the next top bone
    std::int32_t firstChild;
    std::int32_t root;             // top bone of this bone's tree
    std::int32_t local;            // matrix indices: transform relative to the parent (bind pose),
    std::int32_t pose;             //   edit rotation applied in front of it,
    std::int32_t world;            //   combined transform,
    std::int32_t inverseBind;      //   inverse of the world matrix taken at set-up
    std::int32_t firstMeshNode;    // head of the mesh chain
    std::int32_t firstShadowNode;  // head of the shadow chain
};

// The envelope of a bone: the 43 fields that lead its BoneState and that the envelope edits copy
// as one block. Dots are in the bone's local space; in envelope space Dot 1 is the origin and
// Dot 2 lies on +z.
struct Envelope {
    float dot1[3];
    float dot2[3];
    D3DXMATRIX envelopeToBone;
    D3DXMATRIX boneToEnvelope;     // look-at from Dot 1 towards Dot 2, up (0, 1, 0)
    float dot1R1, dot1R2;          // inner and outer radius at Dot 1
    float dot2R1, dot2R2;          // inner and outer radius at Dot 2
    std::int32_t falloff;          // curve 0 to 3; stored as -1 - code while "Normal Check" is on
};

struct BoneState {
    Envelope envelope;
    float length;                  // origin to end along the bone's local +x
    float origin[3];               // world position of the bone
    float originScreen[2];         // viewport coordinates, -1 to +1, y up
    float end[3];                  // origin + length x first row of the world matrix
    float endScreen[2];
    float poseAngles[3];           // about x, y and z, radians
};

static_assert(sizeof(GeometryRecord) == 32);
static_assert(sizeof(SceneMaterial) == 104);
static_assert(sizeof(DrawNode) == 24);
static_assert(sizeof(BoneRecord) == 36);
static_assert(sizeof(Envelope) == 43 * 4);
static_assert(sizeof(BoneState) == 228);
static_assert(std::is_trivially_copyable_v<BoneState>);

struct EntryPoint {
    std::string name;
    std::uint32_t start = 0;       // first word in the program words
};

// One vertex of the bone glyph (position and normal, FVF 0x12).
struct GlyphVertex {
    D3DVECTOR position;
    D3DVECTOR normal;
};
static_assert(sizeof(GlyphVertex) == 24);

// A double pyramid from (0, 0, 0) to (1, 0, 0) with its waist at x = 0.1: a triangle list of 8
// triangles, wound clockwise seen from outside, one outward normal per triangle.
using BoneGlyph = std::array<GlyphVertex, 24>;

// The line drawing of the picked bone's envelope in envelope space: 264 segments over 264
// vertices in twelve runs (rings of 32 points and half circles of 17 points). The index list is
// fixed; the envelope tools write the vertices.
struct EnvelopeWire {
    static constexpr int kVertexCount = 264;
    static constexpr int kIndexCount = 528;
    std::array<std::uint16_t, kIndexCount> indices;
    std::array<D3DVECTOR, kVertexCount> vertices;
};

// The camera orbits its target at distance L, angle AY around the vertical axis and elevation
// AXZ (radians).
struct CameraValues {
    float distance = 5.0f;
    float angleY = -1.570795f;
    float angleXZ = 0.7854f;
    D3DXVECTOR3 target;
};

class Scene {
public:
    Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) = default;
    Scene& operator=(Scene&&) = default;

    // Releases every texture object, frees every array, sets every count to 0, no bone picked and
    // the current bone and draw node to -1. The device, camera, view, projection and overlay
    // geometry stay.
    void Clear();

    std::int32_t BoneCount() const { return static_cast<std::int32_t>(bones.size()); }

    // Null in the batch tool and in tests: operations then skip the device calls and keep every
    // value.
    IDirect3DDevice8* device = nullptr;

    // Drawing state.
    float currentBonePosition[3] = {0, 0, 0};
    std::int32_t currentBone = -1;
    std::int32_t currentDrawNode = -1;
    std::uint32_t programCounter = 0;
    D3DXMATRIX view;                // the last view matrix set on the device
    D3DXMATRIX projection;          // the last projection matrix set on the device
    float lodMeasure = 0.0f;
    std::int32_t extrusionLight = 0;

    // Arrays; their sizes are the counts that files carry.
    std::vector<TexturePtr> textures;        // one per texture name, null when it did not load
    std::vector<std::string> textureNames;
    std::vector<BoneRecord> bones;
    std::vector<DrawNode> drawNodes;
    std::vector<GeometryRecord> geometries;
    std::vector<SceneMaterial> materials;
    std::vector<D3DXMATRIX> matrices;
    std::vector<std::uint32_t> programWords;
    std::vector<std::uint8_t> vertexPool;
    std::vector<std::uint16_t> indexPool;
    std::vector<EntryPoint> entryPoints;
    std::vector<BoneState> boneStates;       // one per bone

    std::int32_t pickedBone = -1;
    CameraValues camera;

    BoneGlyph boneGlyph;
    EnvelopeWire envelopeWire;
};

}  // namespace ms
