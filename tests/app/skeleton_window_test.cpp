// The skeleton's controls in the real window: picking with the mouse, the "Envelope" group, the
// "Camera" group and the wheel.
#include <cstring>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/main_dialog.h"
#include "app/window_fixture.h"
#include "platform/ui/viewport_widget.h"
#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms::app {
namespace {

class SkeletonWindow : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        AddSkeleton();
    }

    // A root lying along x from (-1, 0, 0) to the origin and a child from there to (0.5, 0, 0),
    // with default envelopes, projected by the start camera.
    void AddSkeleton() {
        D3DXMATRIX local;
        D3DXMatrixTranslation(&local, -1, 0, 0);
        AddBone(scene, -1, local);
        D3DXMatrixTranslation(&local, 1, 0, 0);
        AddBone(scene, 0, local);
        GrowBoneStates(scene);
        SetUpHierarchy(scene, 0, kDefaultBoneLength);
        for (BoneState& s : scene.boneStates) SetDefaultEnvelope(s.envelope, s.length);
        UpdateAll(scene);
        ProjectBones(scene);
    }

    // The client position of the middle of a bone's screen segment (the viewport is at x = 378).
    QPoint BoneMiddle(int bone) const {
        const BoneState& s = scene.boneStates[bone];
        const float x = (s.originScreen[0] + s.endScreen[0]) / 2, y = (s.originScreen[1] + s.endScreen[1]) / 2;
        return QPoint(378 + qRound(445.5f * (1 + x)), qRound(326.5f * (1 - y)));
    }

    void Click(QPoint at) { QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, at); }
    void Press(int id) { QTest::mouseClick(dialog.Control(id), Qt::LeftButton); }

    bool EnvelopeGroupEnabled(bool withPaste) const {
        for (int id = 1093; id <= 1113; ++id)
            if (dialog.IsEnabled(id) != (id != 1094 || withPaste)) return false;
        return true;
    }

};

TEST_F(SkeletonWindow, AClickOnABoneShowsItsEnvelopeAndOneOnNothingDisablesTheGroup) {
    const int presented = dialog.Viewport(1178)->presentCount();
    Click(BoneMiddle(0));
    EXPECT_EQ(scene.pickedBone, 0);
    EXPECT_TRUE(state.bonePicked);
    EXPECT_TRUE(EnvelopeGroupEnabled(false));  // paste waits for a copy
    // The root is 1 long: Dot 2 = (1, 0, 0), R1 0.1, R2 0.2, curve 3.
    EXPECT_EQ(dialog.Text(1099), "0.00000");
    EXPECT_EQ(dialog.Text(1104), "1.00000");
    EXPECT_EQ(dialog.Text(1107), "0.10000");
    EXPECT_EQ(dialog.Text(1108), "0.20000");
    EXPECT_TRUE(dialog.IsChecked(1098));
    EXPECT_FALSE(dialog.IsChecked(1109));
    EXPECT_GT(dialog.Viewport(1178)->presentCount(), presented);

    Click(QPoint(378 + 20, 20));  // a corner of the viewport, far from the bones
    EXPECT_EQ(scene.pickedBone, -1);
    EXPECT_FALSE(state.bonePicked);
    for (int id = 1093; id <= 1113; ++id) EXPECT_FALSE(dialog.IsEnabled(id)) << id;
}

TEST_F(SkeletonWindow, CopyEnablesPasteWhichShowsTheCopyWithSixDecimals) {
    Click(BoneMiddle(1));
    ASSERT_EQ(scene.pickedBone, 1);
    dialog.SetText(1102, "0.5");  // Dot 1 R1 above R2 (0.1): the copy swaps them
    Press(1093);
    EXPECT_TRUE(EnvelopeGroupEnabled(true));
    dialog.SetText(1102, "7");
    Press(1094);
    EXPECT_EQ(dialog.Text(1102), "0.100000");
    EXPECT_EQ(dialog.Text(1103), "0.500000");
    EXPECT_FLOAT_EQ(scene.boneStates[1].envelope.dot1R1, 0.05f);  // no bone changes before Set
    Press(1113);
    EXPECT_FLOAT_EQ(scene.boneStates[1].envelope.dot1R2, 0.5f);
    EXPECT_EQ(dialog.Text(1103), "0.50000");
    EXPECT_EQ(state.editor.commandNames(), std::vector<std::string>{"Set"});
}

TEST_F(SkeletonWindow, ATranslateDragIsOneCommandAndTheBoneButtonsAreCommands) {
    Press(1087);  // "Translate"
    Press(1114);  // axis "X"
    const QPoint at = BoneMiddle(1);
    QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseMove(dialog.windowHandle(), at + QPoint(10, 0));
    QTest::mouseMove(dialog.windowHandle(), at + QPoint(29, 0));
    QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, at + QPoint(29, 0));
    EXPECT_NEAR(scene.matrices[scene.bones[0].local]._41, -1 + 29 * 0.0034482758f, 1e-5f);
    scene.boneStates[1].poseAngles[0] = 0.4f;
    Press(1120);  // "a&X=0"
    EXPECT_EQ(state.editor.commandNames(), (std::vector<std::string>{"Translate", "aX=0"}));
}

