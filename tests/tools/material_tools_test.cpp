#include "tools/material_tools.h"

#include <gtest/gtest.h>

#include "edit/editor.h"
#include "tools/tool_model.h"

namespace ms {
namespace {

class MaterialTools : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadInto(model, test::ToolModel());
        MaterialRecord m = model.GetMaterial(1);
        m.material.Specular = {0.1f, 0.2f, 0.3f, 0.4f};
        m.material.Power = 1000.0f;
        model.SetMaterial(1, m);
    }
    Model model;
    Scene scene;
    Editor editor{model, scene};
    MaterialToolsState s;
};

TEST_F(MaterialTools, ShowLoadsTheWorkingCopy) {
    const MaterialView v = s.Show(model, 1, MaterialColour::kSpecular);
    EXPECT_EQ(v.counterText, "2/5");
    EXPECT_EQ(v.stageText, "1/8");
    EXPECT_EQ(v.textureName, "NONE");
    EXPECT_EQ(v.colour, (std::array<std::string, 4>{"0.10000", "0.20000", "0.30000", "0.40000"}));
    EXPECT_EQ(v.power, "1000.00000");
    EXPECT_STREQ(s.working.name, "M1");
    EXPECT_EQ(s.Show(model, 2, MaterialColour::kDiffuse).textureName, "b.bmp");
    EXPECT_EQ(s.Show(model, 17, MaterialColour::kDiffuse).counterText, "18/5");  // material 0's values
    EXPECT_STREQ(s.working.name, "M0");

    Model empty;
    const MaterialView none = s.Show(empty, 0, MaterialColour::kDiffuse);
    EXPECT_EQ(none.counterText, "0/0");
    EXPECT_EQ(none.textureName, "NONE");
    EXPECT_EQ(none.power, "0.00000");
}

TEST_F(MaterialTools, CountersStopAtTheirEnds) {
    std::int32_t current = 0;
    EXPECT_FALSE(MaterialToolsState::StepMaterial(-1, model, current));
    for (int i = 0; i < 7; ++i) MaterialToolsState::StepMaterial(+1, model, current);
    EXPECT_EQ(current, 4);
    Model empty;
    current = 0;
    EXPECT_FALSE(MaterialToolsState::StepMaterial(+1, empty, current));
    EXPECT_FALSE(MaterialToolsState::StepMaterial(-1, empty, current));

    s.Show(model, 2, MaterialColour::kDiffuse);
    for (int i = 0; i < 10; ++i) s.StepStage(+1);
    EXPECT_EQ(s.View(model, 2, MaterialColour::kDiffuse).stageText, "8/8");
    s.StepStage(-1);
    EXPECT_EQ(s.stage, 6);
    for (int i = 0; i < 10; ++i) s.StepStage(-1);
    EXPECT_EQ(s.texture, 1);  // stage 0 of material 2
    for (int i = 0; i < 5; ++i) s.StepTexture(+1, model);
    EXPECT_EQ(s.texture, 1);
    s.StepTexture(-1, model);
    s.StepTexture(-1, model);
    EXPECT_EQ(s.texture, -1);
    EXPECT_EQ(s.TextureNameText(model), "NONE");
    s.StepTexture(-1, model);
    EXPECT_EQ(s.texture, -1);
    EXPECT_EQ(s.working.texture[0], -1);
    EXPECT_EQ(model.GetMaterial(2).texture[0], 1);  // only the working copy changed
}

TEST_F(MaterialTools, FieldsEditTheChosenColourOfTheWorkingCopy) {
    s.Show(model, 1, MaterialColour::kSpecular);
    const std::string power = s.View(model, 1, MaterialColour::kSpecular).power;  // "1000.00000"
    s.ReadFields({"0.5", "", "x", "0.123456789"}, power, MaterialColour::kSpecular);
    EXPECT_FLOAT_EQ(s.working.material.Specular.r, 0.5f);
    EXPECT_FLOAT_EQ(s.working.material.Specular.g, 0.2f);  // no number: kept
    EXPECT_FLOAT_EQ(s.working.material.Specular.b, 0.3f);
    EXPECT_FLOAT_EQ(s.working.material.Specular.a, 0.1234567f);  // 9 characters read
    EXPECT_FLOAT_EQ(s.working.material.Power, 1000.0f);
    EXPECT_FLOAT_EQ(s.working.material.Diffuse.r, model.GetMaterial(1).material.Diffuse.r);
    EXPECT_FLOAT_EQ(model.GetMaterial(1).material.Specular.r, 0.1f);  // the Model waits for Update

    ASSERT_TRUE(s.Update(editor, 1));
    EXPECT_FLOAT_EQ(model.GetMaterial(1).material.Specular.r, 0.5f);
    s.ReadFields({"0.9", "0.9", "0.9", "0.9"}, "2", MaterialColour::kSpecular);
    s.Show(model, 1, MaterialColour::kSpecular);  // Refresh drops the edit
    EXPECT_FLOAT_EQ(s.working.material.Specular.r, 0.5f);
    EXPECT_FLOAT_EQ(s.working.material.Power, 1000.0f);
    EXPECT_FALSE(s.Update(editor, 5));
    EXPECT_EQ(editor.commandNames(), std::vector<std::string>{"Update"});
}

