// The model tree, the model and skeleton file commands and the skin and scene file buttons in the
// window, with the file dialogs answered by the test.
#include <filesystem>

#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/window_fixture.h"
#include "app/main_dialog.h"
#include "edit/control_enabling.h"
#include "model/gmf_builder.h"
#include "platform/ui/viewport_widget.h"
#include "skin/scene_file_builder.h"
#include "support/temp_dir.h"

namespace ms::app {
namespace {

using test::Frame;
using test::Node;

// Root (mesh A) with children Arm (meshes B, C; child Hand, whose name is longer than a label
// shows) and Leg; mesh nodes D and E belong to no frame. No materials.
test::GmfBuilder NestedModel() {
    test::GmfBuilder b;
    b.frames = {Frame("Root", 0, 1, -1, 1), Frame("Arm", 1, 2, 3, 2), Frame("Hand_with_a_name_of_thirty_one!"),
                Frame("Leg")};
    b.nodes = {Node("A", 0, -1), Node("B", 0, -1), Node("C", 0, -1), Node("D", 0, -1), Node("E", 0, -1)};
    b.geometries = {test::GeometryBlock{}};
    return b;
}

// Hip -> Knee -> Foot.
test::GmfBuilder Leg() {
    test::GmfBuilder b;
    b.frames = {Frame("Hip", -1, 0, -1, 1), Frame("Knee", -1, 0, -1, 2), Frame("Foot")};
    return b;
}

std::string Sample(const char* name) { return std::string(MS_SAMPLES_DIR) + "/" + name; }

// The tree's items, one a line, indented by depth.
std::string TreeText(QTreeWidget* tree) {
    std::string text;
    std::vector<std::pair<QTreeWidgetItem*, int>> stack;
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) stack.push_back({tree->topLevelItem(i), 0});
    while (!stack.empty()) {
        auto [item, depth] = stack.back();
        stack.pop_back();
        text += std::string(2 * depth, ' ') + item->text(0).toStdString() + "\n";
        for (int i = item->childCount() - 1; i >= 0; --i) stack.push_back({item->child(i), depth + 1});
    }
    return text;
}

class ModelFilesWindow : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        state.showMeshNodeInfo = [this] { ++meshInfoShown; };
        state.showMaterial = [this] { ++materialShown; };
        test::WriteFileBytes(dir.Path("nested.gmf"), NestedModel().Bytes());
        test::WriteFileBytes(dir.Path("small.gmf"), test::SmallModel().Bytes());
        test::WriteFileBytes(dir.Path("leg.gmf"), Leg().Bytes());
        test::WriteFileBytes(dir.Path("broken.gmf"), {1, 0, 0});
    }

    // Clicks `id` with `answer` ready for the file dialog it opens (nothing: Cancel).
    void Click(int id, std::optional<std::string> answer = std::nullopt) {
        prompts.AnswerFile(std::move(answer));
        QTest::mouseClick(dialog.Control(id), Qt::LeftButton);
    }
    void ClickWithoutDialog(int id) { QTest::mouseClick(dialog.Control(id), Qt::LeftButton); }
    QTreeWidget* tree() { return dialog.Tree(1002); }
    int presents() { return dialog.Viewport(1178)->presentCount(); }
    bool AllEnabled(int first, int last) {
        for (int i = first; i <= last; ++i)
            if (!dialog.IsEnabled(i)) return false;
        return true;
    }
    bool NoneEnabled(int first, int last) {
        for (int i = first; i <= last; ++i)
            if (dialog.IsEnabled(i)) return false;
        return true;
    }

    test::TempDir dir;
    int meshInfoShown = 0;
    int materialShown = 0;
};

TEST_F(ModelFilesWindow, TheTreeShowsFramesWithTheirMeshesThenChildrenAndLooseMeshesLast) {
    Click(1003, dir.Path("nested.gmf"));
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    const ui::FileRequest& r = prompts.fileRequests[0];
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.filter, "Model Files (*.x, *.gmf)|*.x;*.gmf|");
    EXPECT_EQ(r.initialName, "");
    EXPECT_EQ(r.defaultExtension, "");
    EXPECT_EQ(TreeText(tree()),
              "F : Root\n"
              "  M : A\n"
              "  F : Arm\n"
              "    M : B\n"
              "    M : C\n"
              "    F : Hand_with_a_name_of_thirty_one\n"
              "  F : Leg\n"
              "M : D\n"
              "M : E\n");
    EXPECT_EQ(state.selection.index, -1);
    EXPECT_TRUE(NoneEnabled(1039, 1056));  // no material
    EXPECT_EQ(materialShown, 0);
}