// Ctrl+Z in the middle of a drag first ends the drag as its own step, then undoes it: the
// moves that follow until the button comes up change nothing, and every step undoes exactly.
TEST_F(SkeletonWindow, AnUndoOrACommandInTheMiddleOfADragFollowsTheDragsStep) {
    auto dump = [&] { return SceneToJson(scene).dump(); };
    Click(BoneMiddle(1));
    const std::string start = dump();
    Press(1087);  // "Translate"
    Press(1114);  // axis "X"
    const QPoint at = BoneMiddle(1);
    QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseMove(dialog.windowHandle(), at + QPoint(20, 0));
    QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, at + QPoint(20, 0));
    const std::string afterFirst = dump();
    ASSERT_NE(afterFirst, start);

    const QPoint next = BoneMiddle(1);
    QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, next);
    QTest::mouseMove(dialog.windowHandle(), next + QPoint(15, 0));
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dump(), afterFirst);
    QTest::mouseMove(dialog.windowHandle(), next + QPoint(40, 0));
    QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, next + QPoint(40, 0));
    EXPECT_EQ(dump(), afterFirst);
    EXPECT_EQ(state.editor.commandNames(), (std::vector<std::string>{"Translate", "Translate"}));

    ASSERT_TRUE(state.editor.Undo());
    EXPECT_EQ(dump(), start);
    ASSERT_TRUE(state.editor.Redo());
    EXPECT_EQ(dump(), afterFirst);

    // Any command in the middle of a drag (a button's mnemonic) likewise follows the drag's step.
    const QPoint third = BoneMiddle(1);
    QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, third);
    QTest::mouseMove(dialog.windowHandle(), third + QPoint(15, 0));
    const std::string dragged = dump();
    ASSERT_TRUE(state.editor.Run("Set", [](Model& m, Scene&) {
        m.SetMaterialTolerance(0.5f);
        return Status::Ok();
    }));
    QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, third + QPoint(30, 0));
    EXPECT_EQ(state.editor.history().UndoStep().name, "Set");
    ASSERT_TRUE(state.editor.Undo());
    EXPECT_EQ(dump(), dragged);
    ASSERT_TRUE(state.editor.Undo());
    EXPECT_EQ(dump(), afterFirst);
}

TEST_F(SkeletonWindow, PresetsSetAndTheWheelWriteTheCameraEdits) {
    Press(1138);  // "Top"
    EXPECT_EQ(dialog.Text(1128), "-90.000");
    EXPECT_EQ(dialog.Text(1129), "89.000");
    EXPECT_EQ(dialog.Text(1130), "5.000");

    const QPoint at(378 + 400, 300);
    QWheelEvent wheel(at, dialog.mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(&dialog, &wheel);
    EXPECT_EQ(dialog.Text(1130), "4.500");
    EXPECT_TRUE(wheel.isAccepted());

    const D3DXMATRIX projection = scene.projection;
    dialog.SetText(1130, "-3");
    dialog.SetText(1131, "0");  // near 0 makes no projection
    Press(1139);
    EXPECT_EQ(dialog.Text(1130), "3.000");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find("previous projection is kept"), std::string::npos);
    EXPECT_EQ(std::memcmp(&scene.projection, &projection, sizeof projection), 0);
    EXPECT_TRUE(state.editor.commandNames().empty());  // the camera is view state
}


TEST_F(SkeletonWindow, AMouseMoveAfterTheWindowMenuDoesNotOrbit) {
    // A right click outside the viewport opens the window's menu, which takes the button's release.
    QPoint free(-1, -1);
    const QRect viewport = dialog.Control(1178)->geometry();
    for (int y = 5; y < dialog.height() && free.x() < 0; y += 3)
        for (int x = 5; x < dialog.width() && free.x() < 0; x += 3)
            if (!dialog.childAt(QPoint(x, y)) && !viewport.contains(QPoint(x, y))) free = QPoint(x, y);
    ASSERT_GE(free.x(), 0);
    bool menuShown = false;
    QTimer::singleShot(100, [&menuShown] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            menuShown = true;
            menu->close();
        }
    });
    QTest::mousePress(dialog.windowHandle(), Qt::RightButton, {}, free);
    ASSERT_TRUE(menuShown);
    const CameraValues camera = scene.camera;
    QTest::mouseMove(dialog.windowHandle(), free + QPoint(40, 0));
    QTest::mouseMove(dialog.windowHandle(), free + QPoint(80, 20));
    EXPECT_EQ(scene.camera.angleY, camera.angleY);
    EXPECT_EQ(scene.camera.angleXZ, camera.angleXZ);
}

}  // namespace
}  // namespace ms::app
