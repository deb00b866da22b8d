// The batch actions of the bone buttons, envelopes, camera and mouse tools.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "batch/batch.h"
#include "batch/batch_viewport.h"
#include "skin/camera.h"
#include "skin/envelope.h"
#include "skin/mouse_tools.h"
#include "skin/skeleton_commands.h"

namespace ms {
namespace {

using Args = std::span<const std::string>;

// Pixel moves beyond this are refused, so that positions stay far from integer overflow.
constexpr int kMaxPixels = 1000000;

constexpr ui::ScreenRect kBatchViewport{0, 0, kViewportWidth, kViewportHeight};

// The index of `word` in `words`, or an error naming what was expected.
Status Choice(const std::string& word, std::initializer_list<const char*> words, int& index) {
    std::string expected;
    int i = 0;
    for (const char* w : words) {
        if (word == w) {
            index = i;
            return Status::Ok();
        }
        expected += (i++ ? "|" : "") + std::string(w);
    }
    return Status::Error("'" + word + "' is not one of " + expected);
}

Status Integer(const std::string& text, int lowest, int highest, int& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return Status::Error("'" + text + "' is not a whole number");
    if (value < lowest || value > highest)
        return Status::Error("'" + text + "' is outside " + std::to_string(lowest) + " .. " + std::to_string(highest));
    return Status::Ok();
}

Status PixelMove(Args args, int& dx, int& dy) {
    if (Status s = Integer(args[0], -kMaxPixels, kMaxPixels, dx); !s) return s;
    return Integer(args[1], -kMaxPixels, kMaxPixels, dy);
}

bool HasPickedBone(const Scene& scene) {
    return scene.pickedBone >= 0 && scene.pickedBone < scene.BoneCount() &&
           static_cast<std::size_t>(scene.pickedBone) < scene.boneStates.size();
}

Status NeedPickedBone(const Scene& scene) {
    return HasPickedBone(scene) ? Status::Ok() : Status::Error("no bone is picked (pick one with click or pick-bone)");
}

// A mouse message at viewport pixel (x, y) with the tool and axis radios.
MouseInput At(int x, int y, MouseTool tool = MouseTool::kSelect, DragAxis axis = DragAxis::kYZ) {
    return {x, y, MapToViewport({x, y}, kBatchViewport), tool, axis};
}

// What the window does with a mouse outcome, less the controls: a finished drag is one command.
void Apply(BatchContext& c, const MouseOutcome& outcome) {
    if (outcome.finishedDrag) RunDragEdit(c.editor, *outcome.finishedDrag);
}

Status ZeroAngle(BatchContext& c, Args args) {
    int axis = 0;
    if (Status s = Choice(args[0], {"x", "y", "z"}, axis); !s) return s;
    RunZeroAngle(c.editor, axis);
    return Status::Ok();
}

Status ResetSkeletonAction(BatchContext& c, Args) {
    RunResetSkeleton(c.editor);
    return Status::Ok();
}

Status ResetBoneAction(BatchContext& c, Args) {
    RunResetBone(c.editor);
    return Status::Ok();
}

Status RegenEnvelopeAction(BatchContext& c, Args) {
    RunRegenEnvelope(c.editor);
    return Status::Ok();
}

Status RegenEnvelopesAction(BatchContext& c, Args) {
    RunRegenEnvelopes(c.editor);
    return Status::Ok();
}

// The ten texts as the edits would hold them: a text that is not a number keeps the picked
// bone's value, as Set keeps the value Ref put into the buffer.
Status SetEnvelopeAction(BatchContext& c, Args args) {
    if (Status s = NeedPickedBone(c.scene); !s) return s;
    int falloff = 0, normalCheck = 0;
    if (Status s = Choice(args[10], {"0", "1", "2", "3"}, falloff); !s) return s;
    if (Status s = Choice(args[11], {"off", "on"}, normalCheck); !s) return s;
    EnvelopeTools tools;
    EnvelopeControls controls;
    RefEnvelope(c.scene, tools, controls);
    for (int i = 0; i < 10; ++i) controls.texts[i] = args[i];
    for (int r = 0; r < 4; ++r) controls.radios[r] = r == falloff;
    controls.normalCheck = normalCheck == 1;
    RunSetEnvelope(c.editor, tools, controls);
    return Status::Ok();
}

Status CameraAction(BatchContext& c, Args args) {
    CameraControls typed;
    typed.angleY = args[0];
    typed.angleXZ = args[1];
    typed.distance = args[2];
    typed.targetX = args[3];
    typed.targetY = args[4];
    typed.targetZ = args[5];
    typed.nearPlane = args[6];
    typed.farPlane = args[7];
    return SetCameraFromControls(c.scene, typed);
}

Status ViewAction(BatchContext& c, Args args) {
    int preset = 0;
    if (Status s = Choice(args[0], {"front", "back", "left", "right", "bottom", "top"}, preset); !s) return s;
    ApplyCameraPreset(c.scene, static_cast<CameraPreset>(preset));
    return Status::Ok();
}

Status OrbitAction(BatchContext& c, Args args) {
    int dx = 0, dy = 0;
    if (Status s = PixelMove(args, dx, dy); !s) return s;
    const int x = kViewportWidth / 2, y = kViewportHeight / 2;
    Apply(c, c.mouse.RightButtonDown(c.scene, At(x, y)));
    Apply(c, c.mouse.MouseMove(c.scene, At(x + dx, y + dy)));
    Apply(c, c.mouse.RightButtonUp(c.scene, At(x + dx, y + dy)));
    return Status::Ok();
}

Status ZoomAction(BatchContext& c, Args args) {
    int delta = 0;
    if (Status s = Integer(args[0], -kMaxPixels, kMaxPixels, delta); !s) return s;
    Zoom(c.scene, delta);
    return Status::Ok();
}

Status ClickAction(BatchContext& c, Args args) {
    int x = 0, y = 0;
    if (Status s = Integer(args[0], -kMaxPixels, kMaxPixels, x); !s) return s;
    if (Status s = Integer(args[1], -kMaxPixels, kMaxPixels, y); !s) return s;
    Apply(c, c.mouse.LeftButtonDown(c.scene, At(x, y)));
    Apply(c, c.mouse.LeftButtonUp(c.scene, At(x, y)));
    return Status::Ok();
}

// The pixel nearest to a viewport point (the inverse of MapToViewport).
int PixelX(float x) { return static_cast<int>(std::lround(kViewportWidth / 2.0f * (1.0f + x))); }
int PixelY(float y) { return static_cast<int>(std::lround(kViewportHeight / 2.0f * (1.0f - y))); }

// Where the left button goes down to grab the picked bone: its projected origin, or the middle
// of its projected segment when another bone wins the pick at the origin (a parent whose end is
// there, the lower index winning the tie).
std::optional<ViewportPoint> GrabPoint(const Scene& scene) {
    const BoneState& s = scene.boneStates[scene.pickedBone];
    const ViewportPoint origin{s.originScreen[0], s.originScreen[1]};
    const ViewportPoint middle{(s.originScreen[0] + s.endScreen[0]) / 2, (s.originScreen[1] + s.endScreen[1]) / 2};
    for (ViewportPoint p : {origin, middle})
        if (std::fabs(p.x) < 1 && std::fabs(p.y) < 1 && Pick(scene, p) == scene.pickedBone + 1) return p;
    return std::nullopt;
}

Status DragAction(BatchContext& c, Args args) {
    int tool = 0, axis = 0, dx = 0, dy = 0;
    if (Status s = Choice(args[0], {"translate", "rotate"}, tool); !s) return s;
    if (Status s = Choice(args[1], {"x", "y", "z", "yz", "zx", "xy"}, axis); !s) return s;
    if (Status s = PixelMove(args.subspan(2), dx, dy); !s) return s;
    if (Status s = NeedPickedBone(c.scene); !s) return s;
    std::optional<ViewportPoint> grab = GrabPoint(c.scene);
    if (!grab)
        return Status::Error("the picked bone cannot be grabbed: it lies outside the viewport or under another bone");
    MouseInput in{PixelX(grab->x), PixelY(grab->y), *grab, tool == 0 ? MouseTool::kTranslate : MouseTool::kRotate,
                  static_cast<DragAxis>(axis)};
    Apply(c, c.mouse.LeftButtonDown(c.scene, in));
    in.x += dx;
    in.y += dy;
    in.point = MapToViewport({in.x, in.y}, kBatchViewport);
    Apply(c, c.mouse.MouseMove(c.scene, in));
    Apply(c, c.mouse.LeftButtonUp(c.scene, in));
    return Status::Ok();
}

const BatchAction kSkeletonActions[] = {
    {"bone-zero", 1, 1, "x|y|z", ZeroAngle},
    {"reset-skeleton", 0, 0, "", ResetSkeletonAction},
    {"reset-bone", 0, 0, "", ResetBoneAction},
    {"regen-envelope", 0, 0, "", RegenEnvelopeAction},
    {"regen-envelopes", 0, 0, "", RegenEnvelopesAction},
    {"set-envelope", 12, 12, "D1X D1Y D1Z D1R1 D1R2 D2X D2Y D2Z D2R1 D2R2 FALLOFF on|off", SetEnvelopeAction},
    {"camera", 8, 8, "AY AXZ L X Y Z NEAR FAR", CameraAction},
    {"view", 1, 1, "front|back|left|right|bottom|top", ViewAction},
    {"orbit", 2, 2, "DX DY", OrbitAction},
    {"zoom", 1, 1, "DELTA", ZoomAction},
    {"click", 2, 2, "X Y", ClickAction},
    {"drag", 4, 4, "translate|rotate x|y|z|yz|zx|xy DX DY", DragAction},
};

}  // namespace

std::span<const BatchAction> SkeletonActions() { return kSkeletonActions; }

}  // namespace ms
