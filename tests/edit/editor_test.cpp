#include "edit/editor.h"

#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "base/json.h"
#include "batch/batch.h"
#include "model/model_files.h"
#include "model/model_json.h"
#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/scene_file.h"
#include "skin/skeleton_loader.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

std::string SamplesDir() {
    const char* data = std::getenv("MS_TEST_DATA");
    return std::filesystem::canonical(std::string(data ? data : "tests/data") + "/../../samples").string();
}

// The Model and the Scene as JSON, without the camera, which is view state.
std::string Dump(const Model& model, const Scene& scene) {
    Json s = SceneToJson(scene);
    s.erase("camera");
    return ModelToJson(model).dump() + "\n" + s.dump();
}

// A batch context (with the off-screen device, so that textures load) in the samples folder.
class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(SamplesDir());
    }
    void TearDown() override { std::filesystem::current_path(old_); }

    std::ostringstream out, err;
    BatchContext c{out, err};
    Editor& editor = c.editor;
    std::string Now() { return Dump(c.model, c.scene); }

private:
    std::filesystem::path old_;
};

TEST_F(EditorTest, AFailedCommandLeavesEverythingAsItWas) {
    ASSERT_TRUE(editor.Run("Replace", [](Model& m, Scene&) { return LoadModelFile(m, "figure.x"); }));
    ASSERT_TRUE(editor.Run("Load Sceleton", [](Model&, Scene& s) { return LoadSkeleton(s, "figure.x", false); }));
    const std::string before = Now();
    const std::size_t steps = editor.history().size();
    Status s = editor.Run("Connect", [](Model& m, Scene& scene) {
        m.Clear();
        scene.vertexPool.resize(100, 7);
        scene.bones.pop_back();
        return Status::Error("refused");
    });
    EXPECT_FALSE(s);
    EXPECT_EQ(Now(), before);
    EXPECT_EQ(editor.history().size(), steps);
}

TEST_F(EditorTest, ACommandThatRunsOutOfMemoryFailsAndChangesNothing) {
    ASSERT_TRUE(editor.Run("Replace", [](Model& m, Scene&) { return LoadModelFile(m, "figure.gmf"); }));
    const std::string before = Now();
    Status s = editor.Run("Merge", [](Model& m, Scene& scene) -> Status {
        m.Clear();
        scene.vertexPool.resize(10, 1);
        throw std::bad_alloc();
    });
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("not enough memory"), std::string::npos);
    EXPECT_EQ(Now(), before);
    EXPECT_EQ(editor.history().size(), 1u);
    ASSERT_TRUE(editor.Undo());
    ASSERT_TRUE(editor.Redo());
    EXPECT_EQ(Now(), before);
}

TEST_F(EditorTest, ACommandThatChangesNothingMakesNoStep) {
    ASSERT_TRUE(editor.Run("Replace", [](Model& m, Scene&) { return LoadModelFile(m, "figure.gmf"); }));
    ASSERT_EQ(editor.history().size(), 1u);
    EXPECT_TRUE(editor.Run("Clear Meshes", [](Model&, Scene&) { return Status::Ok(); }));
    EXPECT_EQ(editor.history().size(), 1u);
    EXPECT_EQ(editor.history().UndoStep().name, "Replace");
}

TEST_F(EditorTest, UndoAndRedoFailWithNothingToDo) {
    EXPECT_FALSE(editor.Undo());
    EXPECT_FALSE(editor.Redo());
    std::ostringstream o, e;
    EXPECT_EQ(RunBatch({"undo"}, o, e), 1);
    EXPECT_NE(e.str().find("nothing to undo"), std::string::npos);
}

// A selection that the restored Model does not have is dropped, so Connect says that nothing is
// selected instead of connecting nothing and succeeding.
TEST_F(EditorTest, UndoInTheBatchDropsASelectionThatNoLongerExists) {
    std::ostringstream o, e;
    const std::vector<std::string> args = {"load-skeleton", "figure.x", "replace", "figure.x",
                                           "select-frame",  "Hips",     "undo",    "connect"};
    EXPECT_EQ(RunBatch(args, o, e), 1);
    EXPECT_NE(e.str().find("nothing is selected"), std::string::npos) << e.str();
}

TEST_F(EditorTest, TextureObjectsComeBackWithUndo) {
    ASSERT_TRUE(editor.Run("Replace", [](Model& m, Scene&) { return LoadModelFile(m, "figure.x"); }));
    ASSERT_GT(c.model.TextureCount(), 0);
    IDirect3DTexture8* first = c.model.Texture(0);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(editor.Run("Clear", [](Model& m, Scene&) {
        m.Clear();
        m.Reset();
        return Status::Ok();
    }));
    EXPECT_EQ(c.model.TextureCount(), 0);
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(c.model.Texture(0), first);
}

