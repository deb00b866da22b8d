#include "tools/property_editor.h"

#include <gtest/gtest.h>

#include "edit/editor.h"
#include "tools/tool_model.h"

namespace ms {
namespace {

using test::FloatBits;

class PropertyEditor : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadInto(model, test::ToolModel());
        // Mesh 0 (0x052): X Y Z, NORMAL_X/Y/Z, DIFFUSE per vertex.
        test::SetVertexWords(model, 0,
                             {FloatBits(1.5f), FloatBits(2), FloatBits(3), FloatBits(0), FloatBits(1), FloatBits(0),
                              0xff000000u, FloatBits(-4), FloatBits(5), FloatBits(6), 0, 0, 0, 0x12345678u,
                              FloatBits(7), FloatBits(8), FloatBits(9), 0, 0, 0, 0x0000ff00u});
    }
    Model model;
    Scene scene;
    Editor editor{model, scene};
    PropertyEditorState s;
};

TEST_F(PropertyEditor, RefreshShowsTheLayoutAndTheFirstValue) {
    const MeshInfo info = s.Refresh(model, 0);
    EXPECT_EQ(info.materialText, "2");
    EXPECT_TRUE(info.checks.normal && info.checks.diffuse);
    EXPECT_FALSE(info.checks.specular || info.checks.pointSize || info.checks.rhw || info.checks.blendIndexed);
    EXPECT_EQ(s.layouts.current().fvf, 0x052u);
    const auto view = s.ShowDot(model);
    EXPECT_EQ(view.dotText, "1/3");
    EXPECT_EQ(view.valueText, "1.500000");
    EXPECT_EQ(s.Refresh(model, 3).materialText, "0");  // no material
    EXPECT_EQ(s.Refresh(model, 3).textureCount, 1);
    s.Refresh(model, 1);
    const auto empty = s.ShowDot(model);
    EXPECT_EQ(empty.dotText, "NO DOTS");
    EXPECT_EQ(empty.valueText, "NO VALUE");
}

TEST_F(PropertyEditor, DotsStopAtTheEndsAndPropertiesWrapOverThePresentOnes) {
    s.Refresh(model, 0);
    s.StepDot(-1, model);
    EXPECT_EQ(s.dot, 0);
    for (int i = 0; i < 5; ++i) s.StepDot(+1, model);
    EXPECT_EQ(s.dot, 2);
    EXPECT_EQ(s.ShowDot(model).valueText, "7.000000");

    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(s.StepProperty(+1, model));
        names.push_back(PropertyName(s.property));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Y", "Z", "NORMAL_X", "NORMAL_Y", "NORMAL_Z", "DIFFUSE", "X", "Y"}));
    ASSERT_TRUE(s.StepProperty(-1, model));
    ASSERT_TRUE(s.StepProperty(-1, model));
    EXPECT_EQ(s.property, kPropDiffuse);  // X steps back over the end to the last present one
    EXPECT_EQ(s.Value(model), "65280");  // the radix starts at 10

    // TEX8_Y wraps to X.
    s.layouts.SetFvf(LayoutSlot::kCurrent, 0x802);
    s.geometry = -1;
    s.property = kPropTex1Y + 7;
    ASSERT_TRUE(s.StepProperty(+1, model));
    EXPECT_EQ(s.property, kPropX);
}

TEST_F(PropertyEditor, RadixSwitchesKeepTheBitPattern) {
    s.Refresh(model, 0);
    s.property = kPropDiffuse;
    s.radix = 16;
    EXPECT_EQ(s.Value(model), "ff000000");
    EXPECT_EQ(s.ChangeRadix(10, "ff000000"), "4278190080");
    EXPECT_EQ(s.ChangeRadix(2, "4278190080"), "11111111000000000000000000000000");
    EXPECT_EQ(s.ChangeRadix(16, "11111111000000000000000000000000"), "ff000000");
    EXPECT_EQ(s.ChangeRadix(10, "ffffffff"), "4294967295");
    EXPECT_EQ(s.ChangeRadix(16, "4294967295"), "ffffffff");
    EXPECT_EQ(s.ChangeRadix(10, "0"), "0");
    EXPECT_EQ(s.radix, 10);
    // A float Property: the radix stays.
    s.property = kPropY;
    EXPECT_EQ(s.ChangeRadix(16, "2.0"), std::nullopt);
    EXPECT_EQ(s.radix, 10);
}

