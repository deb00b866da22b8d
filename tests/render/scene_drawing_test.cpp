#include "render/scene_drawing.h"

#include <cmath>
#include <limits>

#include "draw_fixture.h"

namespace ms {
namespace {

using test::BoxIndices;
using test::BoxVertices;

class SceneDrawing : public test::DrawFixture {
protected:
    // One bone with a mesh chain of the given nodes; returns the number of geometry draws.
    int DrawnGeometries() {
        trace->TakeLines();
        DrawMeshes(scene);
        return static_cast<int>(Lines(trace->TakeLines(), "DrawIndexedPrimitiveUP").size());
    }
};

TEST_F(SceneDrawing, LevelOfDetailWalkFollowsDrawnAndSkippedLinks) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    const std::int32_t box = AddGeometry(BoxVertices(0, 0, 0, 1, 1, 1), BoxIndices());
    const std::int32_t material = AddMaterial(1, 0, 0);
    const float measure = LodMeasure(scene, bone);
    ASSERT_GT(measure, 0.0f);
    struct Case {
        const char* what;
        float threshold;
        std::int32_t program;
        int draws;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"threshold above the measure", measure + 1, -1, 1},
        {"threshold equal to the measure", measure, -1, 1},
        {"threshold below the measure", measure - 1, -1, 0},
        {"NaN threshold counts as drawn", nan, -1, 1},
        {"program below -1 draws nothing", measure + 1, -3, 0},
        {"program that does not exist draws nothing", measure + 1, 7, 0},
    };
    for (const Case& c : cases) {
        scene.drawNodes.clear();
        AddNode(box, material, c.program, c.threshold);
        scene.bones[bone].firstMeshNode = 0;
        EXPECT_EQ(DrawnGeometries(), c.draws) << c.what;
    }
    // Drawn node 0 leads to node 1; a skipped node 2 leads to node 3.
    scene.drawNodes.clear();
    AddNode(box, material, -1, measure + 1, 1, 2);
    AddNode(box, material, -1, measure - 1, 3, 2);
    AddNode(box, material, -1, measure + 1, -1, -1);
    AddNode(box, material, -1, measure + 1, -1, -1);
    EXPECT_EQ(DrawnGeometries(), 2);  // nodes 0 and 2
}

TEST_F(SceneDrawing, ProgramsRunTheirOpcodesAndStopAtEnd) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    const std::int32_t box = AddGeometry(BoxVertices(0, 0, 0, 1, 1, 1), BoxIndices());
    const std::int32_t material = AddMaterial(1, 0, 0);
    const std::int32_t endFirst = AddProgram("empty", {0, 1, 0});
    const std::int32_t drawTwice = AddProgram("twice", {3, 1, 6, D3DRS_ZWRITEENABLE, 0, 7, 0, 1, 1, 1, 0});
    scene.bones[bone].firstMeshNode = AddNode(box, material, endFirst, 1e9f);
    EXPECT_EQ(DrawnGeometries(), 0);  // the program ran (and stopped at once): no direct draw
    scene.drawNodes[0].program = drawTwice;
    trace->TakeLines();
    DrawMeshes(scene);
    const std::vector<std::string> lines = trace->TakeLines();
    EXPECT_EQ(Lines(lines, "DrawIndexedPrimitiveUP").size(), 2u);
    EXPECT_EQ(Lines(lines, "SetRenderState(ZWRITEENABLE, 0)").size(), 1u);
    EXPECT_EQ(Lines(lines, "SetTextureStageState(0, COLOROP, 1)").size(), 1u);
}

TEST_F(SceneDrawing, DamagedIndicesDrawNothingAndReadNothing) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    const std::int32_t box = AddGeometry(BoxVertices(0, 0, 0, 1, 1, 1), BoxIndices());
    const std::int32_t material = AddMaterial(1, 0, 0);
    AddProgram("cut short", {6, D3DRS_ZWRITEENABLE});  // operand missing at the end of the words
    scene.bones[bone].firstMeshNode = AddNode(box + 5, material + 3, -1, 1e9f, 7, 7);
    EXPECT_EQ(DrawnGeometries(), 0);
    scene.drawNodes[0] = {-1, -1, box, material, 0, 1e9f};
    EXPECT_EQ(DrawnGeometries(), 0);
    scene.geometries[box].firstIndex = 30;  // the index run would pass the end of the pool
    scene.drawNodes[0].program = -1;
    EXPECT_EQ(DrawnGeometries(), 0);
    scene.drawNodes[0] = {0, 0, box, material, -1, 1e9f};  // a chain that loops on itself ends
    scene.geometries[box].firstIndex = 0;
    EXPECT_EQ(DrawnGeometries(), 1);
}

