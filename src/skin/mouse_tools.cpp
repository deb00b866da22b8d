#include "skin/mouse_tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "skin/camera.h"

namespace ms {
namespace {

constexpr float kPickThreshold = 0.003f;
constexpr float kPickStart = 100.0f;

float Distance(float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    return std::sqrt(dx * dx + dy * dy);
}

bool IsBone(const Scene& scene, std::int32_t bone) { return bone >= 0 && bone < scene.BoneCount(); }

bool IsMatrix(const Scene& scene, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < scene.matrices.size();
}

// What a drag on `bone` may change, as it is now; nothing when the bone has no state, root or
// matrices.
std::optional<DragPose> DragPoseOf(const Scene& scene, std::int32_t bone) {
    if (!IsBone(scene, bone) || static_cast<std::size_t>(bone) >= scene.boneStates.size()) return std::nullopt;
    const std::int32_t root = scene.bones[bone].root;
    if (!IsBone(scene, root)) return std::nullopt;
    DragPose p;
    p.bone = bone;
    p.rootLocal = scene.bones[root].local;
    if (!IsMatrix(scene, p.rootLocal) || !IsMatrix(scene, scene.bones[bone].pose)) return std::nullopt;
    p.rootLocalMatrix = scene.matrices[p.rootLocal];
    std::memcpy(p.poseAngles, scene.boneStates[bone].poseAngles, sizeof p.poseAngles);
    p.pose = scene.matrices[scene.bones[bone].pose];
    return p;
}

bool SamePose(const DragPose& a, const DragPose& b) {
    return a.bone == b.bone && a.rootLocal == b.rootLocal &&
           std::memcmp(&a.rootLocalMatrix, &b.rootLocalMatrix, sizeof a.rootLocalMatrix) == 0 &&
           std::memcmp(a.poseAngles, b.poseAngles, sizeof a.poseAngles) == 0 &&
           std::memcmp(&a.pose, &b.pose, sizeof a.pose) == 0;
}

// Writes `pose` into the Scene when the bone and matrices it names still exist.
bool WriteDragPose(Scene& scene, const DragPose& pose) {
    if (!IsBone(scene, pose.bone) || static_cast<std::size_t>(pose.bone) >= scene.boneStates.size() ||
        !IsMatrix(scene, pose.rootLocal) || !IsMatrix(scene, scene.bones[pose.bone].pose))
        return false;
    scene.matrices[pose.rootLocal] = pose.rootLocalMatrix;
    std::memcpy(scene.boneStates[pose.bone].poseAngles, pose.poseAngles, sizeof pose.poseAngles);
    scene.matrices[scene.bones[pose.bone].pose] = pose.pose;
    return true;
}

}  // namespace

MouseTool ToolFromRadios(bool translate, bool rotate) {
    if (translate) return MouseTool::kTranslate;
    if (rotate) return MouseTool::kRotate;
    return MouseTool::kSelect;
}

DragAxis AxisFromRadios(const std::array<bool, 6>& checked) {
    static constexpr DragAxis kAxes[] = {DragAxis::kX, DragAxis::kY, DragAxis::kZ,
                                         DragAxis::kYZ, DragAxis::kZX, DragAxis::kXY};
    for (int i = 0; i < 6; ++i)
        if (checked[i]) return kAxes[i];
    return DragAxis::kXY;
}

ViewportPoint MapToViewport(ui::ScreenPoint cursor, const ui::ScreenRect& r) {
    if (!(r.left < cursor.x && cursor.x < r.right && r.top < cursor.y && cursor.y < r.bottom)) return kOutsideViewport;
    const float halfWidth = static_cast<float>(r.right - r.left) / 2.0f;
    const float halfHeight = static_cast<float>(r.top - r.bottom) / 2.0f;  // negative: y grows downwards
    return {(static_cast<float>(cursor.x - r.left) - halfWidth) / halfWidth,
            (static_cast<float>(cursor.y - r.bottom) - halfHeight) / halfHeight};
}

std::int32_t Pick(const Scene& scene, ViewportPoint p) {
    if (p == kOutsideViewport) return 0;
    float best = kPickStart;
    std::int32_t winner = 0;
    const auto states = static_cast<std::int32_t>(scene.boneStates.size());
    const std::int32_t count = std::min(scene.BoneCount(), states);
    for (std::int32_t b = 0; b < count; ++b) {
        const float* a = scene.boneStates[b].originScreen;
        const float* e = scene.boneStates[b].endScreen;
        const float detour =
            Distance(p.x, p.y, a[0], a[1]) + Distance(e[0], e[1], p.x, p.y) - Distance(a[0], a[1], e[0], e[1]);
        if (detour < kPickThreshold && detour < best) {
            best = detour;
            winner = b + 1;
        }
    }
    return winner;
}

std::int32_t PickAndSelect(Scene& scene, ViewportPoint point) {
    const std::int32_t hit = Pick(scene, point);
    SelectBone(scene, hit - 1);
    return hit;
}

std::optional<int> HoverCursor(const Scene& scene, std::int32_t hit, MouseTool tool) {
    if (hit <= 0) return std::nullopt;
    if (hit - 1 != scene.pickedBone) return kCursorSelect;
    if (tool == MouseTool::kTranslate) return kCursorMove;
    if (tool == MouseTool::kRotate) return kCursorRotate;
    return kCursorSelect;
}

void RestoreDragStart(Scene& scene, const DragEdit& edit) {
    if (!WriteDragPose(scene, edit.start)) return;
    UpdateAll(scene);
    ProjectBones(scene);
}

void ApplyDragEnd(Scene& scene, const DragEdit& edit) {
    if (!WriteDragPose(scene, edit.end)) return;
    UpdateAll(scene);
    ProjectBones(scene);
}

std::optional<DragEdit> MouseTools::EndDrag(const Scene& scene) {
    std::optional<DragEdit> edit = std::move(drag_);
    drag_.reset();
    if (!edit) return std::nullopt;
    std::optional<DragPose> now = DragPoseOf(scene, edit->start.bone);
    // A drag without steps changed nothing; one whose bone went away meanwhile (the scene was
    // cleared) leaves nothing to record.
    if (edit->name.empty() || !now || now->bone != edit->start.bone || now->rootLocal != edit->start.rootLocal ||
        SamePose(*now, edit->start))
        return std::nullopt;
    edit->end = *now;
    return edit;
}

MouseOutcome MouseTools::LeftButtonDown(Scene& scene, const MouseInput& in) {
    MouseOutcome out;
    out.finishedDrag = EndDrag(scene);  // a button up that never came
    state_.leftDown = true;
    state_.lastX = in.x;
    state_.lastY = in.y;
    out.redraw = true;
    if (PickAndSelect(scene, in.point) > 0) {
        state_.boneGrabbed = true;
        out.pick = PickChange::kPickedBone;
        out.cursor = in.tool == MouseTool::kTranslate ? kCursorMove
                     : in.tool == MouseTool::kRotate  ? kCursorRotate
                                                      : kCursorSelect;
        if (std::optional<DragPose> start = DragPoseOf(scene, scene.pickedBone)) drag_ = DragEdit{{}, *start, *start};
    } else {
        state_.boneGrabbed = false;
        out.pick = PickChange::kPickedNothing;
    }
    return out;
}

MouseOutcome MouseTools::LeftButtonUp(Scene& scene, const MouseInput& in) {
    MouseOutcome out;
    state_.leftDown = false;
    out.finishedDrag = EndDrag(scene);
    out.cursor = HoverCursor(scene, Pick(scene, in.point), in.tool);
    out.redraw = true;
    return out;
}

MouseOutcome MouseTools::FinishDrag(const Scene& scene) {
    MouseOutcome out;
    out.finishedDrag = EndDrag(scene);
    state_.boneGrabbed = false;
    return out;
}

MouseOutcome MouseTools::RightButtonDown(Scene&, const MouseInput& in) {
    state_.lastX = in.x;
    state_.lastY = in.y;
    state_.rightDown = true;
    MouseOutcome out;
    out.cursor = kCursorMove;
    out.redraw = true;
    return out;
}

MouseOutcome MouseTools::RightButtonUp(Scene& scene, const MouseInput& in) {
    state_.rightDown = false;
    MouseOutcome out;
    out.cursor = HoverCursor(scene, Pick(scene, in.point), in.tool);
    out.redraw = true;
    return out;
}

MouseOutcome MouseTools::MouseMove(Scene& scene, const MouseInput& in) {
    MouseOutcome out;
    const int dx = in.x - state_.lastX, dy = in.y - state_.lastY;
    const bool dragging = state_.boneGrabbed && state_.leftDown;
    if (state_.rightDown) {
        Orbit(scene, dx, dy);
        out.cameraMoved = true;
        out.cursor = kCursorMove;
        out.redraw = true;
    } else if (dragging && in.tool == MouseTool::kTranslate) {
        out.cursor = kCursorMove;
        TranslateDrag(scene, in.axis, dx, dy);
        if (drag_) drag_->name = "Translate";
        out.redraw = true;
    } else if (dragging && in.tool == MouseTool::kRotate) {
        out.cursor = kCursorRotate;
        RotateDrag(scene, in.axis, dx, dy);
        if (drag_) drag_->name = "Rotate";
        out.redraw = true;
    } else if (dragging) {
        out.cursor = kCursorSelect;
    } else {
        out.cursor = HoverCursor(scene, Pick(scene, in.point), in.tool);
    }
    state_.lastX = in.x;
    state_.lastY = in.y;
    return out;
}

}  // namespace ms
