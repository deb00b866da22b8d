#pragma once
// Bone envelopes: the default envelope, the envelope matrices, the envelope wire of the picked
// bone, and the operations behind the "Envelope" group of the window. The group's state (the
// envelope buffer and the clipboard) and what its controls show are plain values here, so that
// the window only moves text between them and its controls.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "render/scene.h"

namespace ms {

// Dot 1 = (0, 0, 0), Dot 2 = (length, 0, 0), R1 = 0.1 x length and R2 = 0.2 x length at both
// dots, falloff 3 without Normal Check, matrices rebuilt.
void SetDefaultEnvelope(Envelope& envelope, float length);

// bone-to-envelope = look-at from Dot 1 towards Dot 2 with up (0, 1, 0); envelope-to-bone = its
// inverse. An axis along y uses up (0, 0, 1) instead, and equal dots the direction +x, so the
// matrices always stay a rigid transform.
void RebuildEnvelopeMatrices(Envelope& envelope);

// Writes the wire's coordinates for the picked bone's envelope; nothing when no bone is picked.
void RebuildEnvelopeWire(Scene& scene);

// "Regen Envelope": the picked bone gets the default envelope for its length; the wire follows.
void RegenPickedEnvelope(Scene& scene);
// "Regen Envelopes": every bone gets the default envelope; the picked bone's wire follows.
void RegenAllEnvelopes(Scene& scene);

// What the "Envelope" group shows, and what it holds when it is read.
struct EnvelopeControls {
    // Dot 1 X, Y, Z, R1, R2, then Dot 2 X, Y, Z, R1, R2.
    std::array<std::string, 10> texts;
    // The "Function :" radios for curves 0 to 3. Reading takes the first checked one, 3 when none.
    std::array<bool, 4> radios{};
    bool normalCheck = false;
};

// Window-wide state of the group: the envelope buffer and the clipboard (valid once filled).
struct EnvelopeTools {
    Envelope buffer{};
    Envelope clipboard{};
    bool clipboardValid = false;
};

// Shows an envelope: the ten values with `decimals` digits after the point (5 for Ref, 6 as "%f"
// prints for paste; C locale), Normal Check from the sign of the code, the radio of the code
// after inversion. A code outside 0 .. 3 leaves the radios as they were.
void ShowEnvelope(const Envelope& envelope, int decimals, EnvelopeControls& controls);

// Reads the controls into `envelope` as "%f" scanning would: a text that is not a number leaves
// its field as it was. Writes the falloff code from the radios and Normal Check.
void ReadEnvelopeControls(const EnvelopeControls& controls, Envelope& envelope);

// The corrections of Set: for each dot R1 > R2 swaps the radii; with `widen`, R1 = R2 gives
// R2 + 0.1; equal dots move Dot 2 by +0.01 along x.
void CorrectEnvelope(Envelope& envelope, bool widen);

// "Ref": the buffer becomes the picked bone's envelope (zeros when none is picked), shown with
// "%.5f".
void RefEnvelope(const Scene& scene, EnvelopeTools& tools, EnvelopeControls& controls);
// "Set": reads the controls into the buffer, corrects it, copies it into the picked bone (no bone
// changes when none is picked), rebuilds its matrices and the wire, then does Ref.
void SetEnvelope(Scene& scene, EnvelopeTools& tools, EnvelopeControls& controls);
// Copy (button 1093): reads the controls into the clipboard with the swap and the Dot 2 nudge
// only, and marks it valid (the window then enables paste).
void CopyEnvelope(EnvelopeTools& tools, const EnvelopeControls& controls);
// Paste (button 1094): the buffer becomes the clipboard, shown with "%f". No bone changes;
// nothing happens while the clipboard was never filled.
void PasteEnvelope(EnvelopeTools& tools, EnvelopeControls& controls);

}  // namespace ms
