#include "platform/d3d8/fvf.h"

#include "platform/d3d8/d3d8states.h"

namespace ms {
namespace {

// Texture coordinate count from the 2-bit size code of a set.
int TexCoordCount(DWORD fvf, int set) {
    constexpr int kCounts[4] = {2, 3, 4, 1};
    return kCounts[(fvf >> (16 + 2 * set)) & 3];
}

}  // namespace

bool DecodeFvf(DWORD fvf, FvfLayout* layout) {
    FvfLayout l;
    l.fvf = fvf;
    if (fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) return false;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == 0) return false;
    l.rhw = position == D3DFVF_XYZRHW;
    if (l.rhw && (fvf & D3DFVF_NORMAL)) return false;
    l.betaCount = position >= D3DFVF_XYZB1 ? static_cast<int>(position - D3DFVF_XYZB1) / 2 + 1 : 0;
    const bool indexed = (fvf & D3DFVF_LASTBETA_UBYTE4) != 0;
    if (indexed && l.betaCount == 0) return false;
    l.texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (l.texCount > 8) return false;

    int offset = l.rhw ? 16 : 12;
    l.weightCount = l.betaCount - (indexed ? 1 : 0);
    offset += 4 * l.weightCount;
    if (indexed) {
        l.indicesOffset = offset;
        offset += 4;
    }
    auto take = [&offset](DWORD bit, DWORD flags, int bytes) {
        if (!(flags & bit)) return -1;
        int at = offset;
        offset += bytes;
        return at;
    };
    l.normalOffset = take(D3DFVF_NORMAL, fvf, 12);
    l.psizeOffset = take(D3DFVF_PSIZE, fvf, 4);
    l.diffuseOffset = take(D3DFVF_DIFFUSE, fvf, 4);
    l.specularOffset = take(D3DFVF_SPECULAR, fvf, 4);
    for (int set = 0; set < l.texCount; ++set) {
        l.texSize[set] = TexCoordCount(fvf, set);
        l.texOffset[set] = offset;
        offset += 4 * l.texSize[set];
    }
    l.stride = offset;
    *layout = l;
    return true;
}

}  // namespace ms
