#include "batch/batch.h"

#include <cerrno>
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

// Indentation grows with the depth up to this level; deeper lines carry their level instead, so
// that the text of a deep chain grows linearly with the number of frames.
constexpr std::size_t kDeepestIndent = 32;

std::string Indent(std::size_t depth) {
    if (depth <= kDeepestIndent) return std::string(2 * depth, ' ');
    return std::string(2 * kDeepestIndent, ' ') + "<level " + std::to_string(depth) + "> ";
}

// Prints the frames depth first (a frame, its mesh nodes, its children, then its next sibling)
// with an explicit stack, so a deep tree cannot exhaust the call stack; each frame once.
void PrintFrameTree(const Model& m, std::vector<bool>& shown, std::ostream& out) {
    std::vector<bool> seen(m.FrameCount(), false);
    std::vector<std::pair<std::int32_t, std::size_t>> stack{{0, 0}};  // (frame, depth)
    while (!stack.empty()) {
        const auto [f, depth] = stack.back();
        stack.pop_back();
        if (f < 0 || f >= m.FrameCount() || seen[f]) continue;
        seen[f] = true;
        out << Indent(depth) << "F : " << m.FrameName(f) << "\n";
        std::int32_t first = m.FrameFirstMeshNode(f);
        for (std::int32_t n = first; first >= 0 && n < first + m.FrameMeshNodeCount(f); ++n) {
            out << Indent(depth + 1) << "M : " << m.MeshNodeName(n) << "\n";
            if (n < static_cast<std::int32_t>(shown.size())) shown[n] = true;
        }
        stack.push_back({m.FrameNextSibling(f), depth});
        stack.push_back({m.FrameFirstChild(f), depth + 1});
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
    PrintFrameTree(m, shown, text);
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
    bool help = false;
    std::string tracePath;
};

void PrintUsage(std::ostream& out) {
    out << "usage: modelsmith-batch [--keep-going] [--trace PATH] [--help] [--] ACTION [ARG...] [ACTION [ARG...]]...\n"
           "  --keep-going  go on after a failed action (the exit status is still 1)\n"
           "  --trace PATH  write every device call of every frame drawn to PATH\n"
           "  --help        print this text\n"
           "  --            end of the options: later words starting with -- are actions or arguments\n"
           "actions:\n";
    for (const BatchAction& a : BatchActions()) out << "  " << a.name << (*a.usage ? " " : "") << a.usage << "\n";
}

// Splits the words into steps. An action word takes its required arguments whatever they say (a
// file may be named like an action), then optional ones up to its largest number, stopping at the
// next action word or option. Options may stand between steps until `--`.
Status Parse(const std::vector<std::string>& words, Options& options, std::vector<Step>& steps) {
    bool optionsEnded = false;
    auto isOption = [&](const std::string& word) { return !optionsEnded && word.rfind("--", 0) == 0; };
    for (std::size_t i = 0; i < words.size();) {
        const std::string& word = words[i++];
        if (!optionsEnded && (word == "--help" || word == "-h")) {
            options.help = true;
            return Status::Ok();
        }
        if (isOption(word)) {
            if (word == "--") {
                optionsEnded = true;
            } else if (word == "--keep-going") {
                options.keepGoing = true;
            } else if (word == "--trace") {
                if (i == words.size()) return Status::Error("--trace needs PATH");
                options.tracePath = words[i++];
            } else {
                return Status::Error("unknown option '" + word + "'");
            }
            continue;
        }
        const BatchAction* action = FindAction(word);
        if (!action) return Status::Error("unknown action '" + word + "'");
        Step step{action, {}};
        while (static_cast<int>(step.args.size()) < action->minArgs && i < words.size())
            step.args.push_back(words[i++]);
        if (static_cast<int>(step.args.size()) < action->minArgs)
            return Status::Error(std::string(action->name) + " needs " + action->usage);
        while (i < words.size() && static_cast<int>(step.args.size()) < action->maxArgs && !FindAction(words[i]) &&
               !isOption(words[i]))
            step.args.push_back(words[i++]);
        steps.push_back(std::move(step));
    }
    if (steps.empty()) return Status::Error("no action given");
    return Status::Ok();
}

// Output that could not be written (a full disk, a closed standard output) fails the run.
int FinishOutput(std::ostream& out, std::ostream& err, int exit) {
    errno = 0;
    const bool synced = out.rdbuf() && out.rdbuf()->pubsync() == 0;  // also when the stream failed before
    if (synced && out) return exit;
    err << "modelsmith-batch: cannot write the output: " << (errno ? std::strerror(errno) : "the stream failed") << "\n";
    return kBatchFailed;
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
        err << "modelsmith-batch: " << s.message() << "\n";
        PrintUsage(err);
        return kBatchUsage;
    }
    if (options.help) {
        PrintUsage(out);
        return FinishOutput(out, err, kBatchOk);
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
    return FinishOutput(out, err, exit);
}

}  // namespace ms
