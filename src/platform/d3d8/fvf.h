#pragma once
// Decoding of a flexible vertex format code into the byte offsets of its components.
#include "platform/d3d8/d3d8types.h"

namespace ms {

struct FvfLayout {
    DWORD fvf = 0;
    bool rhw = false;        // XYZRHW: screen-space vertices, neither transformed nor lit
    int betaCount = 0;       // the DWORDs after the position (XYZB1..5), indices included
    int weightCount = 0;     // the float blend weights among them
    int indicesOffset = -1;  // LASTBETA_UBYTE4: the four matrix-index bytes, index 0 lowest
    int normalOffset = -1;
    int psizeOffset = -1;
    int diffuseOffset = -1;
    int specularOffset = -1;
    int texCount = 0;
    int texOffset[8] = {};
    int texSize[8] = {};  // coordinates of each set, 1..4
    int stride = 0;       // bytes of one vertex
};

// Fills *layout and returns true when `fvf` is a vertex format the device can draw: bit 0 and
// bits 13-15 clear, a position, at most 8 texture sets, no normal with XYZRHW, and
// LASTBETA_UBYTE4 only with blend betas. Size codes of sets beyond the count are ignored.
bool DecodeFvf(DWORD fvf, FvfLayout* layout);

}  // namespace ms
