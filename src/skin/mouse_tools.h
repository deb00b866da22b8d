#pragma once
// The mouse tools of the viewport: a left click picks the bone under the cursor, a left drag on
// the picked bone moves its whole tree (Translate) or turns it (Rotate) along the axis radios, a
// right drag orbits the camera. The five mouse messages are operations on explicit inputs; each
// says which cursor to show and whether to redraw, so that a window only maps its events onto
// them and a batch can run them without one.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/d3dx/d3dx8math.h"
#include "platform/ui/controls.h"
#include "render/scene.h"
#include "skin/bones.h"

namespace ms {

// The program's cursor resources.
constexpr int kCursorSelect = 130;  // thin cross, hot spot (15, 15)
constexpr int kCursorMove = 132;    // four-way arrow, hot spot (8, 8); also while orbiting
constexpr int kCursorRotate = 134;  // circular arrow, hot spot (6, 8)

// The tool radios "Select", "Translate", "Rotate".
enum class MouseTool { kSelect, kTranslate, kRotate };

// The tool the radios choose: Translate or Rotate when checked, else Select.
MouseTool ToolFromRadios(bool translate, bool rotate);
// The axis radios X, Y, Z, YZ, ZX, XY in that order: the first checked one; XY when none is.
DragAxis AxisFromRadios(const std::array<bool, 6>& checked);

// A point of the viewport: x from -1 (left edge) to +1 (right edge), y from +1 (top) to -1.
struct ViewportPoint {
    float x = 0.0f, y = 0.0f;
    bool operator==(const ViewportPoint&) const = default;
};
constexpr ViewportPoint kOutsideViewport{-1000.0f, -1000.0f};

// Maps a cursor position into `viewport` (both in the same coordinates, y down). A cursor that is
// not strictly inside the rectangle (left < x < right, top < y < bottom) maps to kOutsideViewport.
ViewportPoint MapToViewport(ui::ScreenPoint cursor, const ui::ScreenRect& viewport);

// The bone under `point`: for each bone with screen positions A (origin) and B (end), the detour
// e = |P - A| + |B - P| - |B - A|; the smallest e below 0.003 wins, the lower index on ties.
// Returns the bone index plus one, or 0 when no bone qualifies or the point is outside.
std::int32_t Pick(const Scene& scene, ViewportPoint point);
// Pick, then make the winner the picked bone (none: -1) and rebuild its envelope wire.
std::int32_t PickAndSelect(Scene& scene, ViewportPoint point);

// The cursor for hovering over `hit` (a Pick result): none for no bone, 130 for a bone other than
// the picked one, and for the picked bone 132 with Translate, 134 with Rotate, else 130.
std::optional<int> HoverCursor(const Scene& scene, std::int32_t hit, MouseTool tool);

// One mouse message as a window delivers it.
struct MouseInput {
    int x = 0, y = 0;                        // the message's position in client coordinates
    ViewportPoint point = kOutsideViewport;  // the cursor mapped into the viewport
    MouseTool tool = MouseTool::kSelect;
    DragAxis axis = DragAxis::kYZ;
};

// What a drag's edit changes: the local matrix of the picked bone's root and the picked bone's
// pose angles and pose matrix.
struct DragPose {
    std::int32_t bone = -1;
    std::int32_t rootLocal = -1;  // matrix index
    D3DXMATRIX rootLocalMatrix;
    float poseAngles[3] = {0, 0, 0};
    D3DXMATRIX pose;
};

// A finished drag as one edit: its name ("Translate" or "Rotate"), the pose before and after.
struct DragEdit {
    std::string name;
    DragPose start, end;
};

// Puts the pose of before the drag back (the drag's steps changed the Scene as the mouse moved),
// updates all bones and projects them.
void RestoreDragStart(Scene& scene, const DragEdit& edit);
// Applies the pose after the drag, updates all bones and projects them: the drag as one edit.
void ApplyDragEnd(Scene& scene, const DragEdit& edit);

enum class PickChange { kNone, kPickedBone, kPickedNothing };

struct MouseOutcome {
    std::optional<int> cursor;  // the cursor resource to show, when it changes
    bool redraw = false;
    PickChange pick = PickChange::kNone;  // a left click picked a bone or nothing
    bool cameraMoved = false;             // the camera edits need showing
    // A drag that changed bones ended. Its steps changed the Scene as the mouse moved; the caller
    // records them as one edit: RunDragEdit puts the start back and applies the end in Editor::Run.
    std::optional<DragEdit> finishedDrag;
};

// The window-wide mouse state.
struct MouseState {
    bool leftDown = false;
    bool rightDown = false;
    bool boneGrabbed = false;  // the last left click picked a bone
    int lastX = 0, lastY = 0;  // client position of the last message handled
};

class MouseTools {
public:
    MouseOutcome LeftButtonDown(Scene& scene, const MouseInput& in);
    MouseOutcome LeftButtonUp(Scene& scene, const MouseInput& in);
    MouseOutcome RightButtonDown(Scene& scene, const MouseInput& in);
    MouseOutcome RightButtonUp(Scene& scene, const MouseInput& in);
    MouseOutcome MouseMove(Scene& scene, const MouseInput& in);

    // Ends a drag in progress as a button up would, while the button counts as still down on
    // nothing, so that the moves until it comes up change nothing. A command, undo or redo in the
    // middle of a drag records the drag first: the moves changed the Scene outside any command,
    // and the drag's start pose would be stale after the history moved.
    MouseOutcome FinishDrag(const Scene& scene);

    const MouseState& state() const { return state_; }

private:
    // Ends a drag: its edit when its steps changed the bones it started on.
    std::optional<DragEdit> EndDrag(const Scene& scene);

    MouseState state_;
    std::optional<DragEdit> drag_;  // set while the left button is down on a picked bone
};

}  // namespace ms
