// Device creation, state, clearing and presenting.
#include "device_fixture.h"

namespace ms {
namespace {

TEST(Direct3D, OnlySdkVersion220MakesTheObject) {
    EXPECT_EQ(Direct3DCreate8(219), nullptr);
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    ASSERT_NE(d3d, nullptr);
}

}  // namespace
}  // namespace ms