// The picked bone's envelope wire is drawn from its own buffer: undo and redo rebuild it.
TEST_F(EditorTest, UndoAndRedoRebuildThePickedBonesEnvelopeWire) {
    auto run = [&](std::vector<std::string> words) {
        for (const BatchAction& a : BatchActions())
            if (words[0] == a.name) return static_cast<bool>(a.run(c, std::span(words).subspan(1)));
        return false;
    };
    ASSERT_TRUE(run({"load-skeleton", "figure.x"}));
    ASSERT_TRUE(run({"pick-bone", "1"}));
    const EnvelopeWire before = c.scene.envelopeWire;
    ASSERT_TRUE(run({"set-envelope", "0", "0", "0", "0.4", "0.9", "0", "0", "2", "0.3", "0.7", "2", "off"}));
    const EnvelopeWire after = c.scene.envelopeWire;
    ASSERT_NE(std::memcmp(&before, &after, sizeof before), 0);
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(std::memcmp(&c.scene.envelopeWire, &before, sizeof before), 0);
    ASSERT_TRUE(editor.Redo());
    EXPECT_EQ(std::memcmp(&c.scene.envelopeWire, &after, sizeof after), 0);
}

// Drawing the skeleton stores every bone's world matrix. A file may give a bone's world matrix
// the index of another bone's local one, so that a draw changes the matrices between commands:
// the state before the next step is the one after the draw.
TEST_F(EditorTest, UndoRestoresMatricesThatADrawChangedBetweenCommands) {
    ASSERT_TRUE(editor.Run("Open", [](Model&, Scene& s) {
        D3DXMATRIX local;
        D3DXMatrixTranslation(&local, 1, 0, 0);
        AddBone(s, -1, local);
        AddBone(s, 0, local);
        GrowBoneStates(s);
        s.bones[1].world = s.bones[0].local;
        return Status::Ok();
    }));
    UpdateAll(c.scene);  // as DrawSkeleton does
    ProjectBones(c.scene);
    const std::string drawn = Now();
    ASSERT_TRUE(editor.Run("Set", [](Model& m, Scene&) {
        m.SetMaterialTolerance(0.5f);
        return Status::Ok();
    }));
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(Now(), drawn);
}

TEST_F(EditorTest, StepsShareTheLargePoolsTheyDidNotChange) {
    ASSERT_TRUE(editor.Run("Open", [](Model&, Scene& s) {
        s.vertexPool.assign(std::size_t{64} << 20, 1);
        return Status::Ok();
    }));
    const std::size_t first = editor.history().bytes();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(editor.Run("Connect", [](Model&, Scene& s) {
            s.vertexPool.insert(s.vertexPool.end(), 1000, 2);
            return Status::Ok();
        }));
    // Each append copies at most the two chunks it touched, not the 64 MiB pool.
    EXPECT_LT(editor.history().bytes() - first, 50 * 2 * StateSnapshot::kChunkBytes + 50 * 1000);
}

TEST(History, ForgetsTheOldestStepsBeyondItsBudget) {
    Model model;
    Scene scene;
    Editor editor(model, scene, 3 << 20);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(editor.Run("Open", [](Model&, Scene& s) {
            s.vertexPool.assign(std::size_t{1} << 20, static_cast<std::uint8_t>(s.vertexPool.empty() ? 1 : s.vertexPool[0] + 1));
            return Status::Ok();
        }));
    EXPECT_LE(editor.history().bytes(), std::size_t{3} << 20);
    EXPECT_EQ(editor.history().size(), 3u);
    int undone = 0;
    while (editor.Undo()) ++undone;
    EXPECT_EQ(undone, 3);
    EXPECT_EQ(scene.vertexPool[0], 2);  // the state before the oldest step kept
}

// Between commands the camera moves the bones' screen positions: the state before the next step
// then holds a copy of its own, which the budget counts.
TEST(History, CountsWhatTheStateBeforeAStepHoldsOfItsOwn) {
    Model model;
    Scene scene;
    Editor editor(model, scene);
    ASSERT_TRUE(editor.Run("Open", [](Model&, Scene& s) {
        s.boneStates.resize(10000);
        return Status::Ok();
    }));
    const std::size_t states = scene.boneStates.size() * sizeof(BoneState);
    EXPECT_GE(editor.history().bytes(), states);
    for (BoneState& b : scene.boneStates) b.originScreen[0] = 0.5f;  // the camera moved
    ASSERT_TRUE(editor.Run("Set", [](Model& m, Scene&) {
        m.SetMaterialTolerance(0.25f);
        return Status::Ok();
    }));
    EXPECT_GE(editor.history().bytes(), 2 * states);
}