TEST(RadixText, ParsesAsAnUnsigned32BitNumber) {
    struct Case {
        const char* text;
        int radix;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"ff000000", 16, 0xff000000u}, {"0xFF", 16, 0xffu},   {"  12zz", 10, 12},       {"", 10, 0},
        {"hello", 16, 0},              {"102", 2, 2},         {"-1", 10, 0xffffffffu},  {"4294967296", 10, 0xffffffffu},
        {"0x", 16, 0},                 {"+7", 10, 7},         {"111111111111111111111111111111111", 2, 0xffffffffu},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseRadix(c.text, c.radix), c.value) << c.text;
    EXPECT_EQ(FormatRadix(0, 2), "0");
    EXPECT_EQ(FormatRadix(0xABCu, 16), "abc");
    EXPECT_EQ(FormatRadix(5, 2), "101");
}

TEST_F(PropertyEditor, SetWritesOneDotOrAll) {
    s.Refresh(model, 0);
    s.dot = 1;
    s.property = kPropNormalY;
    ASSERT_TRUE(s.Set(editor, "  -2.25abc", false));
    EXPECT_EQ(test::VertexWords(model, 0)[7 + 4], FloatBits(-2.25f));
    s.property = kPropDiffuse;
    s.radix = 16;
    ASSERT_TRUE(s.Set(editor, "0x80ff00ff", true));
    for (int v = 0; v < 3; ++v) EXPECT_EQ(test::VertexWords(model, 0)[v * 7 + 6], 0x80ff00ffu);
    s.property = kPropX;
    ASSERT_TRUE(s.Set(editor, "not a number", false));
    EXPECT_EQ(test::VertexWords(model, 0)[7], 0u);
    EXPECT_EQ(editor.commandNames(), (std::vector<std::string>{"Set", "Set To All Dots", "Set"}));
    // A Property the layout lacks is ignored.
    s.property = kPropSpecular;
    const auto before = test::VertexWords(model, 0);
    ASSERT_TRUE(s.Set(editor, "1", true));
    EXPECT_EQ(test::VertexWords(model, 0), before);
}

TEST_F(PropertyEditor, AnUnsupportedLayoutIsShownButNeverReadOrWritten) {
    const MeshInfo info = s.Refresh(model, 2);  // XYZB5
    EXPECT_EQ(info.blendCount, 5);             // the five betas of the kind, shown though not supported
    EXPECT_EQ(s.layouts.current().fvf, 0x00Eu);
    EXPECT_EQ(s.ShowDot(model).valueText, "NOT SUPPORTED");
    EXPECT_FALSE(s.StepProperty(+1, model));
    const auto before = model.Geometry(2)->vertices;
    const Status set = s.Set(editor, "5", true);
    EXPECT_FALSE(set);
    EXPECT_NE(set.message().find("0xe is not supported"), std::string::npos);
    EXPECT_FALSE(s.UpdateFvf(editor, {}));
    EXPECT_EQ(model.Geometry(2)->vertices, before);
    EXPECT_EQ(model.Geometry(2)->fvf, 0x00Eu);
    EXPECT_TRUE(editor.commandNames().empty());
}

TEST_F(PropertyEditor, UpdateFvfConvertsTheCurrentGeometry) {
    s.Refresh(model, 0);
    s.StepBlendCount(+1);
    s.StepTextureCount(+1);
    FvfChoice choice;
    choice.rhw = true;
    choice.blendIndexed = true;
    choice.specular = true;
    ASSERT_TRUE(s.UpdateFvf(editor, choice));
    // RHW then Blend Indexed with one weight: XYZB2 with indices, SPECULAR, one texture set.
    const MeshGeometry& g = *model.Geometry(0);
    EXPECT_EQ(g.fvf, 0x1188u);
    EXPECT_EQ(g.stride, 12 + 4 + 4 + 4 + 8);
    EXPECT_EQ(g.vertexCount, 3);
    const auto words = test::VertexWords(model, 0);
    EXPECT_EQ(words[0], FloatBits(1.5f));
    EXPECT_EQ(words[8 + 2], FloatBits(6));
    EXPECT_EQ(words[3], 0u);
    const MeshInfo info = s.Refresh(model, 0);
    EXPECT_TRUE(info.checks.blendIndexed && info.checks.specular);
    EXPECT_EQ(info.blendCount, 1);
    EXPECT_EQ(info.textureCount, 1);
    EXPECT_EQ(editor.commandNames(), std::vector<std::string>{"Update FVF"});
}