TEST_F(ModelFilesWindow, SelectingAnItemFindsItsRecordEvenWhenTheLabelCutsTheName) {
    Click(1003, dir.Path("nested.gmf"));
    QTreeWidgetItem* hand = tree()->topLevelItem(0)->child(1)->child(2);
    ASSERT_EQ(hand->text(0), "F : Hand_with_a_name_of_thirty_one");
    const int before = presents();
    tree()->setCurrentItem(hand);
    EXPECT_EQ(state.selection.index, 2);
    EXPECT_EQ(state.selection.kind, 0);
    EXPECT_TRUE(dialog.IsChecked(1011));
    EXPECT_EQ(presents(), before + 1);
    EXPECT_TRUE(NoneEnabled(1013, 1038));

    tree()->setCurrentItem(tree()->topLevelItem(2));  // loose mesh node E
    EXPECT_EQ(state.selection.index, 4);
    EXPECT_EQ(state.selection.kind, 1);
    EXPECT_EQ(meshInfoShown, 1);
    EXPECT_EQ(presents(), before + 2);
}

TEST_F(ModelFilesWindow, TheBlendArrowsComeOnOnlyWithBlendIndexed) {
    EnableMeshControls(dialog, true);
    EXPECT_TRUE(dialog.IsEnabled(1013) && dialog.IsEnabled(1038) && dialog.IsEnabled(1024));
    EXPECT_FALSE(dialog.IsEnabled(1025) || dialog.IsEnabled(1026));
    dialog.SetCheck(1023, true);
    EnableMeshControls(dialog, true);
    EXPECT_TRUE(dialog.IsEnabled(1025) && dialog.IsEnabled(1026));
    EnableMeshControls(dialog, false);
    EXPECT_TRUE(NoneEnabled(1013, 1038));
    EnableMaterialControls(dialog, true);
    EXPECT_TRUE(AllEnabled(1039, 1056));
}

TEST_F(ModelFilesWindow, ReplaceKeepsTheModelOnCancelAndOnARejectedFile) {
    Click(1003, dir.Path("small.gmf"));
    ASSERT_EQ(model.FrameCount(), 3);
    EXPECT_TRUE(AllEnabled(1039, 1056));
    EXPECT_EQ(materialShown, 1);
    EXPECT_EQ(state.currentMaterial, 0);
    tree()->setCurrentItem(tree()->topLevelItem(0));
    const std::string treeBefore = TreeText(tree());

    const int before = presents();
    Click(1003);  // cancelled
    EXPECT_EQ(model.FrameCount(), 3);
    EXPECT_EQ(TreeText(tree()), treeBefore);
    EXPECT_EQ(presents(), before + 1);
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("small.gmf"));

    Click(1003, dir.Path("broken.gmf"));
    EXPECT_EQ(model.FrameCount(), 3);
    EXPECT_STREQ(model.FrameName(1), "Hips");
    EXPECT_EQ(TreeText(tree()), treeBefore);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("broken.gmf"), std::string::npos) << prompts.messages[0];
    EXPECT_NE(prompts.messages[0].find("header"), std::string::npos) << prompts.messages[0];
    // The dialog path follows the confirmed choice all the same.
    Click(1003);
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("broken.gmf"));
}

TEST_F(ModelFilesWindow, ReplaceReadsAnUpperCaseXAsXAndFindsItsTexturesBesideIt) {
    std::filesystem::copy_file(Sample("figure.x"), dir.Path("figure.X"));
    for (const char* texture : {"skin.png", "cloth.bmp", "leather.tga", "metal.dds", "face.jpg"})
        std::filesystem::copy_file(Sample(texture), dir.Path(texture));
    Click(1003, dir.Path("figure.X"));
    EXPECT_EQ(model.FrameCount(), 18);
    ASSERT_GT(model.TextureCount(), 0);
    for (std::int32_t t = 0; t < model.TextureCount(); ++t)
        EXPECT_NE(model.Texture(t), nullptr) << model.TextureName(t);
    // A .x file does not become the target of Save.
    Click(1006);
    EXPECT_TRUE(prompts.fileRequests.back().save);
}