TEST(History, BudgetFromTheEnvironment) {
    const struct {
        const char* text;
        std::size_t bytes;
    } cases[] = {{"", std::size_t{1} << 30}, {"4096", 4096}, {"2M", std::size_t{2} << 20},
                 {"3G", std::size_t{3} << 30}, {"lots", std::size_t{1} << 30}, {"5X", std::size_t{1} << 30},
                 {"-1", std::size_t{1} << 30}, {"99999999999999999G", std::numeric_limits<std::size_t>::max()}};
    for (const auto& c : cases) {
        setenv("MODELSMITH_UNDO_BUDGET", c.text, 1);
        EXPECT_EQ(History::BudgetFromEnvironment(), c.bytes) << c.text;
    }
    unsetenv("MODELSMITH_UNDO_BUDGET");
}

// Random sequences of batch actions with undo and redo interleaved: after each undo the dumps
// equal the ones recorded before the step, after each redo the ones after it. View actions
// (selection, picking, levels) are mixed in; the camera is left alone, since the bones' screen
// positions follow it.
TEST_F(EditorTest, RandomBatchSequencesUndoAndRedoExactly) {
    test::TempDir dir;
    const std::string skin = dir.Path("a.skn");
    const std::vector<std::vector<std::string>> actions = {
        {"replace", "figure.x"}, {"merge", "figure.gmf"}, {"clear"},
        {"load-skeleton", "figure.x"}, {"load-skeleton", "figure.gmf", "all-frames"}, {"clear-scene"},
        {"save-scene", skin}, {"open-scene", skin}, {"pick-bone", "1"}, {"pick-bone", "-1"},
        {"select-frame", "Hips"}, {"select-frame", "Scene_Root"}, {"select-mesh", "Head"},
        {"level", "3"}, {"distance", "20"}, {"connect"}, {"connect-shadow"}, {"connect-blank"},
        {"connect-blank-shadow"}, {"clear-meshes"}, {"clear-shadow"},
        {"convert-fvf", "Head", "0x1158"}, {"set-vertex", "Head", "0", "X", "0.5"},
        {"set-vertex", "Head", "all", "NORMAL_Y", "1"}, {"mesh-material", "Head", "2"},
        {"material-colour", "0", "diffuse", "1", "0", "0", "1"}, {"material-power", "1", "7"},
        {"material-texture", "0", "1", "-1"}, {"power-to-all", "3"}, {"add-texture", "skin.png"},
        {"tolerance", "0.5"}, {"bone-zero", "x"}, {"reset-skeleton"}, {"reset-bone"}, {"regen-envelope"},
        {"regen-envelopes"}, {"set-envelope", "0", "0", "0", "0.1", "0.2", "0", "0", "1", "0.1", "0.3", "2", "off"},
        {"drag", "rotate", "y", "20", "0"}, {"drag", "translate", "xy", "15", "-10"},
    };
    auto find = [](const std::string& word) -> const BatchAction* {
        for (const BatchAction& a : BatchActions())
            if (word == a.name) return &a;
        return nullptr;
    };
    auto newest = [&] { return editor.history().CanUndo() ? editor.history().UndoStep().after.get() : nullptr; };
    std::mt19937 random(1234);
    struct Recorded {
        std::string before, after;
    };
    std::vector<Recorded> done, undone;
    int undos = 0, redos = 0;
    std::set<std::string> stepNames;
    for (int i = 0; i < 400; ++i) {
        const int choice = static_cast<int>(random() % 10);
        if (choice < 6) {
            const std::vector<std::string>& words = actions[random() % actions.size()];
            const BatchAction* action = find(words[0]);
            ASSERT_NE(action, nullptr) << words[0];
            const std::string before = Now();
            const StateSnapshot* newestBefore = newest();
            const bool ok = static_cast<bool>(action->run(c, std::span(words).subspan(1)));
            const std::string after = Now();
            if (newest() == newestBefore) {  // a failed action or one that changed nothing: no step
                if (!ok) {
                    EXPECT_EQ(after, before) << words[0];
                }
                continue;
            }
            done.push_back({before, after});
            undone.clear();
            stepNames.insert(editor.history().UndoStep().name);
        } else if (choice < 8) {
            if (done.empty()) {
                EXPECT_FALSE(editor.Undo());
                continue;
            }
            ASSERT_TRUE(editor.Undo());
            ++undos;
            EXPECT_EQ(Now(), done.back().before) << "undo at " << i;
            undone.push_back(done.back());
            done.pop_back();
        } else {
            if (undone.empty()) {
                EXPECT_FALSE(editor.Redo());
                continue;
            }
            ASSERT_TRUE(editor.Redo());
            ++redos;
            EXPECT_EQ(Now(), undone.back().after) << "redo at " << i;
            done.push_back(undone.back());
            undone.pop_back();
        }
    }
    EXPECT_GT(undos, 20);
    EXPECT_GT(redos, 10);
    for (const char* name : {"Replace", "Merge", "Load Sceleton", "Open", "Connect", "Connect Shadow", "Connect Blank",
                             "Clear Meshes", "Update FVF", "Set To All Dots", "Add T", "Translate", "Regen Envelopes"})
        EXPECT_EQ(stepNames.count(name), 1u) << name;
}

}  // namespace
}  // namespace ms
