// The actions that draw: display options, fill mode, selection, render, texture-to-png, --trace.
#include <sstream>

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "batch/batch.h"
#include "platform/image/image.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome Batch(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = RunBatch(args, out, err);
    return {status, out.str(), err.str()};
}

class ViewportActions : public ::testing::Test {
protected:
    void SetUp() override {
        test::GmfBuilder b = test::SmallModel();
        // A visible triangle in front of the start-up camera: x, y, z, normal, u, v.
        const float v[3][8] = {{-1, 0, 0, 0, 0, -1, 0, 0}, {0, 1.5f, 0, 0, 0, -1, 0, 0}, {1, 0, 0, 0, 0, -1, 0, 0}};
        b.geometries[0].vb = 96;
        test::WriteFileBytes(model, b.Bytes());
        auto bytes = test::ReadFileBytes(model);
        // Replace the generated vertex bytes (the last 96 before the index block) with the triangle.
        std::memcpy(bytes.data() + bytes.size() - 4 - 6 - 96, v, sizeof v);
        test::WriteFileBytes(model, bytes);
    }
    Image Picture(const std::string& path) {
        Image image;
        EXPECT_TRUE(DecodeImageFile(path, image));
        return image;
    }
    test::TempDir dir;
    std::string model = dir.Path("m.gmf");
};

TEST_F(ViewportActions, RenderDrawsTheSelectionWithTheDisplayOptions) {
    Outcome r = Batch({"replace", model, "render", dir.Path("empty.png"), "select-frame", "Hips", "render",
                       dir.Path("hips.png"), "fill", "points", "render", dir.Path("points.png"), "320x200"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Image empty = Picture(dir.Path("empty.png")), hips = Picture(dir.Path("hips.png"));
    ASSERT_EQ(empty.width, 891);
    ASSERT_EQ(empty.height, 653);
    EXPECT_EQ(empty.At(445, 300), 0xFF7D7DC8u);  // nothing chosen: only the clear colour
    EXPECT_NE(hips.At(445, 300), 0xFF7D7DC8u);   // the chosen frame's mesh node covers the centre
    EXPECT_EQ(Picture(dir.Path("points.png")).width, 320);
}

TEST_F(ViewportActions, BadArgumentsAreReported) {
    const std::vector<std::vector<std::string>> cases = {
        {"display", "draw-meshes", "maybe"}, {"display", "wireframe", "on"}, {"fill", "solid"},
        {"render", dir.Path("x.png"), "12by4"}, {"render", dir.Path("x.png"), "0x10"},
        {"texture-to-png", dir.Path("none.bmp"), dir.Path("out.png")},
    };
    for (const auto& args : cases) {
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
        EXPECT_NE(r.err.find(args[0]), std::string::npos) << r.err;
    }
    for (const char* size : {"16384x16384", "8192x8193"}) {  // refused at once, before any drawing
        Outcome big = Batch({"render", dir.Path("big.png"), size});
        EXPECT_EQ(big.status, 1) << size;
        EXPECT_NE(big.err.find("pixels is too large"), std::string::npos) << big.err;
    }
    Outcome r = Batch({"select-frame", "Nobody", "render", dir.Path("n.png")});
    EXPECT_EQ(r.status, 0);  // as the tree: an unknown name selects nothing
    EXPECT_NE(r.err.find("Nobody"), std::string::npos);
}

TEST_F(ViewportActions, TextureToPngWritesTheTextureAsTheDeviceHoldsIt) {
    // A 2 x 1 24-bit BMP: blue then red.
    std::vector<std::uint8_t> bmp = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0,
                                     0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0};
    test::WriteFileBytes(dir.Path("t.bmp"), bmp);
    Outcome r = Batch({"texture-to-png", dir.Path("t.bmp"), dir.Path("t.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Image png = Picture(dir.Path("t.png"));
    ASSERT_EQ(png.width, 2);
    EXPECT_EQ(png.At(0, 0), 0xFF0000FFu);
    EXPECT_EQ(png.At(1, 0), 0xFFFF0000u);
}

TEST_F(ViewportActions, TraceRecordsTheCallsOfEachFrame) {
    Outcome r = Batch({"--trace", dir.Path("trace.txt"), "replace", model, "render", dir.Path("a.png"), "display",
                       "no-culling", "on", "render", dir.Path("b.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bytes = test::ReadFileBytes(dir.Path("trace.txt"));
    const std::string trace(bytes.begin(), bytes.end());
    EXPECT_EQ(trace.find("# frame 1\nClear("), 0u) << trace.substr(0, 200);
    EXPECT_NE(trace.find("# frame 2\nClear("), std::string::npos);
    EXPECT_NE(trace.find("SetRenderState(CULLMODE, 1)"), std::string::npos);
    EXPECT_EQ(trace.find("CreateTexture"), std::string::npos);  // only the frames are traced
    Outcome failed = Batch({"--trace", dir.Path("no/such/dir/t.txt"), "clear"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("No such file or directory"), std::string::npos) << failed.err;
    // A trace that opens but cannot be written says so and why.
    Outcome full = Batch({"--trace", "/dev/full", "render", dir.Path("c.png"), "8x8"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write the trace file '/dev/full': No space left on device"), std::string::npos)
        << full.err;
}

}  // namespace
}  // namespace ms
