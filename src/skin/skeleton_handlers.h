#pragma once
// The window's handlers of the skeleton, the envelopes, the camera and the viewport mouse: each
// reads its controls, calls the operation, writes its controls and redraws.
#include <functional>

#include "edit/editor_state.h"
#include "skin/camera.h"
#include "skin/envelope.h"
#include "skin/mouse_tools.h"

namespace ms {

// Disables every control of the "Envelope" group, as a click that picks no bone does.
void DisableEnvelopeControls(ui::Controls& controls);

// The "Bones :" buttons 1120 to 1124.
class BoneButtons : public CommandHandler {
public:
    BoneButtons(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}
    void OnCommand(int id, int notification) override;

private:
    EditorState& state_;
    ui::Controls& controls_;
};

// The "Envelope" group: Ref, Set, copy and paste, Regen Envelope(s); owns the envelope buffer and
// the clipboard.
class EnvelopeGroup : public CommandHandler {
public:
    EnvelopeGroup(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}
    void OnCommand(int id, int notification) override;

    // Enables or disables the group; paste is enabled only once the clipboard holds an envelope.
    void Enable(bool enabled);
    // "Ref": shows the picked bone's envelope (zeros when none is picked).
    void Ref();
    const EnvelopeTools& tools() const { return tools_; }

private:
    EnvelopeControls Read() const;
    void Show(const EnvelopeControls& shown);

    EditorState& state_;
    ui::Controls& controls_;
    EnvelopeTools tools_;
};

// The "Camera" group: the eight edits, Set and the six presets.
class CameraGroup : public CommandHandler {
public:
    CameraGroup(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}
    void OnCommand(int id, int notification) override;
    // Writes the camera's values into the edits ("%.3f"; near and far stay as typed).
    void ShowValues();

private:
    EditorState& state_;
    ui::Controls& controls_;
};

// The mouse messages of the window: picking, the Translate and Rotate drags, the orbit and the
// wheel. `clientToScreen` maps a client position into the coordinates of the viewport rectangle.
class ViewportMouse : public MouseHandler {
public:
    using ClientToScreen = std::function<ui::ScreenPoint(int x, int y)>;
    ViewportMouse(EditorState& state, ui::Controls& controls, EnvelopeGroup& envelope, CameraGroup& camera,
                  ClientToScreen clientToScreen);
    ~ViewportMouse() override;

    void OnLeftButtonDown(int x, int y) override;
    void OnLeftButtonUp(int x, int y) override;
    void OnRightButtonDown(int x, int y) override;
    void OnRightButtonUp(int x, int y) override;
    void OnMouseMove(int x, int y) override;
    void OnMouseWheel(int delta) override;

    const MouseState& mouseState() const { return tools_.state(); }

private:
    MouseInput Input(int x, int y) const;
    void Apply(const MouseOutcome& outcome);

    EditorState& state_;
    ui::Controls& controls_;
    EnvelopeGroup& envelope_;
    CameraGroup& camera_;
    ClientToScreen clientToScreen_;
    MouseTools tools_;
};

}  // namespace ms
