// Reads arbitrary bytes as a model or a skin or scene file and draws one small frame of what was
// read, with every display option on: the frame and the mesh node chosen as the tree would, the
// Scene's meshes through their draw programs, the shadow pass and the skeleton with the envelope
// of the picked bone. The first byte chooses the reader: 0 GMF, 1 .x, 2 scene file, 3 skin file.
// Whatever a file holds must draw something or nothing, never loop or read out of bounds.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/model.h"
#include "platform/d3d8/present_target.h"
#include "render/frame.h"
#include "render/scene.h"
#include "skin/scene_file.h"

namespace {

std::string TempPath(const char* suffix) { return "/tmp/modelsmith-fuzz-draw-" + std::to_string(::getpid()) + suffix; }

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// One small device for every input, as the batch tool's viewport makes it.
IDirect3DDevice8* Device() {
    static ms::OffscreenTarget target(48, 32);
    static DevicePtr device = ms::CreateViewportDevice(&target);
    if (!device) std::abort();
    return device.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int kind = data[0] % 4;
    static const char* const kSuffixes[4] = {".gmf", ".x", ".scn", ".skn"};
    const std::string input = TempPath(kSuffixes[kind]);
    WriteFile(input, data + 1, size - 1);

    IDirect3DDevice8* device = Device();
    ms::Model model;
    model.SetDevice(device);
    ms::Scene scene;
    ms::SetUpSceneDevice(scene, device);
    bool read = false;
    if (kind == 0) read = model.LoadGmf(input).ok();
    if (kind == 1) read = model.LoadX(input).ok();
    if (kind >= 2) read = ms::OpenSceneFile(scene, input, kind == 3 ? ms::SceneFileKind::kSkin : ms::SceneFileKind::kScene).ok();
    std::remove(input.c_str());
    if (!read) return 0;

    ms::DisplayOptions options;
    options.display = options.drawMeshes = options.drawShadow = options.drawSceleton = options.drawEnvelope = true;
    options.noCulling = options.alpha = true;
    if (scene.BoneCount() > 0) scene.pickedBone = 0;
    ms::DrawFrame(scene, model, {0, 0}, scene.pickedBone != -1, options);
    ms::DrawFrame(scene, model, {0, 1}, false, options);
    scene.device = nullptr;
    return 0;
}
