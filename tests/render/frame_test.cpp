#include "render/frame.h"

#include "../model/gmf_builder.h"
#include "draw_fixture.h"
#include "platform/image/image.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::BoxIndices;
using test::BoxVertices;

class Frame : public test::DrawFixture {
protected:
    std::vector<std::string> Draw(const DisplayOptions& options, ModelSelection selection = {}, bool bonePicked = false) {
        trace->TakeLines();
        DrawFrame(scene, model, selection, bonePicked, options);
        return trace->TakeLines();
    }
    // The lines without their arguments after the first `keep` characters of each call.
    static std::vector<std::string> Calls(const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const std::string& l : lines) out.push_back(l.substr(0, l.find('(')));
        return out;
    }
};

TEST_F(Frame, EmptySceneClearsDrawsNothingAndPresents) {
    const std::vector<std::string> lines = Draw(DisplayOptions{});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].rfind("Clear(0, null, TARGET|ZBUFFER|STENCIL, 0xFF7D7DC8, 1, 0)", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "BeginScene()");
    EXPECT_EQ(lines[2], "SetRenderState(FILLMODE, 3)");
    EXPECT_EQ(lines[3], "SetRenderState(ALPHABLENDENABLE, 0)");
    EXPECT_EQ(lines[4], "SetRenderState(CULLMODE, 3)");
    EXPECT_EQ(lines[5], "EndScene()");
    EXPECT_EQ(lines[6].rfind("Present(", 0), 0u);
    EXPECT_EQ(target.presentCount(), 1);
    for (int y = 0; y < target.frameHeight(); y += 17)
        for (int x = 0; x < target.frameWidth(); x += 13) ASSERT_EQ(target.Pixel(x, y) & 0xffffff, 0x7d7dc8u);
}

TEST_F(Frame, DisplayOptionsSetFillBlendAndCull) {
    struct Case {
        DisplayOptions options;
        std::vector<std::string> states;
    };
    DisplayOptions lines, points, alpha, noCulling;
    lines.triangles = false;
    lines.lines = true;
    points.triangles = false;
    alpha.alpha = true;
    noCulling.noCulling = true;
    const Case cases[] = {
        {lines, {"SetRenderState(FILLMODE, 2)", "SetRenderState(ALPHABLENDENABLE, 0)", "SetRenderState(CULLMODE, 3)"}},
        {points, {"SetRenderState(FILLMODE, 1)", "SetRenderState(ALPHABLENDENABLE, 0)", "SetRenderState(CULLMODE, 3)"}},
        {alpha, {"SetRenderState(FILLMODE, 3)", "SetRenderState(ALPHABLENDENABLE, 1)", "SetRenderState(SRCBLEND, 5)",
                 "SetRenderState(DESTBLEND, 6)", "SetRenderState(CULLMODE, 3)"}},
        {noCulling, {"SetRenderState(FILLMODE, 3)", "SetRenderState(ALPHABLENDENABLE, 0)", "SetRenderState(CULLMODE, 1)"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> drawn = Draw(c.options);
        EXPECT_EQ(std::vector<std::string>(drawn.begin() + 2, drawn.begin() + 2 + c.states.size()), c.states);
    }
}

TEST_F(Frame, SkeletonGlyphPerBoneAndTheEnvelopeOfThePickedBone) {
    AddTopBone(0, 0, 0);
    AddTopBone(1, 0, 0);
    DisplayOptions options;
    options.drawEnvelope = true;
    std::vector<std::string> calls = Calls(Draw(options));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawPrimitiveUP"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawIndexedPrimitiveUP"), 0);  // no bone picked
    scene.pickedBone = 1;
    calls = Calls(Draw(options, {}, true));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawIndexedPrimitiveUP"), 1);
    options.bonesOnTop = true;
    std::vector<std::string> lines = Draw(options, {}, false);
    EXPECT_EQ(Lines(lines, "Clear(0, null, ZBUFFER,").size(), 1u);
    EXPECT_EQ(Lines(lines, "DrawIndexedPrimitiveUP").size(), 0u);  // bone-picked flag clear
    options.drawSceleton = false;
    EXPECT_EQ(Lines(Draw(options), "DrawPrimitiveUP").size(), 0u);
}

// Scene_Root (mesh node 0) with a child Arm (mesh nodes 1 and 2, the second without material)
// and a sibling Leg (mesh node 3).
void LoadSelectionModel(Model& model, const test::TempDir& dir) {
    test::GmfBuilder b;
    b.frames = {test::Frame("Scene_Root", 0, 1, 2, 1), test::Frame("Arm", 1, 2), test::Frame("Leg", 3, 1)};
    b.nodes = {test::Node("Root", 0, 0), test::Node("Arm", 0, 0), test::Node("Bare", 0, -1), test::Node("Leg", 0, 0)};
    b.materials = {test::Material("Grey")};
    b.geometries = {test::GeometryBlock{}};
    test::WriteFileBytes(dir.Path("m.gmf"), b.Bytes());
    ASSERT_TRUE(model.LoadGmf(dir.Path("m.gmf")));
}