TEST_F(MaterialTools, SetToAllChangesOnlyThePower) {
    ASSERT_TRUE(SetPowerToAll(editor, "12.5"));
    for (std::int32_t i = 0; i < model.MaterialCount(); ++i) {
        EXPECT_FLOAT_EQ(model.GetMaterial(i).material.Power, 12.5f);
    }
    EXPECT_FLOAT_EQ(model.GetMaterial(1).material.Specular.g, 0.2f);
    EXPECT_FALSE(SetPowerToAll(editor, "abc"));
    Model empty;
    Editor emptyEditor{empty, scene};
    EXPECT_FALSE(SetPowerToAll(emptyEditor, "1"));
}

TEST_F(MaterialTools, AddTextureAppendsAndRefusesAPathTooLongForItsName) {
    s.Show(model, 0, MaterialColour::kDiffuse);
    s.StepStage(+1);
    ASSERT_TRUE(s.AddTexture(editor, "missing.bmp"));
    EXPECT_EQ(model.TextureCount(), 3);
    EXPECT_STREQ(model.TextureName(2), "missing.bmp");
    EXPECT_EQ(s.working.texture[1], 2);
    EXPECT_EQ(s.texture, 2);
    EXPECT_EQ(model.GetMaterial(0).texture[1], -1);

    const std::string longest(99, 'a');
    ASSERT_TRUE(s.AddTexture(editor, longest));
    EXPECT_EQ(model.TextureName(3), longest);
    const Status tooLong = s.AddTexture(editor, std::string(100, 'a'));
    EXPECT_FALSE(tooLong);
    EXPECT_NE(tooLong.message().find("at most 99"), std::string::npos);
    EXPECT_EQ(model.TextureCount(), 4);
    EXPECT_EQ(s.texture, 3);
}

TEST_F(MaterialTools, BatchSettersCheckTheirIndices) {
    ASSERT_TRUE(SetMaterialColour(editor, 4, MaterialColour::kEmissive, {1, 2, 3, 4}));
    EXPECT_FLOAT_EQ(model.GetMaterial(4).material.Emissive.b, 3.0f);
    ASSERT_TRUE(SetMaterialPower(editor, 3, 7.0f));
    EXPECT_FLOAT_EQ(model.GetMaterial(3).material.Power, 7.0f);
    ASSERT_TRUE(SetMaterialTexture(editor, 3, 7, 1));
    EXPECT_EQ(model.GetMaterial(3).texture[7], 1);
    EXPECT_FALSE(SetMaterialTexture(editor, 3, 8, 1));
    EXPECT_FALSE(SetMaterialTexture(editor, 3, 0, 2));
    EXPECT_FALSE(SetMaterialColour(editor, 5, MaterialColour::kDiffuse, {}));
    EXPECT_FALSE(SetMaterialPower(editor, -1, 1.0f));
    EXPECT_EQ(MaterialColourFromName("ambient"), MaterialColour::kAmbient);
    EXPECT_EQ(MaterialColourFromName("Ambient"), std::nullopt);
}

TEST(Tolerance, ReadsLargeValuesAsPercentages) {
    struct Case {
        float value, tolerance;
    };
    const Case cases[] = {{-0.5f, 0.5f}, {5, 0.05f}, {250, 0.001f}, {1, 0.01f}, {0, 0}, {99.9f, 0.999f}};
    for (Case c : cases) {
        EXPECT_FLOAT_EQ(ToleranceFromValue(c.value), c.tolerance) << c.value;
    }
    Model model;
    Scene scene;
    Editor editor{model, scene};
    std::string shown;
    ASSERT_TRUE(SetTolerance(editor, "5", &shown));
    EXPECT_EQ(shown, "0.050");
    EXPECT_FALSE(SetTolerance(editor, "none", &shown));
    EXPECT_EQ(shown, "0.050");
    ASSERT_TRUE(SetTolerance(editor, "0.0000000000000000005", &shown));  // 18 characters read: 0
    EXPECT_EQ(shown, "0.000");
}

}  // namespace
}  // namespace ms
