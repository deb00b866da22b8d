#include "edit/editor.h"

#include <filesystem>
#include <random>
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

TEST(History, BudgetFromTheEnvironment) {
    const struct {
        const char* text;
        std::size_t bytes;
    } cases[] = {{"", std::size_t{1} << 30}, {"4096", 4096}, {"2M", std::size_t{2} << 20},
                 {"3G", std::size_t{3} << 30}, {"lots", std::size_t{1} << 30}, {"5X", std::size_t{1} << 30}};
    for (const auto& c : cases) {
        setenv("MODELSMITH_UNDO_BUDGET", c.text, 1);
        EXPECT_EQ(History::BudgetFromEnvironment(), c.bytes) << c.text;
    }
    unsetenv("MODELSMITH_UNDO_BUDGET");
}

// Random sequences of commands with undo and redo interleaved: after each undo the dumps equal
// the ones recorded before the step, after each redo the ones after it.
TEST_F(EditorTest, RandomSequencesUndoAndRedoExactly) {
    test::TempDir dir;
    using Command = std::pair<const char*, std::function<Status(Model&, Scene&)>>;
    const std::vector<Command> commands = {
        {"Replace", [](Model& m, Scene&) { m.Clear(); m.Reset(); return LoadModelFile(m, "figure.x"); }},
        {"Merge", [](Model& m, Scene&) { return LoadModelFile(m, "figure.gmf"); }},
        {"Clear", [](Model& m, Scene&) { m.Clear(); m.Reset(); return Status::Ok(); }},
        {"Load Sceleton", [](Model&, Scene& s) { return LoadSkeleton(s, "figure.x", false); }},
        {"Load Sceleton", [](Model&, Scene& s) { return LoadSkeleton(s, "figure.gmf", true); }},
        {"Clear", [](Model&, Scene& s) { s.Clear(); return Status::Ok(); }},
        {"Save", [&](Model&, Scene& s) { return SaveSceneFile(s, dir.Path("a.skn"), SceneFileKind::kSkin); }},
        {"Open", [&](Model&, Scene& s) { return OpenSceneFile(s, dir.Path("a.skn"), SceneFileKind::kSkin); }},
        {"a&X=0", [](Model&, Scene& s) {
             if (s.BoneCount() > 1) SelectBone(s, 1);
             ZeroPickedAngle(s, 0);
             return Status::Ok();
         }},
    };
    std::mt19937 random(1234);
    struct Recorded {
        std::string before, after;
    };
    std::vector<Recorded> done, undone;
    for (int i = 0; i < 120; ++i) {
        const int choice = static_cast<int>(random() % 10);
        if (choice < 6) {
            const Command& command = commands[random() % commands.size()];
            const std::string before = Now();
            auto newest = [&] { return editor.history().CanUndo() ? editor.history().UndoStep().after.get() : nullptr; };
            const StateSnapshot* newestBefore = newest();
            const bool ok = static_cast<bool>(editor.Run(command.first, command.second));
            const std::string after = Now();
            if (!ok) {
                EXPECT_EQ(after, before) << command.first;
                continue;
            }
            if (newest() == newestBefore) {  // changed nothing: no step
                EXPECT_EQ(after, before) << command.first;
                continue;
            }
            done.push_back({before, after});
            undone.clear();
        } else if (choice < 8) {
            if (done.empty()) {
                EXPECT_FALSE(editor.Undo());
                continue;
            }
            ASSERT_TRUE(editor.Undo());
            EXPECT_EQ(Now(), done.back().before) << "undo at " << i;
            undone.push_back(done.back());
            done.pop_back();
        } else {
            if (undone.empty()) {
                EXPECT_FALSE(editor.Redo());
                continue;
            }
            ASSERT_TRUE(editor.Redo());
            EXPECT_EQ(Now(), undone.back().after) << "redo at " << i;
            done.push_back(undone.back());
            undone.pop_back();
        }
    }
}

}  // namespace
}  // namespace ms
