// The "Mesh Info && Tools" and "Material Tools" groups and the tolerance "Set" in the real window.
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_dialog.h"
#include "app/window_fixture.h"
#include "tools/tool_model.h"

namespace ms::app {
namespace {

using test::FloatBits;

class ToolsWindow : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        test::LoadInto(model, test::ToolModel());
        test::SetVertexWords(model, 0,
                             {FloatBits(1.5f), FloatBits(2), FloatBits(3), FloatBits(0), FloatBits(1), FloatBits(0),
                              0xff000000u, FloatBits(-4), FloatBits(5), FloatBits(6), 0, 0, 0, 0x12345678u,
                              FloatBits(7), FloatBits(8), FloatBits(9), 0, 0, 0, 0x0000ff00u});
        // The tree enables the material tools once a model is loaded.
        for (int id = 1039; id <= 1057; ++id) dialog.Enable(id, true);
    }

    // What the tree does when a mesh node is chosen.
    void SelectMeshNode(std::int32_t node) {
        state.selection = {node, 1};
        ASSERT_TRUE(state.showMeshNodeInfo);
        state.showMeshNodeInfo();
    }
    void Type(int id, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(dialog.Control(id));
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

};

TEST_F(ToolsWindow, SelectingAMeshNodeShowsItsLayoutAndWalksItsDots) {
    SelectMeshNode(0);
    EXPECT_TRUE(dialog.IsChecked(1013));   // Normal
    EXPECT_TRUE(dialog.IsChecked(1020));   // Diffuse
    EXPECT_FALSE(dialog.IsChecked(1023));  // Blend Indexed
    EXPECT_TRUE(dialog.IsEnabled(1036));
    EXPECT_FALSE(dialog.IsEnabled(1025));  // Blend "<" waits for Blend Indexed
    EXPECT_EQ(dialog.Text(1146), "1/3");
    EXPECT_EQ(dialog.Text(1148), "X");
    EXPECT_EQ(dialog.Text(1032), "1.500000");
    EXPECT_EQ(dialog.Text(1017), "2");
    Click(1029);
    Click(1029);
    Click(1029);
    EXPECT_EQ(dialog.Text(1146), "3/3");
    EXPECT_EQ(dialog.Text(1032), "7.000000");
    Click(1030);  // Property "<" from X wraps to the last present one
    EXPECT_EQ(dialog.Text(1148), "DIFFUSE");
    EXPECT_EQ(dialog.Text(1032), "65280");
    Click(1034);  // Hex
    EXPECT_EQ(dialog.Text(1032), "ff00");
    Click(1033);  // Dec
    EXPECT_EQ(dialog.Text(1032), "65280");

    state.selection = {0, 0};  // a frame
    state.showMeshNodeInfo();
    EXPECT_FALSE(dialog.IsEnabled(1036));
    EXPECT_FALSE(dialog.IsEnabled(1017));
    EXPECT_TRUE(dialog.IsEnabled(1146));
}

TEST_F(ToolsWindow, SetWritesTheValueAndUpdateFvfConverts) {
    SelectMeshNode(0);
    Click(1031);  // Y
    Type(1032, "42.5");
    Click(1037);  // Set To All Dots
    for (int v = 0; v < 3; ++v) EXPECT_EQ(test::VertexWords(model, 0)[v * 7 + 1], FloatBits(42.5f));

    Click(1013);  // Normal off
    Click(1023);  // Blend Indexed on
    EXPECT_TRUE(dialog.IsEnabled(1026));
    Click(1026);
    Click(1026);
    EXPECT_EQ(dialog.Text(1142), "2");
    Click(1024);
    EXPECT_EQ(dialog.Text(1143), "1");
    Click(1016);  // Update FVF
    EXPECT_EQ(model.Geometry(0)->fvf, 0x114Au);  // XYZB3 with indices, DIFFUSE, one texture set
    EXPECT_EQ(model.Geometry(0)->stride, 12 + 8 + 4 + 4 + 8);
    EXPECT_EQ(dialog.Text(1142), "2");
    EXPECT_EQ(dialog.Text(1143), "1");
    EXPECT_TRUE(dialog.IsChecked(1023));
    EXPECT_FALSE(dialog.IsChecked(1013));
    EXPECT_EQ(dialog.Text(1146), "1/3");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ToolsWindow, AnUnsupportedLayoutIsExplained) {
    SelectMeshNode(2);  // XYZB5
    EXPECT_EQ(dialog.Text(1032), "NOT SUPPORTED");
    const auto before = model.Geometry(2)->vertices;
    Click(1036);
    Click(1016);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0], "Set: The vertex layout 0xe is not supported.");
    EXPECT_EQ(prompts.messages[1], "Update FVF: The vertex layout 0xe is not supported.");
    EXPECT_EQ(model.Geometry(2)->vertices, before);
    EXPECT_EQ(model.Geometry(2)->fvf, 0x00Eu);
}

