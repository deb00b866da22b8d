// "Merging Tools" in the real window: the buttons run the merge tools on the window's state.
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_dialog.h"
#include "app/window_fixture.h"
#include "tools/connect_fixture.h"

namespace ms::app {
namespace {

class MergingTools : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        test::MeshSpec near, far;
        near.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        far.name = "Far";
        far.values = {1e6f, 0, 0, 1e6f, 1, 0, 1e6f, 0, 1};
        test::BuildModel(model, {near, far});
        test::BuildSkeleton(scene, {{-1, {0, 0, 0}, 1, 2}});
    }

};

TEST_F(MergingTools, LevelButtonsAndSetDistanceShowTheLevelAndItsDistance) {
    Click(1066);
    EXPECT_EQ(dialog.Text(1160), "6");
    EXPECT_EQ(dialog.Text(1068), "100.00");
    for (int i = 0; i < 5; ++i) Click(1066);
    EXPECT_EQ(dialog.Text(1160), "9");
    EXPECT_EQ(dialog.Text(1068), "1000.00");
    for (int i = 0; i < 5; ++i) Click(1065);
    EXPECT_EQ(dialog.Text(1160), "4");
    dialog.SetText(1068, "7.5");
    Click(1067);
    EXPECT_EQ(dialog.Text(1068), "7.50");
    dialog.SetText(1068, "seven");
    Click(1067);
    EXPECT_EQ(dialog.Text(1068), "7.50");

    // Connect uses the square of the current distance and clears "Display".
    state.selection = {0, 1};
    dialog.SetCheck(1011, true);
    Click(1058);
    ASSERT_EQ(scene.drawNodes.size(), 1u);
    EXPECT_EQ(scene.drawNodes[0].threshold, 56.25f);
    EXPECT_FALSE(dialog.IsChecked(1011));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(state.editor.commandNames(), std::vector<std::string>{"Connect"});
}

TEST_F(MergingTools, RefusedMeshNodesAreNamedInAMessageAndTheOthersConnect) {
    state.selection = {0, 0};  // the frame holding both meshes
    Click(1059);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("Connect Shadow: "), std::string::npos) << prompts.messages[0];
    EXPECT_NE(prompts.messages[0].find("'Far': no bone is picked and no bone is near the mesh"), std::string::npos)
        << prompts.messages[0];
    EXPECT_EQ(scene.drawNodes.size(), 1u);
    EXPECT_EQ(scene.bones[0].firstShadowNode, 0);
}

TEST_F(MergingTools, BlankLevelsNeedAPickedBone) {
    Click(1061);
    EXPECT_TRUE(scene.drawNodes.empty());
    scene.pickedBone = 0;
    Click(1061);
    Click(1061);
    Click(1062);
    ASSERT_EQ(scene.drawNodes.size(), 2u);
    EXPECT_EQ(scene.bones[0].firstMeshNode, 0);
    EXPECT_EQ(scene.bones[0].firstShadowNode, 1);
    EXPECT_EQ(scene.drawNodes[1].threshold, 2500.0f);
}

TEST_F(MergingTools, ConnectWithNothingSelectedDoesNothing) {
    dialog.SetCheck(1011, true);
    Click(1058);
    EXPECT_TRUE(scene.drawNodes.empty());
    EXPECT_TRUE(dialog.IsChecked(1011));
}

TEST_F(MergingTools, TheToleranceEditShowsTheToleranceThatUndoAndRedoRestore) {
    dialog.SetText(1009, "0.25");
    QTest::mouseClick(dialog.Control(1010), Qt::LeftButton);  // tolerance "Set"
    ASSERT_FLOAT_EQ(model.MaterialTolerance(), 0.25f);
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.001f);
    EXPECT_EQ(dialog.Text(1009), "0.001");
    QTest::keyClick(&dialog, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(dialog.Text(1009), "0.250");
}

// After undo and redo the material controls are switched on or off for the restored Model, as
// the command that changed it had done.
TEST_F(MergingTools, UndoAndRedoSwitchTheMaterialControlsForTheRestoredModel) {
    auto materialControls = [&] {
        int on = 0;
        for (int id = 1039; id <= 1056; ++id) on += dialog.IsEnabled(id) ? 1 : 0;
        return on;
    };
    ASSERT_GT(model.MaterialCount(), 0);
    Click(1005);  // model "Clear"
    ASSERT_EQ(model.MaterialCount(), 0);
    EXPECT_EQ(materialControls(), 0);
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_GT(model.MaterialCount(), 0);
    EXPECT_EQ(materialControls(), 1056 - 1039 + 1);
    QTest::keyClick(&dialog, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(materialControls(), 0);
}

}  // namespace
}  // namespace ms::app
