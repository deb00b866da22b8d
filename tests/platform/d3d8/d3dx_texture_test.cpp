// D3DXCreateTextureFromFileA: decoded images become managed A8R8G8B8 textures with a full mip
// chain, the levels past the file's own box-filtered.
#include <cstring>

#include "device_fixture.h"
#include "platform/d3dx/d3dx8tex.h"
#include "platform/image/image.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::DeviceTest;
using test::TempDir;

std::vector<std::uint32_t> Level(IDirect3DTexture8* t, UINT level) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
    D3DLOCKED_RECT r{};
    EXPECT_EQ(t->LockRect(level, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<std::uint32_t> texels(desc.Width * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        std::memcpy(texels.data() + y * desc.Width, static_cast<std::uint8_t*>(r.pBits) + y * r.Pitch, desc.Width * 4);
    t->UnlockRect(level);
    return texels;
}

class TextureFromFile : public DeviceTest {
protected:
    TexturePtr Load(const std::string& path, HRESULT* result = nullptr) {
        IDirect3DTexture8* raw = reinterpret_cast<IDirect3DTexture8*>(this);  // must be overwritten
        const HRESULT hr = D3DXCreateTextureFromFileA(device_, path.c_str(), &raw);
        if (result) *result = hr;
        EXPECT_EQ(SUCCEEDED(hr), raw != nullptr);
        return TexturePtr(raw);
    }
    TempDir dir_;
};

TEST_F(TextureFromFile, PngGetsItsTexelsAndABoxFilteredChain) {
    ImageLevel image;
    image.width = 4;
    image.height = 2;
    image.pixels = {0xFF000000, 0xFF0000FF, 0x80FF0000, 0x00FF0000,  //
                    0xFF000002, 0xFF0000FF, 0x80FF0000, 0x40FF0000};
    ASSERT_TRUE(WritePng(dir_.Path("t.png"), image));
    TexturePtr t = Load(dir_.Path("t.png"));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->GetLevelCount(), 3u);  // 4x2, 2x1, 1x1
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(Level(t.get(), 0), image.pixels);
    // Rounded means of 2 x 2 blocks, channel by channel.
    EXPECT_EQ(Level(t.get(), 1), (std::vector<std::uint32_t>{0xFF000080, 0x50FF0000}));
    EXPECT_EQ(Level(t.get(), 2), (std::vector<std::uint32_t>{0xA8800040}));
}

TEST_F(TextureFromFile, DdsMipLevelsAreTakenFromTheFile) {
    // A 4 x 4 A8R8G8B8 DDS with three levels whose smaller levels are not filtered copies.
    std::vector<std::uint32_t> words(32, 0);
    words[0] = 0x20534444;  // "DDS "
    words[1] = 124;
    words[2] = 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000;
    words[3] = 4;  // height
    words[4] = 4;  // width
    words[5] = 16;
    words[7] = 3;  // mip levels
    words[19] = 32;
    words[20] = 0x41;  // RGB | ALPHAPIXELS
    words[22] = 32;
    words[23] = 0x00FF0000;
    words[24] = 0x0000FF00;
    words[25] = 0x000000FF;
    words[26] = 0xFF000000;
    words[27] = 0x1000 | 0x400000 | 0x8;
    for (int i = 0; i < 16; ++i) words.push_back(0xFF101010);
    for (int i = 0; i < 4; ++i) words.push_back(0xFF00FF00);
    words.push_back(0xFF0000FF);
    std::vector<std::uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    test::WriteFileBytes(dir_.Path("m.dds"), bytes);
    TexturePtr t = Load(dir_.Path("m.dds"));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->GetLevelCount(), 3u);
    EXPECT_EQ(Level(t.get(), 1), std::vector<std::uint32_t>(4, 0xFF00FF00));
    EXPECT_EQ(Level(t.get(), 2), std::vector<std::uint32_t>(1, 0xFF0000FF));
}

TEST_F(TextureFromFile, FailuresGiveANegativeResultAndNoTexture) {
    HRESULT hr = D3D_OK;
    EXPECT_EQ(Load(dir_.Path("missing.png"), &hr), nullptr);
    EXPECT_LT(hr, 0);
    test::WriteFileText(dir_.Path("bad.bmp"), "BM not really a bitmap");
    EXPECT_EQ(Load(dir_.Path("bad.bmp"), &hr), nullptr);
    EXPECT_LT(hr, 0);
    IDirect3DTexture8* raw = nullptr;
    EXPECT_LT(D3DXCreateTextureFromFileA(nullptr, dir_.Path("missing.png").c_str(), &raw), 0);
    EXPECT_LT(D3DXCreateTextureFromFileA(device_, nullptr, &raw), 0);
    EXPECT_EQ(raw, nullptr);
}

}  // namespace
}  // namespace ms