TEST_F(ModelFilesWindow, MergeAppendsAndLeavesTheSaveTargetAlone) {
    Click(1003, dir.Path("small.gmf"));
    Click(1004, dir.Path("nested.gmf"));
    EXPECT_EQ(model.FrameCount(), 7);
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("small.gmf"));
    const std::vector<std::uint8_t> nested = test::ReadFileBytes(dir.Path("nested.gmf"));
    const std::size_t asked = prompts.fileRequests.size();
    ClickWithoutDialog(1006);  // Save writes the replaced file, without asking
    EXPECT_EQ(prompts.fileRequests.size(), asked);
    EXPECT_EQ(test::ReadFileBytes(dir.Path("nested.gmf")), nested);
    Model saved;
    ASSERT_TRUE(saved.LoadGmf(dir.Path("small.gmf")));
    EXPECT_EQ(saved.FrameCount(), 7);
}

TEST_F(ModelFilesWindow, ClearEmptiesTheModelAndKeepsTheSaveTarget) {
    Click(1003, dir.Path("small.gmf"));
    tree()->setCurrentItem(tree()->topLevelItem(0)->child(0)->child(0));
    dialog.Enable(1013, true);  // as the mesh tools would
    ClickWithoutDialog(1005);
    EXPECT_EQ(model.FrameCount() + model.MeshNodeCount() + model.MaterialCount(), 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_EQ(state.selection.index, -1);
    EXPECT_EQ(state.selection.kind, 0);
    EXPECT_TRUE(NoneEnabled(1013, 1056));
    ClickWithoutDialog(1006);
    Model saved;
    ASSERT_TRUE(saved.LoadGmf(dir.Path("small.gmf")));
    EXPECT_EQ(saved.FrameCount(), 0);
}

TEST_F(ModelFilesWindow, SaveAsksOnlyWithoutATargetAndSaveAsAlways) {
    Click(1004, dir.Path("small.gmf"));  // merged: no target yet
    Click(1006, dir.Path("out.gmf"));
    const ui::FileRequest r = prompts.fileRequests.back();
    EXPECT_TRUE(r.save);
    EXPECT_TRUE(r.overwritePrompt);
    EXPECT_EQ(r.filter, "Graphic Model Files (*.gmf)|*.gmf|");
    EXPECT_EQ(r.initialName, "");
    EXPECT_EQ(test::ReadFileBytes(dir.Path("out.gmf")), test::ReadFileBytes(dir.Path("small.gmf")));
    const std::size_t asked = prompts.fileRequests.size();
    std::filesystem::remove(dir.Path("out.gmf"));
    ClickWithoutDialog(1006);
    EXPECT_EQ(prompts.fileRequests.size(), asked);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("out.gmf")));

    const int before = presents();
    Click(1007);  // cancelled
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("out.gmf"));
    EXPECT_EQ(presents(), before + 1);
    Click(1007, dir.Path("no/such/folder/x.gmf"));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("no/such/folder/x.gmf"), std::string::npos) << prompts.messages[0];
    Click(1007, dir.Path("copy.gmf"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path("copy.gmf")));
    Click(1003);
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("copy.gmf"));  // the model dialog path too
}

TEST_F(ModelFilesWindow, LoadSceletonMakesBonesOfFramesWithChildrenOrOfEveryFrame) {
    Click(1085, dir.Path("leg.gmf"));
    const ui::FileRequest r = prompts.fileRequests.back();
    EXPECT_EQ(r.filter, "Model Files (*.x, *.gm)|*.x;*.gmf|");
    EXPECT_EQ(scene.BoneCount(), 2);
    EXPECT_EQ(model.FrameCount(), 0);  // the Model is not touched
    dialog.SetCheck(1092, true);
    Click(1085, dir.Path("leg.gmf"));
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("leg.gmf"));
    EXPECT_EQ(scene.BoneCount(), 5);
    Click(1085, dir.Path("broken.gmf"));
    EXPECT_EQ(scene.BoneCount(), 5);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("broken.gmf"), std::string::npos);
}

