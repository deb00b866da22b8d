#include "batch/batch.h"

#include <charconv>
#include <cstring>
#include <ostream>
#include <sstream>

#include "base/binary_io.h"
#include "batch/batch_viewport.h"
#include "model/model_files.h"
#include "model/model_json.h"
#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/camera.h"
#include "skin/scene_file.h"
#include "skin/skeleton_loader.h"

namespace ms {
namespace {

using Args = std::span<const std::string>;

// Writes `text` to `path`, or to standard output when no path is given.
Status WriteText(BatchContext& c, Args args, const std::string& text) {
    if (args.empty()) {
        c.out << text;
        return Status::Ok();
    }
    AtomicFileWriter file;
    if (Status s = file.Open(args[0]); !s) return s;
    file.WriteBytes(text.data(), text.size());
    return file.Commit();
}

Status Replace(BatchContext& c, Args args) {
    c.model.Clear();
    c.model.Reset();
    return LoadModelFile(c.model, args[0]);
}

Status Merge(BatchContext& c, Args args) { return LoadModelFile(c.model, args[0]); }

Status ClearModel(BatchContext& c, Args) {
    c.model.Clear();
    c.model.Reset();
    return Status::Ok();
}

Status Save(BatchContext& c, Args args) { return c.model.SaveGmf(args[0]); }

// Names from files may hold bytes that are not UTF-8; JSON text shows them as U+FFFD.
std::string JsonText(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

Status DumpModel(BatchContext& c, Args args) { return WriteText(c, args, JsonText(ModelToJson(c.model))); }

void PrintFrameTree(const Model& m, std::int32_t frame, int depth, std::vector<bool>& shown, std::ostream& out) {
    // Walks the sibling chain iteratively and recurses into children; the loaded file was
    // checked to be a tree, so this ends.
    for (std::int32_t f = frame; f != -1; f = m.FrameNextSibling(f)) {
        out << std::string(2 * depth, ' ') << "F : " << m.FrameName(f) << "\n";
        std::int32_t first = m.FrameFirstMeshNode(f);
        for (std::int32_t n = first; first >= 0 && n < first + m.FrameMeshNodeCount(f); ++n) {
            out << std::string(2 * depth + 2, ' ') << "M : " << m.MeshNodeName(n) << "\n";
            if (n < static_cast<std::int32_t>(shown.size())) shown[n] = true;
        }
        PrintFrameTree(m, m.FrameFirstChild(f), depth + 1, shown, out);
    }
}

Status Info(BatchContext& c, Args args) {
    Model m;
    if (Status s = LoadModelFile(m, args[0]); !s) return s;
    std::int64_t vertices = 0, primitives = 0;
    for (std::int32_t g = 0; g < m.GeometryCount(); ++g) {
        vertices += m.Geometry(g)->vertexCount;
        primitives += m.Geometry(g)->primitiveCount;
    }
    std::ostringstream text;
    text << args[0] << "\n"
         << "  frames: " << m.FrameCount() << "\n"
         << "  mesh nodes: " << m.MeshNodeCount() << "\n"
         << "  materials: " << m.MaterialCount() << "\n"
         << "  textures: " << m.TextureCount() << "\n"
         << "  geometries: " << m.GeometryCount() << " (" << vertices << " vertices, " << primitives
         << " primitives)\n";
    std::vector<bool> shown(m.MeshNodeCount(), false);
    if (m.FrameCount() > 0) PrintFrameTree(m, 0, 0, shown, text);
    for (std::int32_t n = 0; n < m.MeshNodeCount(); ++n)
        if (!shown[n]) text << "M : " << m.MeshNodeName(n) << "\n";
    c.out << text.str();
    return Status::Ok();
}

Status LoadSkeletonAction(BatchContext& c, Args args) {
    bool everyFrame = false;
    if (args.size() > 1) {
        if (args[1] != "all-frames") return Status::Error("unknown option '" + args[1] + "' (expected all-frames)");
        everyFrame = true;
    }
    return LoadSkeleton(c.scene, args[0], everyFrame);
}

Status OpenScene(BatchContext& c, Args args) { return OpenSceneFile(c.scene, args[0], SceneFileKindOf(args[0])); }

Status SaveScene(BatchContext& c, Args args) { return SaveSceneFile(c.scene, args[0], SceneFileKindOf(args[0])); }

Status ClearScene(BatchContext& c, Args) {
    c.scene.Clear();
    return Status::Ok();
}

// INDEX is a bone of the Scene, or -1 for none.
Status PickBone(BatchContext& c, Args args) {
    const std::string& text = args[0];
    std::int32_t bone = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bone);
    if (error != std::errc() || end != text.data() + text.size())
        return Status::Error("'" + text + "' is not a bone index");
    if (bone < -1 || bone >= c.scene.BoneCount())
        return Status::Error("no bone " + text + ": the scene has " + std::to_string(c.scene.BoneCount()) + " bones");
    SelectBone(c.scene, bone);
    return Status::Ok();
}

Status DumpScene(BatchContext& c, Args args) { return WriteText(c, args, JsonText(SceneToJson(c.scene))); }

const BatchAction kModelActions[] = {
    {"replace", 1, 1, "PATH", Replace},
    {"merge", 1, 1, "PATH", Merge},
    {"clear", 0, 0, "", ClearModel},
    {"save", 1, 1, "PATH", Save},
    {"dump-model", 0, 1, "[PATH]", DumpModel},
    {"info", 1, 1, "PATH", Info},
    {"load-skeleton", 1, 2, "PATH [all-frames]", LoadSkeletonAction},
    {"open-scene", 1, 1, "PATH", OpenScene},
    {"save-scene", 1, 1, "PATH", SaveScene},
    {"clear-scene", 0, 0, "", ClearScene},
    {"pick-bone", 1, 1, "INDEX", PickBone},
    {"dump-scene", 0, 1, "[PATH]", DumpScene},
};

const BatchAction* FindAction(const std::string& word) {
    for (const BatchAction& a : BatchActions())
        if (word == a.name) return &a;
    return nullptr;
}

struct Step {
    const BatchAction* action;
    std::vector<std::string> args;
};

struct Options {
    bool keepGoing = false;
    std::string tracePath;
};

void PrintUsage(std::ostream& err) {
    err << "usage: modelsmith-batch [--keep-going] [--trace PATH] ACTION [ARG...] [ACTION [ARG...]]...\n"
           "actions:\n";
    for (const BatchAction& a : BatchActions()) err << "  " << a.name << (*a.usage ? " " : "") << a.usage << "\n";
}

// Splits the words into steps: an action word takes the following words as its arguments, up to
// the next action word or its largest number of arguments.
Status Parse(const std::vector<std::string>& words, Options& options, std::vector<Step>& steps) {
    for (std::size_t i = 0; i < words.size();) {
        const std::string& word = words[i++];
        if (word == "--keep-going") {
            options.keepGoing = true;
            continue;
        }
        if (word == "--trace") {
            if (i == words.size()) return Status::Error("--trace needs PATH");
            options.tracePath = words[i++];
            continue;
        }
        if (word == "--help" || word == "-h") return Status::Error("");
        const BatchAction* action = FindAction(word);
        if (!action) return Status::Error("unknown action '" + word + "'");
        Step step{action, {}};
        while (i < words.size() && static_cast<int>(step.args.size()) < action->maxArgs && !FindAction(words[i]) &&
               words[i].rfind("--", 0) != 0)
            step.args.push_back(words[i++]);
        if (static_cast<int>(step.args.size()) < action->minArgs)
            return Status::Error(std::string(action->name) + " needs " + action->usage);
        steps.push_back(std::move(step));
    }
    if (steps.empty()) return Status::Error("no action given");
    return Status::Ok();
}

}  // namespace

BatchContext::BatchContext(std::ostream& out_, std::ostream& err_, const std::string& tracePath)
    : out(out_), err(err_), viewport(std::make_unique<BatchViewport>(model, scene, tracePath)) {}

BatchContext::~BatchContext() = default;

std::span<const BatchAction> ModelActions() { return kModelActions; }

std::span<const BatchAction> BatchActions() {
    static const std::vector<BatchAction> actions = [] {
        std::vector<BatchAction> all;
        for (auto table : {ModelActions(), ViewportActions(), LayoutActions(), ConnectActions(), SkeletonActions(),
                           EditActions()})
            all.insert(all.end(), table.begin(), table.end());
        return all;
    }();
    return actions;
}

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    std::vector<Step> steps;
    if (Status s = Parse(args, options, steps); !s) {
        if (!s.message().empty()) err << "modelsmith-batch: " << s.message() << "\n";
        PrintUsage(err);
        return kBatchUsage;
    }
    BatchContext context(out, err, options.tracePath);
    if (!context.viewport->status()) {
        err << "modelsmith-batch: " << context.viewport->status().message() << "\n";
        return kBatchFailed;
    }
    int exit = kBatchOk;
    for (const Step& step : steps) {
        Status s = step.action->run(context, step.args);
        if (s) continue;
        err << "modelsmith-batch: " << step.action->name << " failed: " << s.message() << "\n";
        exit = kBatchFailed;
        if (!options.keepGoing) break;
    }
    out.flush();
    return exit;
}

}  // namespace ms
