#include "skin/skeleton_commands.h"

#include <string>

#include "skin/bones.h"

namespace ms {
namespace {

bool HasPickedBone(const Scene& scene) {
    return scene.pickedBone >= 0 && scene.pickedBone < scene.BoneCount() &&
           static_cast<std::size_t>(scene.pickedBone) < scene.boneStates.size();
}

// Runs `change` on the Scene as the command `name`; the skeleton edits cannot fail.
template <typename F>
void RunOnScene(Editor& editor, const std::string& name, F change) {
    editor.Run(name, [&](Model&, Scene& scene) {
        change(scene);
        return Status::Ok();
    });
}

}  // namespace

void RunZeroAngle(Editor& editor, int axis) {
    static const char* const kNames[] = {"aX=0", "aY=0", "aZ=0"};
    if (axis < 0 || axis > 2 || !HasPickedBone(editor.scene())) return;
    RunOnScene(editor, kNames[axis], [axis](Scene& s) { ZeroPickedAngle(s, axis); });
}

void RunResetSkeleton(Editor& editor) {
    if (editor.scene().BoneCount() == 0) return;
    RunOnScene(editor, "Reset Sceleton", [](Scene& s) { ResetSkeleton(s); });
}

void RunResetBone(Editor& editor) {
    if (!HasPickedBone(editor.scene())) return;
    RunOnScene(editor, "Reset Bone", [](Scene& s) { ResetPickedBone(s); });
}

void RunRegenEnvelope(Editor& editor) {
    if (!HasPickedBone(editor.scene())) return;
    RunOnScene(editor, "Regen Envelope", [](Scene& s) { RegenPickedEnvelope(s); });
}

void RunRegenEnvelopes(Editor& editor) {
    if (editor.scene().boneStates.empty()) return;
    RunOnScene(editor, "Regen Envelopes", [](Scene& s) { RegenAllEnvelopes(s); });
}

void RunSetEnvelope(Editor& editor, EnvelopeTools& tools, EnvelopeControls& controls) {
    if (!HasPickedBone(editor.scene())) {
        SetEnvelope(editor.scene(), tools, controls);  // changes no bone: only the buffer and the controls
        return;
    }
    RunOnScene(editor, "Set", [&](Scene& s) { SetEnvelope(s, tools, controls); });
}

void RunDragEdit(Editor& editor, const DragEdit& edit) {
    RestoreDragStart(editor.scene(), edit);  // the command starts from the Scene as it was before the drag
    RunOnScene(editor, edit.name, [&](Scene& s) { ApplyDragEnd(s, edit); });
}

}  // namespace ms