TEST_F(ToolsWindow, MaterialSetAndGo) {
    SelectMeshNode(3);
    EXPECT_EQ(dialog.Text(1017), "0");
    dialog.SetText(1017, "-2");
    Click(1018);
    EXPECT_EQ(model.MeshNodeMaterial(3), 1);
    EXPECT_EQ(dialog.Text(1017), "2");
    dialog.SetText(1017, "9");
    Click(1027);  // Go
    EXPECT_EQ(state.currentMaterial, 3);
    EXPECT_EQ(dialog.Text(1017), "4");
    EXPECT_EQ(dialog.Text(1154), "4/5");
    EXPECT_EQ(model.MeshNodeMaterial(3), 1);
}

TEST_F(ToolsWindow, MaterialWorkingCopyIsEditedAndUpdated) {
    ASSERT_TRUE(state.showMaterial);
    state.showMaterial();
    EXPECT_EQ(dialog.Text(1154), "1/5");
    Click(1040);
    Click(1040);
    EXPECT_EQ(dialog.Text(1154), "3/5");
    EXPECT_EQ(dialog.Text(1153), "b.bmp");
    EXPECT_EQ(dialog.Text(1048), "0.50000");
    Click(1054);  // Specular
    Type(1048, "0.75");
    Type(1056, "3");  // the focus leaves "Red :"
    Click(1047);      // Update (the focus leaves "Power :")
    const MaterialRecord m = model.GetMaterial(2);
    EXPECT_FLOAT_EQ(m.material.Specular.r, 0.75f);
    EXPECT_FLOAT_EQ(m.material.Power, 3.0f);
    EXPECT_FLOAT_EQ(m.material.Diffuse.r, 0.5f);
    EXPECT_EQ(dialog.Text(1048), "0.75000");

    Click(1042);
    Click(1042);
    EXPECT_EQ(dialog.Text(1188), "3/8");
    EXPECT_EQ(dialog.Text(1153), "NONE");
    Click(1044);
    EXPECT_EQ(dialog.Text(1153), "a.bmp");
    Click(1046);  // Refresh drops it
    EXPECT_EQ(dialog.Text(1153), "NONE");
}

TEST_F(ToolsWindow, WithEveryColourRadioClearTheColourFieldsShowAndEditNoColour) {
    state.showMaterial();
    dialog.SetCheck(1052, false);  // Diffuse off: no colour radio is checked
    dialog.SetText(1048, "kept");
    Click(1040);
    EXPECT_EQ(dialog.Text(1154), "2/5");
    EXPECT_EQ(dialog.Text(1048), "kept");
    EXPECT_EQ(dialog.Text(1056), "8.00000");
    Type(1048, "0.125");
    Type(1056, "2");  // the focus leaves "Red :"
    Click(1047);      // Update
    const MaterialRecord m = model.GetMaterial(1);
    EXPECT_FLOAT_EQ(m.material.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(m.material.Ambient.r, 0.0f);
    EXPECT_FLOAT_EQ(m.material.Specular.r, 0.0f);
    EXPECT_FLOAT_EQ(m.material.Emissive.r, 0.0f);
    EXPECT_FLOAT_EQ(m.material.Power, 2.0f);
}

TEST_F(ToolsWindow, AddTextureAsksForAnImageFile) {
    state.showMaterial();
    prompts.AnswerFile(std::string("/textures/new.tga"));
    Click(1045);
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].filter,
              "Image Files (*.bmp, *.tga, *.dds)|*.bmp;*.tga;*.dds|All Files (*.*)|*.*|");
    EXPECT_TRUE(prompts.fileRequests[0].overwritePrompt);
    EXPECT_EQ(model.TextureCount(), 3);
    EXPECT_EQ(dialog.Text(1153), "/textures/new.tga");

    prompts.AnswerFile(std::string(100, 'x'));
    Click(1045);
    EXPECT_EQ(model.TextureCount(), 3);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("at most 99"), std::string::npos);

    prompts.AnswerFile(std::nullopt);
    Click(1045);
    EXPECT_EQ(model.TextureCount(), 3);
}

TEST_F(ToolsWindow, NoMaterialsMeansTheMaterialControlsDoNothing) {
    Model empty;
    EditorState emptyState{empty, scene};
    MainDialog emptyDialog{emptyState};
    emptyDialog.StartUp();
    HandlerGroups emptyGroups{emptyDialog};
    for (int id = 1039; id <= 1057; ++id) emptyDialog.Enable(id, true);
    emptyState.showMaterial();
    EXPECT_EQ(emptyDialog.Text(1154), "0/0");
    for (int id : {1039, 1040, 1041, 1042, 1043, 1044, 1046, 1047, 1057}) {
        QTest::mouseClick(emptyDialog.Control(id), Qt::LeftButton);
    }
    EXPECT_EQ(emptyDialog.Text(1154), "0/0");
    EXPECT_EQ(emptyDialog.Text(1153), "NONE");
    EXPECT_EQ(emptyDialog.Text(1188), "0");
    EXPECT_TRUE(emptyState.editor.commandNames().empty());
}

TEST_F(ToolsWindow, ToleranceSetReadsPercentages) {
    dialog.SetText(1009, "5");
    Click(1010);
    EXPECT_EQ(dialog.Text(1009), "0.050");
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.05f);
    dialog.SetText(1009, "250");
    Click(1010);
    EXPECT_EQ(dialog.Text(1009), "0.001");
}

}  // namespace
}  // namespace ms::app