TEST_F(ModelFilesWindow, SkinAndSceneFilesSaveOpenAndClear) {
    Click(1085, dir.Path("leg.gmf"));
    Click(1083, dir.Path("leg.skn"));
    ui::FileRequest r = prompts.fileRequests.back();
    EXPECT_TRUE(r.save);
    EXPECT_TRUE(r.overwritePrompt);
    EXPECT_EQ(r.defaultExtension, "skn");
    EXPECT_EQ(r.filter, "Skin Files (*.skn)|*.skn|Scene Files (*.scn)|*.scn||");
    Click(1083, dir.Path("leg.SCN"));
    EXPECT_EQ(prompts.fileRequests.back().initialName, dir.Path("leg.skn"));
    EXPECT_EQ(test::ReadFileBytes(dir.Path("leg.skn")).size(),
              test::ReadFileBytes(dir.Path("leg.SCN")).size() + 2 * 228);

    for (int i = 1093; i <= 1113; ++i) dialog.Enable(i, true);  // as a picked bone would
    state.bonePicked = true;
    ClickWithoutDialog(1084);
    EXPECT_EQ(scene.BoneCount(), 0);
    EXPECT_FALSE(state.bonePicked);
    EXPECT_TRUE(NoneEnabled(1093, 1113));

    Click(1082, dir.Path("leg.skn"));
    r = prompts.fileRequests.back();
    EXPECT_FALSE(r.save);
    EXPECT_TRUE(r.mustExist);
    EXPECT_EQ(r.filter, "Skin & Scene Files (*.skn, *.scn)|*.skn;*.scn|");
    EXPECT_EQ(r.initialName, dir.Path("leg.SCN"));
    EXPECT_EQ(scene.BoneCount(), 2);
    Click(1082, dir.Path("leg.gmf"));  // not a scene file
    EXPECT_EQ(scene.BoneCount(), 2);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("leg.gmf"), std::string::npos);
    Click(1083, dir.Path("no/such/folder/a.skn"));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_NE(prompts.messages[1].find("no/such/folder/a.skn"), std::string::npos);
}

TEST_F(ModelFilesWindow, ClearMeshesAndClearShadowTakeThePickedBonesChainOrEveryBones) {
    test::SmallScene parts;
    parts.nodes.push_back({-1, -1, 0, 0, -1, 50.0f});
    parts.bones[1].firstShadowNode = 1;
    test::WriteFileBytes(dir.Path("s.scn"), parts.File().bytes);
    Click(1082, dir.Path("s.scn"));
    ASSERT_EQ(scene.drawNodes.size(), 2u);
    scene.pickedBone = 0;  // bone 0 has no shadow chain
    ClickWithoutDialog(1090);
    EXPECT_EQ(scene.drawNodes.size(), 2u);
    scene.pickedBone = 1;
    ClickWithoutDialog(1090);
    EXPECT_EQ(scene.drawNodes.size(), 1u);
    EXPECT_EQ(scene.bones[0].firstMeshNode, 0);
    scene.pickedBone = -1;
    const int before = presents();
    ClickWithoutDialog(1089);
    EXPECT_TRUE(scene.drawNodes.empty());
    EXPECT_TRUE(scene.geometries.empty());
    EXPECT_TRUE(scene.textureNames.empty());
    EXPECT_EQ(presents(), before + 1);
    EXPECT_EQ(state.editor.commandNames().back(), "Clear Meshes");
}

