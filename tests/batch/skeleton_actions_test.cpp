// The batch actions of the bone buttons, envelopes, camera and mouse tools.
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "base/json.h"
#include "batch/batch.h"
#include "batch/batch_runner.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::Batch;
using test::Outcome;

// Hip at (0, 1, 0) with Knee 2 along its x: bone 0 runs from (0, 1, 0) to (2, 1, 0), bone 1 from
// there to (2.5, 1, 0).
class SkeletonActions : public ::testing::Test {
protected:
    void SetUp() override {
        test::GmfBuilder b;
        b.frames = {test::Frame("Hip", -1, 0, -1, 1), test::Frame("Knee", -1, 0, -1, 2), test::Frame("Foot")};
        b.frames[0].matrix[13] = 1.0f;
        b.frames[1].matrix[12] = 2.0f;
        test::WriteFileBytes(leg, b.Bytes());
    }

    // Runs the actions after loading the leg and returns the scene dump.
    Json Scene(std::vector<std::string> actions) {
        actions.insert(actions.begin(), {"load-skeleton", leg});
        actions.push_back("dump-scene");
        Outcome r = Batch(actions);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? Json::parse(r.out) : Json();
    }

    // The batch viewport's pixel at the middle of a bone's screen segment.
    std::vector<std::string> MiddlePixel(int bone) {
        const Json scene = Scene({});
        const Json& s = scene["boneStates"][bone];
        const float x = (s["originScreen"][0].get<float>() + s["endScreen"][0].get<float>()) / 2;
        const float y = (s["originScreen"][1].get<float>() + s["endScreen"][1].get<float>()) / 2;
        return {std::to_string(std::lround(445.5f * (1 + x))), std::to_string(std::lround(326.5f * (1 - y)))};
    }

    test::TempDir dir;
    std::string leg = dir.Path("leg.gmf");
};

TEST_F(SkeletonActions, ClickPicksAndDragsMoveTheTreeOrTurnTheBone) {
    const std::vector<std::string> hip = MiddlePixel(0);
    Json s = Scene({"click", hip[0], hip[1], "drag", "translate", "xy", "290", "-220"});
    EXPECT_EQ(s["pickedBone"], 0);
    EXPECT_NEAR(s["matrices"][1][12].get<float>(), 1.0f, 1e-5f);  // the root's local translation
    EXPECT_NEAR(s["matrices"][1][13].get<float>(), 2.0f, 1e-5f);
    EXPECT_NEAR(s["boneStates"][1]["origin"][0].get<float>(), 3.0f, 1e-5f);

    // Knee's origin is also Hip's end, where Hip wins the pick: the drag grabs Knee by its middle.
    s = Scene({"pick-bone", "1", "drag", "rotate", "y", "100", "0"});
    EXPECT_EQ(s["pickedBone"], 1);
    EXPECT_FLOAT_EQ(s["boneStates"][1]["poseAngles"][1].get<float>(), -0.5f);
    EXPECT_FLOAT_EQ(s["boneStates"][0]["poseAngles"][1].get<float>(), 0.0f);

    s = Scene({"click", hip[0], hip[1], "click", "0", "0"});  // the viewport's edge is outside it
    EXPECT_EQ(s["pickedBone"], -1);
}

TEST_F(SkeletonActions, SetEnvelopeCorrectsAndTheButtonsReset) {
    Json s = Scene(
        {"pick-bone", "1", "set-envelope", "1", "1", "1", "0.3", "0.3", "1", "1", "1", "0.5", "0.2", "2", "on"});
    const Json& e = s["boneStates"][1];
    EXPECT_FLOAT_EQ(e["dot2"][0].get<float>(), 1.01f);  // equal dots: Dot 2 moves along x
    EXPECT_FLOAT_EQ(e["dot1R2"].get<float>(), 0.4f);
    EXPECT_FLOAT_EQ(e["dot2R1"].get<float>(), 0.2f);
    EXPECT_FLOAT_EQ(e["dot2R2"].get<float>(), 0.5f);
    EXPECT_EQ(e["falloff"], -3);

    // A text that is not a number keeps the bone's value; Regen gives the default envelope back.
    s = Scene({"pick-bone", "0", "set-envelope", "0", "0", "0", "0.3", "0.6", "x", "0", "0", "0.2", "0.4", "0", "off"});
    EXPECT_FLOAT_EQ(s["boneStates"][0]["dot1R1"].get<float>(), 0.3f);
    EXPECT_FLOAT_EQ(s["boneStates"][0]["dot2"][0].get<float>(), 2.0f);
    s = Scene({"pick-bone", "0", "set-envelope", "0", "0", "0", "0.3", "0.6", "2", "0", "0", "0.2", "0.4", "0", "off",
               "regen-envelopes"});
    EXPECT_FLOAT_EQ(s["boneStates"][0]["dot1R1"].get<float>(), 0.2f);

    s = Scene({"pick-bone", "1", "drag", "rotate", "xy", "40", "-30", "bone-zero", "x", "reset-bone"});
    EXPECT_EQ(s["boneStates"][1]["poseAngles"], Json({0.0f, 0.0f, 0.0f}));
}

TEST_F(SkeletonActions, CameraViewZoomAndOrbit) {
    Json s = Scene({"camera", "10", "120", "-3", "1", "2", "3", "0.5", "100"});
    EXPECT_FLOAT_EQ(s["camera"]["AXZ"].get<float>(), 1.570795f);
    EXPECT_EQ(s["camera"]["L"], 3.0f);
    EXPECT_EQ(s["camera"]["target"], Json({1.0f, 2.0f, 3.0f}));

    s = Scene({"view", "top", "zoom", "120", "orbit", "30", "0"});
    EXPECT_NEAR(s["camera"]["L"].get<float>(), 4.5f, 1e-5f);
    EXPECT_NEAR(s["camera"]["AY"].get<float>(), -90 * 0.01745328f - 30 * 0.010466667f, 1e-5f);
    EXPECT_NEAR(s["camera"]["AXZ"].get<float>(), 89 * 0.01745328f, 1e-5f);
}

TEST_F(SkeletonActions, BadArgumentsAreReported) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"bone-zero", "w"}, "'w' is not one of x|y|z"},
        {{"view", "up"}, "'up' is not one of front|back|left|right|bottom|top"},
        {{"drag", "translate", "xy", "1", "1"}, "no bone is picked"},
        {{"drag", "move", "xy", "1", "1"}, "'move' is not one of translate|rotate"},
        {{"pick-bone", "0", "set-envelope", "0", "0", "0", "1", "2", "1", "0", "0", "1", "2", "4", "on"},
         "'4' is not one of"},
        {{"click", "1.5", "3"}, "'1.5' is not a whole number"},
        {{"orbit", "2000000", "0"}, "outside"},
        {{"camera", "0", "0", "5", "0", "0", "0", "1", "1"}, "The previous projection is kept"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = {"load-skeleton", leg};
        args.insert(args.end(), r.args.begin(), r.args.end());
        Outcome o = Batch(args);
        EXPECT_EQ(o.status, 1) << r.args[0];
        EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
    }
}

}  // namespace
}  // namespace ms
