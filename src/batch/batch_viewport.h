#pragma once
// The viewport of modelsmith-batch: an off-screen software device the size of the editor's
// viewport, made when the batch starts so that textures load as they do in the editor, with the
// display options and the tree selection that the render action draws with.
#include <fstream>
#include <memory>
#include <span>
#include <string>

#include "base/status.h"
#include "model/model.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/present_target.h"
#include "render/frame.h"
#include "render/scene.h"

namespace ms {

struct BatchContext;

constexpr int kViewportWidth = 891;
constexpr int kViewportHeight = 653;

class BatchViewport {
public:
    // `tracePath` empty: no trace; else every device call of every frame drawn goes there.
    BatchViewport(Model& model, Scene& scene, const std::string& tracePath);
    ~BatchViewport();

    // Set while the batch starts; the error says why the viewport cannot be used.
    const Status& status() const { return status_; }

    DisplayOptions options;
    ModelSelection selection;

    // Makes a device of `width` x `height` when the current one has another size, and hands it to
    // the Scene and the Model as the editor's start-up does.
    Status Resize(int width, int height);
    // Draws one frame and writes it as a PNG file.
    Status Render(const std::string& path, int width, int height);
    // The "Specular" check box: sets the specular render state.
    void SetSpecular(bool on);
    // Decodes an image file into a texture as the device holds it and writes level 0 as PNG.
    Status TextureToPng(const std::string& in, const std::string& out);

private:
    Model& model_;
    Scene& scene_;
    std::unique_ptr<OffscreenTarget> target_;
    DevicePtr device_;
    std::ofstream trace_;
    std::string tracePath_;
    bool tracing_ = false;  // while a frame is drawn
    int frames_ = 0;
    Status status_;
};

// The actions of the viewport, registered with the others.
Status DisplayAction(BatchContext& c, std::span<const std::string> args);
Status FillAction(BatchContext& c, std::span<const std::string> args);
Status SelectFrameAction(BatchContext& c, std::span<const std::string> args);
Status SelectMeshAction(BatchContext& c, std::span<const std::string> args);
Status RenderAction(BatchContext& c, std::span<const std::string> args);
Status TextureToPngAction(BatchContext& c, std::span<const std::string> args);

}  // namespace ms
