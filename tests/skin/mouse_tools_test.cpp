#include "skin/mouse_tools.h"

#include <cmath>

#include <gtest/gtest.h>

#include "skin/camera.h"
#include "skin/skeleton_commands.h"

namespace ms {
namespace {

// Bones whose screen segments are given directly: {origin x, origin y, end x, end y} each.
Scene ScreenBones(std::initializer_list<std::array<float, 4>> segments) {
    Scene s;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (std::size_t i = 0; i < segments.size(); ++i) AddBone(s, -1, identity);
    GrowBoneStates(s);
    int b = 0;
    for (const auto& seg : segments) {
        BoneState& st = s.boneStates[b++];
        st.originScreen[0] = seg[0];
        st.originScreen[1] = seg[1];
        st.endScreen[0] = seg[2];
        st.endScreen[1] = seg[3];
    }
    return s;
}

TEST(Pick, TheSmallestDetourBelowTheThresholdWins) {
    const struct {
        const char* what;
        Scene scene;
        ViewportPoint point;
        std::int32_t hit;
    } rows[] = {
        {"on a segment", ScreenBones({{-0.5f, 0, 0.5f, 0}}), {0.1f, 0}, 1},
        {"the nearer of two segments", ScreenBones({{-0.5f, 0.0005f, 0.5f, 0.0005f}, {-0.5f, 0, 0.5f, 0}}), {0, 0}, 2},
        {"equal detours: the lower index",
         ScreenBones({{0.5f, 0.5f, 0.6f, 0.6f}, {-0.5f, 0, 0.5f, 0}, {-0.5f, 0, 0.5f, 0}}), {0, 0.001f}, 2},
        {"beyond the end of the segment", ScreenBones({{-0.5f, 0, 0.5f, 0}}), {0.502f, 0}, 0},
        {"a bone that is a point, within 0.0015", ScreenBones({{0.3f, 0.3f, 0.3f, 0.3f}}), {0.3014f, 0.3f}, 1},
        {"a bone that is a point, beyond 0.0015", ScreenBones({{0.3f, 0.3f, 0.3f, 0.3f}}), {0.3016f, 0.3f}, 0},
        {"outside the viewport, even on a far bone", ScreenBones({{-2000, -1000, 0, -1000}}), kOutsideViewport, 0},
        {"no bones", ScreenBones({}), {0, 0}, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Pick(r.scene, r.point), r.hit);
    }
}

TEST(Pick, SelectingMakesTheWinnerOrNoneThePickedBone) {
    Scene s = ScreenBones({{-0.5f, 0, 0.5f, 0}, {0, -0.5f, 0, 0.5f}});
    EXPECT_EQ(PickAndSelect(s, {0, 0.3f}), 2);
    EXPECT_EQ(s.pickedBone, 1);
    EXPECT_EQ(PickAndSelect(s, {0.9f, 0.9f}), 0);
    EXPECT_EQ(s.pickedBone, -1);
}

TEST(MapToViewport, OnlyPointsStrictlyInsideMap) {
    const ui::ScreenRect r{100, 50, 100 + 891, 50 + 653};
    const struct {
        int x, y;
        ViewportPoint expected;
    } rows[] = {
        {100, 300, kOutsideViewport},  // the left edge
        {991, 300, kOutsideViewport},  // the right edge
        {500, 50, kOutsideViewport},
        {500, 703, kOutsideViewport},
        {101, 51, {1.0f / 445.5f - 1.0f, 1.0f - 1.0f / 326.5f}},
        {990, 702, {1.0f - 1.0f / 445.5f, 1.0f / 326.5f - 1.0f}},
        {100 + 445, 50 + 326, {-0.5f / 445.5f, 0.5f / 326.5f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.x) + "," + std::to_string(row.y));
        const ViewportPoint p = MapToViewport({row.x, row.y}, r);
        EXPECT_NEAR(p.x, row.expected.x, 1e-6f);
        EXPECT_NEAR(p.y, row.expected.y, 1e-6f);
    }
}

TEST(MouseTools, RadiosChooseToolAndAxis) {
    EXPECT_EQ(ToolFromRadios(false, false), MouseTool::kSelect);
    EXPECT_EQ(ToolFromRadios(true, false), MouseTool::kTranslate);
    EXPECT_EQ(ToolFromRadios(false, true), MouseTool::kRotate);
    EXPECT_EQ(AxisFromRadios({false, false, false, false, false, false}), DragAxis::kXY);
    EXPECT_EQ(AxisFromRadios({false, true, false, true, false, false}), DragAxis::kY);  // the first checked
    EXPECT_EQ(AxisFromRadios({false, false, false, false, true, false}), DragAxis::kZX);
}

// A root at (-1, 0, 0) with one child at x = 1 in the root's space (the world origin), seen by
// the start camera: the root runs from x = -1 to 0, the child from 0 to 0.5.
Scene TwoBones() {
    Scene s;
    D3DXMATRIX local;
    D3DXMatrixTranslation(&local, -1, 0, 0);
    AddBone(s, -1, local);
    D3DXMatrixTranslation(&local, 1, 0, 0);
    AddBone(s, 0, local);
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    UpdateAll(s);
    StartView(s);
    return s;
}

// The middle of a bone's screen segment.
ViewportPoint Middle(const Scene& s, int bone) {
    const BoneState& b = s.boneStates[bone];
    return {(b.originScreen[0] + b.endScreen[0]) / 2, (b.originScreen[1] + b.endScreen[1]) / 2};
}

MouseInput At(int x, int y, ViewportPoint point, MouseTool tool = MouseTool::kSelect, DragAxis axis = DragAxis::kYZ) {
    return {x, y, point, tool, axis};
}

TEST(MouseTools, ClickPicksABoneOrNone) {
    Scene s = TwoBones();
    MouseTools tools;
    MouseOutcome out = tools.LeftButtonDown(s, At(10, 10, Middle(s, 1), MouseTool::kRotate));
    EXPECT_EQ(out.pick, PickChange::kPickedBone);
    EXPECT_EQ(s.pickedBone, 1);
    EXPECT_EQ(out.cursor, kCursorRotate);
    EXPECT_TRUE(out.redraw);
    EXPECT_TRUE(tools.state().boneGrabbed);
    out = tools.LeftButtonUp(s, At(10, 10, Middle(s, 1), MouseTool::kRotate));
    EXPECT_FALSE(out.finishedDrag);  // no move: nothing to record
    EXPECT_EQ(out.cursor, kCursorRotate);

    out = tools.LeftButtonDown(s, At(20, 20, kOutsideViewport));
    EXPECT_EQ(out.pick, PickChange::kPickedNothing);
    EXPECT_EQ(s.pickedBone, -1);
    EXPECT_FALSE(out.cursor);
    EXPECT_FALSE(tools.state().boneGrabbed);
}

TEST(MouseTools, HoverShowsWhatAClickOrDragWouldDo) {
    Scene s = TwoBones();
    s.pickedBone = 1;
    const struct {
        ViewportPoint point;
        MouseTool tool;
        std::optional<int> cursor;
    } rows[] = {
        {kOutsideViewport, MouseTool::kTranslate, std::nullopt},
        {Middle(s, 0), MouseTool::kTranslate, kCursorSelect},  // another bone
        {Middle(s, 1), MouseTool::kSelect, kCursorSelect},
        {Middle(s, 1), MouseTool::kTranslate, kCursorMove},
        {Middle(s, 1), MouseTool::kRotate, kCursorRotate},
    };
    MouseTools tools;
    for (const auto& r : rows) EXPECT_EQ(tools.MouseMove(s, At(0, 0, r.point, r.tool)).cursor, r.cursor);
}

// Presses on the picked bone, moves by (dx, dy) and releases; the finished drag is then applied
// as the one edit it is.
DragEdit Drag(Scene& s, int bone, MouseTool tool, DragAxis axis, int dx, int dy) {
    MouseTools tools;
    tools.LeftButtonDown(s, At(100, 100, Middle(s, bone), tool, axis));
    MouseOutcome step = tools.MouseMove(s, At(100 + dx, 100 + dy, kOutsideViewport, tool, axis));
    EXPECT_TRUE(step.redraw);
    MouseOutcome up = tools.LeftButtonUp(s, At(100 + dx, 100 + dy, kOutsideViewport, tool, axis));
    EXPECT_TRUE(up.finishedDrag);
    if (!up.finishedDrag) return {};
    ApplyDragEnd(s, *up.finishedDrag);
    return *up.finishedDrag;
}

TEST(MouseTools, TranslateDragMovesTheRootAlongTheAxisRadio) {
    const struct {
        DragAxis axis;
        float x, y, z;
    } rows[] = {{DragAxis::kX, 1, 0, 0}, {DragAxis::kY, 0, 1, 0},  {DragAxis::kZ, 0, 0, 1},
                {DragAxis::kYZ, 0, 1, 1}, {DragAxis::kZX, 1, 0, 1}, {DragAxis::kXY, 1, 1, 0}};
    for (const auto& r : rows) {
        Scene s = TwoBones();
        const DragEdit edit = Drag(s, 1, MouseTool::kTranslate, r.axis, 290, -220);  // 290 right, 220 up
        EXPECT_EQ(edit.name, "Translate");
        const D3DXMATRIX& root = s.matrices[s.bones[0].local];
        EXPECT_NEAR(root._41, -1 + r.x, 1e-5f);
        EXPECT_NEAR(root._42, r.y, 1e-5f);
        EXPECT_NEAR(root._43, r.z, 1e-5f);
        EXPECT_NEAR(s.boneStates[1].origin[0], r.x, 1e-5f);  // the child follows
    }
}

TEST(MouseTools, RotateDragTurnsThePickedBoneAlongTheAxisRadio) {
    const struct {
        DragAxis axis;
        float x, y, z;
    } rows[] = {{DragAxis::kX, 0.5f, 0, 0},       {DragAxis::kY, 0, -0.5f, 0},        {DragAxis::kZ, 0, 0, -0.25f},
                {DragAxis::kYZ, 0, -0.5f, -0.25f}, {DragAxis::kZX, 0.5f, 0, -0.25f}, {DragAxis::kXY, -0.5f, 0.25f, 0}};
    for (const auto& r : rows) {
        Scene s = TwoBones();
        const DragEdit edit = Drag(s, 1, MouseTool::kRotate, r.axis, 100, -50);  // 100 right, 50 up
        EXPECT_EQ(edit.name, "Rotate");
        const float* a = s.boneStates[1].poseAngles;
        EXPECT_FLOAT_EQ(a[0], r.x);
        EXPECT_FLOAT_EQ(a[1], r.y);
        EXPECT_FLOAT_EQ(a[2], r.z);
        EXPECT_FLOAT_EQ(s.boneStates[0].poseAngles[1], 0.0f);
    }
}

// The steps change the Scene as the mouse moves; the button up hands the whole drag over as one
// command.
TEST(MouseTools, AFinishedDragIsOneCommand) {
    Scene s = TwoBones();
    Model m;
    Editor editor(m, s);
    MouseTools tools;
    tools.LeftButtonDown(s, At(100, 100, Middle(s, 1), MouseTool::kTranslate, DragAxis::kX));
    for (int x = 110; x <= 140; x += 10)
        tools.MouseMove(s, At(x, 100, kOutsideViewport, MouseTool::kTranslate, DragAxis::kX));
    EXPECT_NEAR(s.matrices[s.bones[0].local]._41, -1 + 40 * 0.0034482758f, 1e-5f);
    MouseOutcome up = tools.LeftButtonUp(s, At(140, 100, kOutsideViewport, MouseTool::kTranslate, DragAxis::kX));
    ASSERT_TRUE(up.finishedDrag);
    EXPECT_EQ(up.finishedDrag->start.rootLocalMatrix._41, -1.0f);
    RunDragEdit(editor, *up.finishedDrag);
    EXPECT_NEAR(s.matrices[s.bones[0].local]._41, -1 + 40 * 0.0034482758f, 1e-5f);
    EXPECT_NEAR(s.boneStates[1].origin[0], 40 * 0.0034482758f, 1e-5f);
    EXPECT_EQ(editor.commandNames(), std::vector<std::string>{"Translate"});
}

// A button up that never came (the window lost the mouse): the next button down hands the open
// drag over, and the new drag starts from where the old one ended.
TEST(MouseTools, AButtonDownEndsADragLeftOpen) {
    Scene s = TwoBones();
    Model m;
    Editor editor(m, s);
    MouseTools tools;
    const auto in = [&](int x, ViewportPoint p) { return At(x, 100, p, MouseTool::kTranslate, DragAxis::kX); };
    tools.LeftButtonDown(s, in(100, Middle(s, 1)));
    tools.MouseMove(s, in(129, kOutsideViewport));
    MouseOutcome down = tools.LeftButtonDown(s, in(129, Middle(s, 1)));
    ASSERT_TRUE(down.finishedDrag);
    RunDragEdit(editor, *down.finishedDrag);
    tools.MouseMove(s, in(158, kOutsideViewport));
    MouseOutcome up = tools.LeftButtonUp(s, in(158, kOutsideViewport));
    ASSERT_TRUE(up.finishedDrag);
    RunDragEdit(editor, *up.finishedDrag);
    EXPECT_NEAR(s.matrices[s.bones[0].local]._41, -1 + 58 * 0.0034482758f, 1e-5f);
    EXPECT_EQ(editor.commandNames(), (std::vector<std::string>{"Translate", "Translate"}));
}

TEST(MouseTools, RightDragOrbitsAndLeavesAGrabbedBoneAlone) {
    Scene s = TwoBones();
    MouseTools tools;
    tools.LeftButtonDown(s, At(100, 100, Middle(s, 1), MouseTool::kTranslate));
    tools.LeftButtonUp(s, At(100, 100, Middle(s, 1), MouseTool::kTranslate));
    const float angleY = s.camera.angleY, angleXZ = s.camera.angleXZ;
    EXPECT_EQ(tools.RightButtonDown(s, At(200, 200, kOutsideViewport)).cursor, kCursorMove);
    MouseOutcome move = tools.MouseMove(s, At(230, 190, kOutsideViewport, MouseTool::kTranslate));
    EXPECT_TRUE(move.cameraMoved);
    EXPECT_EQ(move.cursor, kCursorMove);
    EXPECT_NEAR(s.camera.angleY, angleY - 30 * 0.010466667f, 1e-5f);
    EXPECT_NEAR(s.camera.angleXZ, angleXZ - 10 * 0.010466667f, 1e-5f);
    EXPECT_FALSE(tools.RightButtonUp(s, At(230, 190, kOutsideViewport)).finishedDrag);
    EXPECT_EQ(s.matrices[s.bones[0].local]._41, -1.0f);
}

TEST(MouseTools, MovesOutsideTheViewportStillUpdateTheLastPosition) {
    Scene s = TwoBones();
    MouseTools tools;
    tools.MouseMove(s, At(5000, -40, kOutsideViewport));
    EXPECT_EQ(tools.state().lastX, 5000);
    EXPECT_EQ(tools.state().lastY, -40);
}

TEST(SkeletonCommands, RunOnlyWhenTheyCanChangeSomethingAndByTheirControlsNames) {
    Scene s = TwoBones();
    Model m;
    Editor editor(m, s);
    RunZeroAngle(editor, 0);
    RunResetBone(editor);
    RunRegenEnvelope(editor);
    EXPECT_TRUE(editor.commandNames().empty());  // no bone is picked
    s.pickedBone = 1;
    s.boneStates[1].poseAngles[1] = 0.3f;
    RunZeroAngle(editor, 1);
    EXPECT_EQ(s.boneStates[1].poseAngles[1], 0.0f);
    RunResetBone(editor);
    RunResetSkeleton(editor);
    RunRegenEnvelope(editor);
    RunRegenEnvelopes(editor);
    EnvelopeTools envelope;
    EnvelopeControls controls;
    RefEnvelope(s, envelope, controls);
    controls.texts[3] = "0.5";  // Dot 1 R1 above R2: swapped by Set
    controls.texts[4] = "0.2";
    RunSetEnvelope(editor, envelope, controls);
    EXPECT_FLOAT_EQ(s.boneStates[1].envelope.dot1R1, 0.2f);
    EXPECT_FLOAT_EQ(s.boneStates[1].envelope.dot1R2, 0.5f);
    EXPECT_EQ(editor.commandNames(), (std::vector<std::string>{"aY=0", "Reset Bone", "Reset Sceleton", "Regen Envelope",
                                                               "Regen Envelopes", "Set"}));
}

}  // namespace
}  // namespace ms