TEST_F(Frame, ChosenFrameDrawsItsSubtreeAndAChosenMeshNodeOnlyItself) {
    test::TempDir dir;
    LoadSelectionModel(model, dir);
    DisplayOptions options;
    options.display = true;
    struct Case {
        ModelSelection selection;
        std::size_t draws;
    };
    const Case cases[] = {
        {{0, 0}, 3},   // Scene_Root and its child Arm; Leg is a sibling, not a descendant
        {{1, 0}, 2},   // Arm
        {{2, 0}, 1},   // Leg
        {{9, 0}, 0},   // no such frame
        {{2, 1}, 1},   // the mesh node without material, drawn plain
        {{3, 1}, 1},
        {{-1, 1}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lines(Draw(options, c.selection), "DrawIndexedPrimitiveUP").size(), c.draws)
            << c.selection.index << "/" << c.selection.kind;
    options.display = false;
    EXPECT_EQ(Lines(Draw(options, {0, 0}), "DrawIndexedPrimitiveUP").size(), 0u);
}

TEST_F(Frame, ChosenFrameAndMeshNodeOfAVeryDeepChainAreDrawn) {
    test::TempDir dir;
    test::WriteFileBytes(dir.Path("deep.gmf"), test::DeepChain(50000).Bytes());
    ASSERT_TRUE(model.LoadGmf(dir.Path("deep.gmf")));
    DisplayOptions options;
    options.display = true;
    for (ModelSelection selection : {ModelSelection{0, 0}, ModelSelection{49999, 0}, ModelSelection{0, 1}})
        EXPECT_EQ(Lines(Draw(options, selection), "DrawIndexedPrimitiveUP").size(), 1u) << selection.index;
}

// A floor, a box above it and the box's shadow volume reaching through the floor: the shadow pass
// darkens the floor where the volume crosses it.
TEST_F(Frame, StencilShadowDarkensTheFloorUnderTheBox) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    const std::int32_t floor = AddGeometry(BoxVertices(-3, -0.1f, -3, 3, 0, 3), BoxIndices());
    const std::int32_t box = AddGeometry(BoxVertices(-0.5f, 1, -0.5f, 0.5f, 2, 0.5f), BoxIndices());
    const std::int32_t volume = AddGeometry(BoxVertices(-0.5f, -1, -0.5f, 0.5f, 1, 0.5f), BoxIndices());
    const std::int32_t white = AddMaterial(1, 1, 1);
    const std::int32_t drawWithWorld = AddProgram("volume", {3, 1, 0});
    const std::int32_t boxNode = AddNode(box, white, -1, 1e9f);
    scene.bones[bone].firstMeshNode = AddNode(floor, white, -1, 1e9f, boxNode);
    scene.bones[bone].firstShadowNode = AddNode(volume, -1, drawWithWorld, 1e9f);
    DisplayOptions options;
    options.drawSceleton = false;
    options.drawShadow = true;
    Draw(options);
    ImageLevel picture;
    picture.width = target.frameWidth();
    picture.height = target.frameHeight();
    picture.pixels = target.pixels();
    for (std::uint32_t& p : picture.pixels) p |= 0xff000000u;  // the back buffer has no alpha
    test::TempDir dir;
    ASSERT_TRUE(WritePng(dir.Path("shadow.png"), picture));
    Image reference;
    ASSERT_TRUE(DecodeImageFile(std::string(std::getenv("MS_TEST_DATA")) + "/render/shadow.png", reference));
    ASSERT_EQ(reference.width, picture.width);
    int differing = 0;
    for (std::size_t i = 0; i < picture.pixels.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            int a = (picture.pixels[i] >> shift) & 255, b = (reference.pixels[i] >> shift) & 255;
            differing += std::abs(a - b) > 3;
        }
    if (differing) {
        std::filesystem::copy_file(dir.Path("shadow.png"), "/tmp/modelsmith-shadow.png",
                                   std::filesystem::copy_options::overwrite_existing);
        ADD_FAILURE() << differing << " channels differ from the reference; the picture is /tmp/modelsmith-shadow.png";
    }
    // Under the box the floor keeps 45% of its light; beside it, all of it.
    const std::uint32_t shadowed = target.Pixel(80, 62), lit = target.Pixel(30, 100);
    EXPECT_NEAR(static_cast<double>(shadowed & 255), 0.45 * static_cast<double>(lit & 255), 3.0);
}

}  // namespace
}  // namespace ms
