#include "batch/batch_viewport.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ostream>

#include "batch/batch.h"
#include "platform/d3d8/trace_device.h"
#include "platform/d3dx/d3dx8tex.h"
#include "platform/image/image.h"

namespace ms {

BatchViewport::BatchViewport(Model& model, Scene& scene, const std::string& tracePath)
    : model_(model), scene_(scene), tracePath_(tracePath) {
    if (!tracePath.empty()) {
        errno = 0;
        trace_.open(tracePath, std::ios::out | std::ios::trunc);
        if (!trace_)
            status_ = Status::Error("cannot write the trace file '" + tracePath +
                                    "': " + (errno ? std::strerror(errno) : "it cannot be opened"));
    }
    if (Status s = Resize(kViewportWidth, kViewportHeight); !s && status_) status_ = s;
}

BatchViewport::~BatchViewport() {
    // The Scene and the Model hold textures of this device and may outlive it; they keep no
    // pointer to it.
    scene_.device = nullptr;
    model_.SetDevice(nullptr);
}

Status BatchViewport::Resize(int width, int height) {
    if (target_ && target_->ClientWidth() == width && target_->ClientHeight() == height) return Status::Ok();
    auto target = std::make_unique<OffscreenTarget>(width, height);
    DevicePtr device = CreateViewportDevice(target.get());
    if (!device) return Status::Error("no device of " + std::to_string(width) + " x " + std::to_string(height));
    if (trace_.is_open()) {
        TraceDevice* traced = TraceDevice::Create(device.get(), [this](const std::string& line) {
            if (tracing_) trace_ << line << '\n';
        });
        device.reset(traced);
    }
    device_ = std::move(device);
    target_ = std::move(target);
    SetUpSceneDevice(scene_, device_.get());
    model_.SetDevice(device_.get());
    return Status::Ok();
}

void BatchViewport::SetSpecular(bool on) {
    if (device_) device_->SetRenderState(D3DRS_SPECULARENABLE, on ? 1 : 0);
}

Status BatchViewport::Render(const std::string& path, int width, int height) {
    // Checked before the device and the frame are made for it: the PNG writer would refuse it.
    constexpr std::uint64_t kMostPixels = kMaxImageBytes / 4;
    if (std::uint64_t(width) * std::uint64_t(height) > kMostPixels)
        return Status::Error("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels is too large: a PNG picture has at most " + std::to_string(kMostPixels) +
                             " pixels (8192 x 8192)");
    if (Status s = Resize(width, height); !s) return s;
    tracing_ = true;
    errno = 0;  // the trace's writes leave the system's reason here when they fail
    if (trace_.is_open()) trace_ << "# frame " << ++frames_ << '\n';
    DrawFrame(scene_, model_, selection, scene_.pickedBone != -1, options);
    tracing_ = false;
    if (trace_.is_open() && !trace_.flush())
        return Status::Error("cannot write the trace file '" + tracePath_ +
                             "': " + (errno ? std::strerror(errno) : "the write failed"));
    if (target_->presentCount() == 0) return Status::Error("the device presented no frame");
    ImageLevel picture;
    picture.width = target_->frameWidth();
    picture.height = target_->frameHeight();
    picture.pixels = target_->pixels();
    for (std::uint32_t& p : picture.pixels) p |= 0xff000000u;  // the back buffer's alpha is not shown
    return WritePng(path, picture);
}

Status BatchViewport::TextureToPng(const std::string& in, const std::string& out) {
    Image decoded;
    if (Status s = DecodeImageFile(in, decoded); !s) return s;  // says why the file is refused
    IDirect3DTexture8* raw = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(device_.get(), in.c_str(), &raw)) || !raw)
        return Status::Error(in + ": the device cannot make a texture of it");
    TexturePtr texture(raw);
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->GetLevelDesc(0, &desc)) || desc.Format != D3DFMT_A8R8G8B8 ||
        FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
        return Status::Error(in + ": the texture cannot be read back");
    ImageLevel level;
    level.width = static_cast<std::int32_t>(desc.Width);
    level.height = static_cast<std::int32_t>(desc.Height);
    level.pixels.resize(std::size_t(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        std::memcpy(&level.pixels[std::size_t(y) * desc.Width], static_cast<const std::uint8_t*>(locked.pBits) + std::size_t(y) * locked.Pitch,
                    std::size_t(desc.Width) * 4);
    texture->UnlockRect(0);
    return WritePng(out, level);
}

namespace {

using Args = std::span<const std::string>;

BatchViewport& Viewport(BatchContext& c) { return *c.viewport; }

}  // namespace

Status DisplayAction(BatchContext& c, Args args) {
    DisplayOptions& o = Viewport(c).options;
    const std::pair<const char*, bool*> options[] = {
        {"draw-meshes", &o.drawMeshes},   {"draw-shadow", &o.drawShadow}, {"draw-sceleton", &o.drawSceleton},
        {"bones-on-top", &o.bonesOnTop},  {"draw-envelope", &o.drawEnvelope}, {"no-culling", &o.noCulling},
        {"alpha", &o.alpha},              {"display", &o.display}};
    if (args[1] != "on" && args[1] != "off") return Status::Error("display " + args[0] + ": say on or off, not '" + args[1] + "'");
    const bool on = args[1] == "on";
    if (args[0] == "specular") {
        Viewport(c).SetSpecular(on);
        return Status::Ok();
    }
    for (const auto& [name, flag] : options)
        if (args[0] == name) {
            *flag = on;
            return Status::Ok();
        }
    return Status::Error("no display option '" + args[0] +
                         "' (draw-meshes, draw-shadow, draw-sceleton, bones-on-top, draw-envelope, no-culling, "
                         "alpha, display, specular)");
}

Status FillAction(BatchContext& c, Args args) {
    DisplayOptions& o = Viewport(c).options;
    if (args[0] != "triangles" && args[0] != "lines" && args[0] != "points")
        return Status::Error("fill '" + args[0] + "': say triangles, lines or points");
    o.triangles = args[0] == "triangles";
    o.lines = args[0] == "lines";
    return Status::Ok();
}

// As the tree does: the selection is looked up by name (-1 when there is none) and "Display" is
// checked. A name that matches nothing is reported on standard error, as the tree would show
// nothing.
Status SelectFrameAction(BatchContext& c, Args args) {
    Viewport(c).selection = {c.model.FindFrame(args[0].c_str()), 0};
    Viewport(c).options.display = true;
    if (Viewport(c).selection.index == -1) c.err << "modelsmith-batch: select-frame: no frame named '" << args[0] << "'\n";
    return Status::Ok();
}

Status SelectMeshAction(BatchContext& c, Args args) {
    Viewport(c).selection = {c.model.FindMeshNode(args[0].c_str()), 1};
    Viewport(c).options.display = true;
    if (Viewport(c).selection.index == -1) c.err << "modelsmith-batch: select-mesh: no mesh node named '" << args[0] << "'\n";
    return Status::Ok();
}

Status RenderAction(BatchContext& c, Args args) {
    int width = kViewportWidth, height = kViewportHeight;
    if (args.size() > 1) {
        const std::string& size = args[1];
        const std::size_t x = size.find('x');
        auto parse = [](const char* first, const char* last, int& out) {
            auto [end, error] = std::from_chars(first, last, out);
            return error == std::errc() && end == last && out >= 1 && out <= 16384;
        };
        if (x == std::string::npos || !parse(size.data(), size.data() + x, width) ||
            !parse(size.data() + x + 1, size.data() + size.size(), height))
            return Status::Error("render: size '" + size + "' is not WIDTHxHEIGHT (1 to 16384 each)");
    }
    return Viewport(c).Render(args[0], width, height);
}

Status TextureToPngAction(BatchContext& c, Args args) { return Viewport(c).TextureToPng(args[0], args[1]); }

const BatchAction kViewportActions[] = {
    {"display", 2, 2, "OPTION on|off", DisplayAction},
    {"fill", 1, 1, "triangles|lines|points", FillAction},
    {"select-frame", 1, 1, "NAME", SelectFrameAction},
    {"select-mesh", 1, 1, "NAME", SelectMeshAction},
    {"render", 1, 2, "PATH.png [WIDTHxHEIGHT]", RenderAction},
    {"texture-to-png", 2, 2, "IN OUT", TextureToPngAction},
};

std::span<const BatchAction> ViewportActions() { return kViewportActions; }

}  // namespace ms
