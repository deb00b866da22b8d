#pragma once
// The skeleton edits as commands of the Editor, named after their controls: the "Bones :"
// buttons, the envelope Set and Regen buttons, and a finished Translate or Rotate drag. The
// window's handlers and the batch actions both run them. A command that can change nothing (no
// bone picked, no bones) is not run.
#include "edit/editor.h"
#include "skin/envelope.h"
#include "skin/mouse_tools.h"

namespace ms {

// "aX=0", "aY=0", "aZ=0" for axis 0, 1, 2.
void RunZeroAngle(Editor& editor, int axis);
void RunResetSkeleton(Editor& editor);  // "Reset Sceleton"
void RunResetBone(Editor& editor);      // "Reset Bone"
void RunRegenEnvelope(Editor& editor);  // "Regen Envelope"
void RunRegenEnvelopes(Editor& editor);  // "Regen Envelopes"
// The envelope "Set": the buffer and the controls change as SetEnvelope says; the picked bone
// only through the command "Set".
void RunSetEnvelope(Editor& editor, EnvelopeTools& tools, EnvelopeControls& controls);
// A finished drag (MouseOutcome::finishedDrag) as the one command "Translate" or "Rotate": the
// pose of before the drag is put back, and the command applies the pose after it.
void RunDragEdit(Editor& editor, const DragEdit& edit);

}  // namespace ms