TEST_F(ModelFilesWindow, AChainOfFiftyThousandFramesFillsAndEmptiesTheTree) {
    test::GmfBuilder b;
    const int depth = 50000;
    for (int f = 0; f < depth; ++f) b.frames.push_back(Frame("F", -1, 0, -1, f + 1 < depth ? f + 1 : -1));
    test::WriteFileBytes(dir.Path("deep.gmf"), b.Bytes());
    Click(1003, dir.Path("deep.gmf"));
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* item = tree()->topLevelItem(0);
    int levels = 1;
    while (item->childCount() > 0) {
        item = item->child(0);
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    ClickWithoutDialog(1005);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    Click(1003, dir.Path("deep.gmf"));  // and the window closes with it
}

// The tree and file commands with the mesh and material groups they drive, all as the window
// routes them.
class ModelAndToolsWindow : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        test::WriteFileBytes(dir.Path("small.gmf"), test::SmallModel().Bytes());
    }
    void Click(int id) { QTest::mouseClick(dialog.Control(id), Qt::LeftButton); }
    bool Enabled(std::initializer_list<int> ids) {
        for (int id : ids)
            if (!dialog.IsEnabled(id)) return false;
        return true;
    }
    bool Disabled(int first, int last) {
        for (int i = first; i <= last; ++i)
            if (dialog.IsEnabled(i)) return false;
        return true;
    }

    test::TempDir dir;
};

TEST_F(ModelAndToolsWindow, ReplaceShowsMaterialZeroTheTreeShowsTheMeshAndClearSwitchesEverythingOff) {
    prompts.AnswerFile(dir.Path("small.gmf"));
    Click(1003);
    ASSERT_EQ(model.MaterialCount(), 1);
    EXPECT_TRUE(Enabled({1039, 1045, 1047, 1048, 1052, 1055, 1056}));
    EXPECT_EQ(dialog.Text(1154), "1/1");
    EXPECT_EQ(dialog.Text(1153), "skin.bmp");
    EXPECT_EQ(dialog.Text(1048), "0.50000");
    EXPECT_EQ(dialog.Text(1049), "0.25000");
    EXPECT_EQ(dialog.Text(1056), "8.00000");
    EXPECT_TRUE(Disabled(1013, 1038));

    QTreeWidget* tree = dialog.Tree(1002);
    QTreeWidgetItem* hips = tree->topLevelItem(0)->child(0);
    ASSERT_EQ(hips->child(0)->text(0), "M : Body");
    tree->setCurrentItem(hips->child(0));
    EXPECT_TRUE(Enabled({1013, 1014, 1015, 1016, 1017, 1018, 1022, 1023, 1024, 1027, 1032, 1033, 1036, 1037, 1038}));
    EXPECT_FALSE(dialog.IsEnabled(1025) || dialog.IsEnabled(1026));  // Blend Indexed is clear
    EXPECT_TRUE(dialog.IsChecked(1013));                              // the FVF 0x112 has normals
    EXPECT_FALSE(dialog.IsChecked(1020));
    EXPECT_EQ(dialog.Text(1143), "1");
    EXPECT_EQ(dialog.Text(1142), "0");
    EXPECT_EQ(dialog.Text(1146), "1/3");
    EXPECT_EQ(dialog.Text(1148), "X");
    EXPECT_EQ(dialog.Text(1017), "1");

    // Set and Update FVF change the mesh without drawing a frame.
    const int presents = dialog.Viewport(1178)->presentCount();
    dialog.SetText(1032, "2.5");
    Click(1036);
    Click(1013);  // Normal off
    Click(1014);  // no texture set
    Click(1016);
    EXPECT_EQ(model.Geometry(0)->fvf, 0x002u);
    EXPECT_EQ(dialog.Text(1143), "0");
    EXPECT_EQ(dialog.Viewport(1178)->presentCount(), presents);

    tree->setCurrentItem(hips);
    EXPECT_TRUE(Disabled(1013, 1038));
    tree->setCurrentItem(hips->child(0));
    // A new model leaves no mesh node selected: the mesh tools wait for the tree.
    prompts.AnswerFile(dir.Path("small.gmf"));
    Click(1003);
    EXPECT_TRUE(Disabled(1013, 1038));
    tree = dialog.Tree(1002);
    tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(0));
    EXPECT_TRUE(dialog.IsEnabled(1036));
    Click(1005);  // Clear
    EXPECT_TRUE(Disabled(1013, 1056));
    EXPECT_TRUE(dialog.IsEnabled(1057));
}

}  // namespace
}  // namespace ms::app
