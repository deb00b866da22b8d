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
#include "model/model_tree.h"
#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/camera.h"
#include "skin/clear_bone_meshes.h"
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

// Names on standard error every texture of `names` from `first` on whose image could not be
// loaded, with the file that was looked for.
template <typename Texture>
void WarnTexturesNotLoaded(BatchContext& c, const std::string& owner, std::int32_t first, std::int32_t count,
                           Texture texture) {
    for (std::int32_t t = first; t < count; ++t) {
        auto [name, object] = texture(t);
        if (object) continue;
        c.err << "modelsmith-batch: warning: texture '" << name << "' named by " << owner
              << " could not be loaded from " << TextureFilePath(owner, name) << "\n";
    }
}

void WarnModelTextures(BatchContext& c, const std::string& path, std::int32_t first) {
    WarnTexturesNotLoaded(c, path, first, c.model.TextureCount(), [&](std::int32_t t) {
        return std::pair<std::string, bool>(c.model.TextureName(t), c.model.Texture(t) != nullptr);
    });
}

Status Replace(BatchContext& c, Args args) {
    Status s = c.editor.Run("Replace", [&](Model& m, Scene&) { return ReplaceModel(m, args[0]); });
    if (s) WarnModelTextures(c, args[0], 0);
    return s;
}

Status Merge(BatchContext& c, Args args) {
    const std::int32_t first = c.model.TextureCount();
    Status s = c.editor.Run("Merge", [&](Model& m, Scene&) { return LoadModelFile(m, args[0]); });
    if (s) WarnModelTextures(c, args[0], first);
    return s;
}

Status ClearModel(BatchContext& c, Args) {
    return c.editor.Run("Clear", [](Model& m, Scene&) {
        ms::ClearModel(m);
        return Status::Ok();
    });
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
    // The tree as the window shows it, with whole names.
    for (const ModelTreeItem& item : BuildModelTree(m)) {
        const char* name = item.kind == TreeKind::kFrame ? m.FrameName(item.index) : m.MeshNodeName(item.index);
        text << Indent(static_cast<std::size_t>(item.depth)) << item.label.substr(0, 4) << name << "\n";
    }
    c.out << text.str();
    return Status::Ok();
}

Status LoadSkeletonAction(BatchContext& c, Args args) {
    bool everyFrame = false;
    if (args.size() > 1) {
        if (args[1] != "all-frames") return Status::Error("unknown option '" + args[1] + "' (expected all-frames)");
        everyFrame = true;
    }
    return c.editor.Run("Load Sceleton", [&](Model&, Scene& s) { return LoadSkeleton(s, args[0], everyFrame); });
}

Status OpenScene(BatchContext& c, Args args) {
    const auto first = static_cast<std::int32_t>(c.scene.textureNames.size());
    Status s = c.editor.Run("Open", [&](Model&, Scene& scene) {
        return OpenSceneFile(scene, args[0], SceneFileKindOf(args[0]));
    });
    if (s)
        WarnTexturesNotLoaded(c, args[0], first, static_cast<std::int32_t>(c.scene.textureNames.size()),
                              [&](std::int32_t t) {
                                  const bool loaded = static_cast<std::size_t>(t) < c.scene.textures.size() &&
                                                      c.scene.textures[t] != nullptr;
                                  return std::pair<std::string, bool>(c.scene.textureNames[t], loaded);
                              });
    return s;
}

Status SaveScene(BatchContext& c, Args args) { return SaveSceneFile(c.scene, args[0], SceneFileKindOf(args[0])); }

Status ClearScene(BatchContext& c, Args) {
    return c.editor.Run("Clear", [](Model&, Scene& s) {
        s.Clear();
        return Status::Ok();
    });
}

// The picked bone's chain, or every bone's when none is picked.
Status ClearChains(BatchContext& c, BoneChain chain, const char* name) {
    return c.editor.Run(name, [&](Model&, Scene& s) { return ClearBoneMeshes(s, chain, s.pickedBone); });
}

Status ClearMeshes(BatchContext& c, Args) { return ClearChains(c, BoneChain::kMeshes, "Clear Meshes"); }
Status ClearShadow(BatchContext& c, Args) { return ClearChains(c, BoneChain::kShadow, "Clear Shadow"); }

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
    {"clear-meshes", 0, 0, "", ClearMeshes},
    {"clear-shadow", 0, 0, "", ClearShadow},
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
