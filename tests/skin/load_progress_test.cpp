// Loads of the skeleton and scene files report their progress, and a stopped load changes nothing.
#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "scene_file_builder.h"
#include "skin/scene_file.h"
#include "skin/skeleton_loader.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

TEST(LoadProgress, AStoppedSceneOrSkeletonLoadChangesNothing) {
    test::TempDir dir;
    test::WriteFileBytes(dir.Path("s.scn"), test::SmallScene().File().bytes);
    test::WriteFileBytes(dir.Path("m.gmf"), test::SmallModel().Bytes());
    Scene scene;
    std::uint64_t last = 0, size = 0;
    const auto watch = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_GE(done, last);
        last = done;
        size = total;
        return true;
    };
    ASSERT_TRUE(OpenSceneFile(scene, dir.Path("s.scn"), SceneFileKind::kScene, watch));
    EXPECT_EQ(size, test::ReadFileBytes(dir.Path("s.scn")).size());
    const std::size_t nodes = scene.drawNodes.size();
    const auto stop = [](std::uint64_t, std::uint64_t) { return false; };
    Status s = OpenSceneFile(scene, dir.Path("s.scn"), SceneFileKind::kScene, stop);
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("cancelled"), std::string::npos);
    EXPECT_EQ(scene.drawNodes.size(), nodes);
    const std::int32_t bones = scene.BoneCount();
    EXPECT_FALSE(LoadSkeleton(scene, dir.Path("m.gmf"), true, stop));
    EXPECT_EQ(scene.BoneCount(), bones);
    EXPECT_TRUE(LoadSkeleton(scene, dir.Path("m.gmf"), true));
    EXPECT_GT(scene.BoneCount(), bones);
}

}  // namespace
}  // namespace ms