TEST_F(SceneDrawing, PaletteWhoseOperandsRunPastTheWordsEndsTheProgram) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    const std::int32_t box = AddGeometry(BoxVertices(0, 0, 0, 1, 1, 1), BoxIndices());
    const std::int32_t material = AddMaterial(1, 0, 0);
    struct Case {
        const char* what;
        std::vector<std::uint32_t> words;
        int draws;
    };
    const Case cases[] = {
        {"count that wraps the counter onto itself", {1, 4, 0xFFFFFFFEu, 1, 0}, 1},
        {"count that wraps the counter one word on", {4, 0xFFFFFFFFu, 1, 1, 0}, 0},
        {"pairs cut short by the end of the words", {1, 4, 4, 0, 0}, 1},
        {"palette that ends exactly at the last word, then nothing", {4, 2, 0, 0}, 0},
        {"palette in bounds, then a draw", {4, 2, 0, 0, 1, 0}, 1},
    };
    for (const Case& c : cases) {
        scene.programWords.clear();
        scene.entryPoints.clear();
        scene.drawNodes.clear();
        scene.bones[bone].firstMeshNode = AddNode(box, material, AddProgram("p", c.words), 1e9f);
        EXPECT_EQ(DrawnGeometries(), c.draws) << c.what;
    }
}

TEST_F(SceneDrawing, ExtrudeFillsTheUpperHalfOfThePaletteUpTo128) {
    const std::int32_t bone = AddTopBone(0, 0, 0);
    for (std::uint32_t n : {128u, 129u}) {
        scene.programWords.clear();
        scene.entryPoints.clear();
        const std::int32_t program = AddProgram("extrude", {5, n, 0});
        scene.drawNodes.clear();
        scene.bones[bone].firstMeshNode = -1;
        scene.bones[bone].firstShadowNode = AddNode(-1, -1, program, 1e9f);
        trace->TakeLines();
        DrawShadows(scene);
        const std::vector<std::string> lines = trace->TakeLines();
        const std::size_t set = Lines(lines, "SetTransform(WORLDMATRIX(").size();
        EXPECT_EQ(set, n == 128 ? 128u : 0u) << n;
        if (n == 128) {
            EXPECT_EQ(Lines(lines, "SetTransform(WORLDMATRIX(128)").size(), 1u);
            EXPECT_EQ(Lines(lines, "SetTransform(WORLDMATRIX(255)").size(), 1u);
        }
    }
}

TEST_F(SceneDrawing, ShadowPassSetsItsStatesInOrder) {
    DrawShadows(scene);  // no bones: only the states and the shading quad
    std::vector<std::string> calls;
    for (const std::string& line : trace->TakeLines())
        if (line.rfind("SetRenderState", 0) == 0 || line.rfind("Draw", 0) == 0 || line.rfind("SetMaterial", 0) == 0)
            calls.push_back(line.substr(0, line.find(')') + 1));
    const std::vector<std::string> expected = {
        "SetRenderState(ZWRITEENABLE, 0)", "SetRenderState(STENCILENABLE, 1)", "SetRenderState(SHADEMODE, 1)",
        "SetRenderState(STENCILFUNC, 6)", "SetRenderState(ZFUNC, 2)", "SetRenderState(STENCILZFAIL, 6)",
        "SetRenderState(STENCILFAIL, 1)", "SetRenderState(STENCILPASS, 7)", "SetRenderState(STENCILREF, 252)",
        "SetRenderState(STENCILMASK, 0x000000FF)", "SetRenderState(STENCILWRITEMASK, 0x000000FD)",
        "SetRenderState(COLORWRITEENABLE, 0x00000000)", "SetRenderState(CULLMODE, 1)",
        "SetRenderState(COLORWRITEENABLE, 0x0000000F)", "SetRenderState(STENCILREF, 252)", "SetRenderState(SRCBLEND, 6)",
        "SetRenderState(DESTBLEND, 5)", "SetRenderState(STENCILFUNC, 3)", "SetRenderState(STENCILPASS, 1)",
        "SetRenderState(STENCILZFAIL, 1)", "SetRenderState(STENCILFAIL, 1)", "SetRenderState(ALPHABLENDENABLE, 1)",
        "SetMaterial(", "SetRenderState(ZENABLE, 0)",
        // the shading quad keeps and restores the z-enable state around its draw
        "SetRenderState(ZENABLE, 0)", "DrawPrimitiveUP(TRIANGLESTRIP, 2, ", "SetRenderState(ZENABLE, 0)",
        "SetRenderState(SRCBLEND, 6)", "SetRenderState(DESTBLEND, 5)", "SetRenderState(STENCILFUNC, 3)",
        "SetRenderState(ZENABLE, 1)", "SetRenderState(ALPHABLENDENABLE, 0)", "SetRenderState(CULLMODE, 3)",
        "SetRenderState(ZFUNC, 4)", "SetRenderState(ZWRITEENABLE, 1)", "SetRenderState(SHADEMODE, 2)",
        "SetRenderState(STENCILENABLE, 0)"};
    ASSERT_EQ(calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(calls[i].rfind(expected[i], 0), 0u) << i << ": " << calls[i];
}

}  // namespace
}  // namespace ms