TEST(UpdateFvfOrder, LaterChoicesOverrideEarlierOnes) {
    struct Case {
        FvfChoice choice;
        int blend, textures;
        std::uint32_t fvf;
    };
    const Case cases[] = {
        {{}, 2, 0, 0x002},                                            // blend ignored without indices
        {{.rhw = true}, 0, 0, 0x004},
        {{.normal = true, .rhw = true}, 0, 0, 0x012},                 // normal wins over RHW
        {{.rhw = true, .blendIndexed = true}, 2, 0, 0x100A},          // RHW and indices: XYZB3
        {{.pointSize = true, .diffuse = true, .specular = true}, 0, 8, 0x8E2},
        {{.normal = true, .blendIndexed = true}, 3, 2, 0x121C},
    };
    for (const Case& c : cases) {
        LayoutConverter layouts;
        EXPECT_EQ(BuildTargetFvf(layouts, c.choice, c.blend, c.textures), c.fvf) << std::hex << c.fvf;
    }
}

TEST_F(PropertyEditor, CountersStayWithinTheirRanges) {
    for (int i = 0; i < 12; ++i) s.StepTextureCount(+1);
    EXPECT_EQ(s.pendingTextureCount, 8);
    for (int i = 0; i < 12; ++i) s.StepTextureCount(-1);
    EXPECT_EQ(s.pendingTextureCount, 0);
    for (int i = 0; i < 5; ++i) s.StepBlendCount(+1);
    EXPECT_EQ(s.pendingBlendCount, 3);
    s.StepBlendCount(-1);
    EXPECT_EQ(s.pendingBlendCount, 2);
}

TEST_F(PropertyEditor, RefreshShowsTheBlendWeightsOfTheLayout) {
    const std::pair<std::uint32_t, int> cases[] = {{0x006, 1}, {0x00C, 4}, {0x100C, 3}, {0x1006, 0}, {0x004, 0}};
    for (const auto& [fvf, weights] : cases) {
        LayoutConverter layouts;
        layouts.SetFvf(LayoutSlot::kTarget, fvf);
        ASSERT_TRUE(layouts.ConvertGeometry(*model.Geometry(0)));
        EXPECT_EQ(s.Refresh(model, 0).blendCount, weights) << std::hex << fvf;
        EXPECT_EQ(s.pendingBlendCount, weights) << std::hex << fvf;
    }
}

TEST(MaterialRule, CountsFromOneAndWraps) {
    struct Case {
        const char* text;
        std::int32_t index;
    };
    const Case cases[] = {{"", 4}, {"abc", 4}, {"0", 4}, {"7", 1}, {"-2", 1}, {"1", 0}, {"5", 4}, {"-2147483648", 2}};
    for (const Case& c : cases) EXPECT_EQ(MaterialIndexFromText(c.text, 5), c.index) << c.text;
    EXPECT_EQ(MaterialIndexFromText("1", 0), std::nullopt);
}

TEST_F(PropertyEditor, MaterialSetGivesTheMeshNodeItsMaterial) {
    std::int32_t index = -1;
    ASSERT_TRUE(SetMeshMaterial(editor, 3, "7", &index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(model.MeshNodeMaterial(3), 1);
    EXPECT_FALSE(SetMeshMaterial(editor, 4, "1"));
    Model empty;
    Editor emptyEditor{empty, scene};
    EXPECT_FALSE(SetMeshMaterial(emptyEditor, 0, "1"));
}

}  // namespace
}  // namespace ms
