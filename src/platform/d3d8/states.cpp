#include "platform/d3d8/states.h"

#include <array>
#include <bit>

namespace ms {
namespace {

constexpr DWORD kOne = 0x3F800000;        // 1.0f
constexpr DWORD kSixtyFour = 0x42800000;  // 64.0f
using K = StateValueKind;

constexpr StateInfo kRenderStates[] = {
    {D3DRS_ZENABLE, "ZENABLE", D3DZB_TRUE, K::kNumber},
    {D3DRS_FILLMODE, "FILLMODE", D3DFILL_SOLID, K::kNumber},
    {D3DRS_SHADEMODE, "SHADEMODE", D3DSHADE_GOURAUD, K::kNumber},
    {D3DRS_LINEPATTERN, "LINEPATTERN", 0, K::kHex},
    {D3DRS_ZWRITEENABLE, "ZWRITEENABLE", 1, K::kNumber},
    {D3DRS_ALPHATESTENABLE, "ALPHATESTENABLE", 0, K::kNumber},
    {D3DRS_LASTPIXEL, "LASTPIXEL", 1, K::kNumber},
    {D3DRS_SRCBLEND, "SRCBLEND", D3DBLEND_ONE, K::kNumber},
    {D3DRS_DESTBLEND, "DESTBLEND", D3DBLEND_ZERO, K::kNumber},
    {D3DRS_CULLMODE, "CULLMODE", D3DCULL_CCW, K::kNumber},
    {D3DRS_ZFUNC, "ZFUNC", D3DCMP_LESSEQUAL, K::kNumber},
    {D3DRS_ALPHAREF, "ALPHAREF", 0, K::kNumber},
    {D3DRS_ALPHAFUNC, "ALPHAFUNC", D3DCMP_ALWAYS, K::kNumber},
    {D3DRS_DITHERENABLE, "DITHERENABLE", 0, K::kNumber},
    {D3DRS_ALPHABLENDENABLE, "ALPHABLENDENABLE", 0, K::kNumber},
    {D3DRS_FOGENABLE, "FOGENABLE", 0, K::kNumber},
    {D3DRS_SPECULARENABLE, "SPECULARENABLE", 0, K::kNumber},
    {D3DRS_ZVISIBLE, "ZVISIBLE", 0, K::kNumber},
    {D3DRS_FOGCOLOR, "FOGCOLOR", 0, K::kHex},
    {D3DRS_FOGTABLEMODE, "FOGTABLEMODE", D3DFOG_NONE, K::kNumber},
    {D3DRS_FOGSTART, "FOGSTART", 0, K::kFloat},
    {D3DRS_FOGEND, "FOGEND", kOne, K::kFloat},
    {D3DRS_FOGDENSITY, "FOGDENSITY", kOne, K::kFloat},
    {D3DRS_EDGEANTIALIAS, "EDGEANTIALIAS", 0, K::kNumber},
    {D3DRS_ZBIAS, "ZBIAS", 0, K::kNumber},
    {D3DRS_RANGEFOGENABLE, "RANGEFOGENABLE", 0, K::kNumber},
    {D3DRS_STENCILENABLE, "STENCILENABLE", 0, K::kNumber},
    {D3DRS_STENCILFAIL, "STENCILFAIL", D3DSTENCILOP_KEEP, K::kNumber},
    {D3DRS_STENCILZFAIL, "STENCILZFAIL", D3DSTENCILOP_KEEP, K::kNumber},
    {D3DRS_STENCILPASS, "STENCILPASS", D3DSTENCILOP_KEEP, K::kNumber},
    {D3DRS_STENCILFUNC, "STENCILFUNC", D3DCMP_ALWAYS, K::kNumber},
    {D3DRS_STENCILREF, "STENCILREF", 0, K::kNumber},
    {D3DRS_STENCILMASK, "STENCILMASK", 0xFFFFFFFF, K::kHex},
    {D3DRS_STENCILWRITEMASK, "STENCILWRITEMASK", 0xFFFFFFFF, K::kHex},
    {D3DRS_TEXTUREFACTOR, "TEXTUREFACTOR", 0xFFFFFFFF, K::kHex},
    {D3DRS_WRAP0 + 0, "WRAP0", 0, K::kHex},
    {D3DRS_WRAP0 + 1, "WRAP1", 0, K::kHex},
    {D3DRS_WRAP0 + 2, "WRAP2", 0, K::kHex},
    {D3DRS_WRAP0 + 3, "WRAP3", 0, K::kHex},
    {D3DRS_WRAP0 + 4, "WRAP4", 0, K::kHex},
    {D3DRS_WRAP0 + 5, "WRAP5", 0, K::kHex},
    {D3DRS_WRAP0 + 6, "WRAP6", 0, K::kHex},
    {D3DRS_WRAP0 + 7, "WRAP7", 0, K::kHex},
    {D3DRS_CLIPPING, "CLIPPING", 1, K::kNumber},
    {D3DRS_LIGHTING, "LIGHTING", 1, K::kNumber},
    {D3DRS_AMBIENT, "AMBIENT", 0, K::kHex},
    {D3DRS_FOGVERTEXMODE, "FOGVERTEXMODE", D3DFOG_NONE, K::kNumber},
    {D3DRS_COLORVERTEX, "COLORVERTEX", 1, K::kNumber},
    {D3DRS_LOCALVIEWER, "LOCALVIEWER", 1, K::kNumber},
    {D3DRS_NORMALIZENORMALS, "NORMALIZENORMALS", 0, K::kNumber},
    {D3DRS_DIFFUSEMATERIALSOURCE, "DIFFUSEMATERIALSOURCE", D3DMCS_COLOR1, K::kNumber},
    {D3DRS_SPECULARMATERIALSOURCE, "SPECULARMATERIALSOURCE", D3DMCS_COLOR2, K::kNumber},
    {D3DRS_AMBIENTMATERIALSOURCE, "AMBIENTMATERIALSOURCE", D3DMCS_MATERIAL, K::kNumber},
    {D3DRS_EMISSIVEMATERIALSOURCE, "EMISSIVEMATERIALSOURCE", D3DMCS_MATERIAL, K::kNumber},
    {D3DRS_VERTEXBLEND, "VERTEXBLEND", D3DVBF_DISABLE, K::kNumber},
    {D3DRS_CLIPPLANEENABLE, "CLIPPLANEENABLE", 0, K::kHex},
    {D3DRS_SOFTWAREVERTEXPROCESSING, "SOFTWAREVERTEXPROCESSING", 0, K::kNumber},
    {D3DRS_POINTSIZE, "POINTSIZE", kOne, K::kFloat},
    {D3DRS_POINTSIZE_MIN, "POINTSIZE_MIN", kOne, K::kFloat},
    {D3DRS_POINTSPRITEENABLE, "POINTSPRITEENABLE", 0, K::kNumber},
    {D3DRS_POINTSCALEENABLE, "POINTSCALEENABLE", 0, K::kNumber},
    {D3DRS_POINTSCALE_A, "POINTSCALE_A", kOne, K::kFloat},
    {D3DRS_POINTSCALE_B, "POINTSCALE_B", 0, K::kFloat},
    {D3DRS_POINTSCALE_C, "POINTSCALE_C", 0, K::kFloat},
    {D3DRS_MULTISAMPLEANTIALIAS, "MULTISAMPLEANTIALIAS", 1, K::kNumber},
    {D3DRS_MULTISAMPLEMASK, "MULTISAMPLEMASK", 0xFFFFFFFF, K::kHex},
    {D3DRS_PATCHEDGESTYLE, "PATCHEDGESTYLE", D3DPATCHEDGE_DISCRETE, K::kNumber},
    {D3DRS_PATCHSEGMENTS, "PATCHSEGMENTS", kOne, K::kFloat},
    {D3DRS_DEBUGMONITORTOKEN, "DEBUGMONITORTOKEN", D3DDMT_ENABLE, K::kNumber},
    {D3DRS_POINTSIZE_MAX, "POINTSIZE_MAX", kSixtyFour, K::kFloat},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, "INDEXEDVERTEXBLENDENABLE", 0, K::kNumber},
    {D3DRS_COLORWRITEENABLE, "COLORWRITEENABLE", 0xF, K::kHex},
    {D3DRS_TWEENFACTOR, "TWEENFACTOR", 0, K::kFloat},
    {D3DRS_BLENDOP, "BLENDOP", D3DBLENDOP_ADD, K::kNumber},
    {D3DRS_POSITIONORDER, "POSITIONORDER", D3DORDER_CUBIC, K::kNumber},
    {D3DRS_NORMALORDER, "NORMALORDER", D3DORDER_LINEAR, K::kNumber},
};

constexpr StateInfo kStageStates[] = {
    {D3DTSS_COLOROP, "COLOROP", D3DTOP_MODULATE, K::kNumber},
    {D3DTSS_COLORARG1, "COLORARG1", D3DTA_TEXTURE, K::kHex},
    {D3DTSS_COLORARG2, "COLORARG2", D3DTA_CURRENT, K::kHex},
    {D3DTSS_ALPHAOP, "ALPHAOP", D3DTOP_SELECTARG1, K::kNumber},
    {D3DTSS_ALPHAARG1, "ALPHAARG1", D3DTA_TEXTURE, K::kHex},
    {D3DTSS_ALPHAARG2, "ALPHAARG2", D3DTA_CURRENT, K::kHex},
    {D3DTSS_BUMPENVMAT00, "BUMPENVMAT00", 0, K::kFloat},
    {D3DTSS_BUMPENVMAT01, "BUMPENVMAT01", 0, K::kFloat},
    {D3DTSS_BUMPENVMAT10, "BUMPENVMAT10", 0, K::kFloat},
    {D3DTSS_BUMPENVMAT11, "BUMPENVMAT11", 0, K::kFloat},
    {D3DTSS_TEXCOORDINDEX, "TEXCOORDINDEX", 0, K::kHex},
    {D3DTSS_ADDRESSU, "ADDRESSU", D3DTADDRESS_WRAP, K::kNumber},
    {D3DTSS_ADDRESSV, "ADDRESSV", D3DTADDRESS_WRAP, K::kNumber},
    {D3DTSS_BORDERCOLOR, "BORDERCOLOR", 0, K::kHex},
    {D3DTSS_MAGFILTER, "MAGFILTER", D3DTEXF_POINT, K::kNumber},
    {D3DTSS_MINFILTER, "MINFILTER", D3DTEXF_POINT, K::kNumber},
    {D3DTSS_MIPFILTER, "MIPFILTER", D3DTEXF_NONE, K::kNumber},
    {D3DTSS_MIPMAPLODBIAS, "MIPMAPLODBIAS", 0, K::kFloat},
    {D3DTSS_MAXMIPLEVEL, "MAXMIPLEVEL", 0, K::kNumber},
    {D3DTSS_MAXANISOTROPY, "MAXANISOTROPY", 1, K::kNumber},
    {D3DTSS_BUMPENVLSCALE, "BUMPENVLSCALE", 0, K::kFloat},
    {D3DTSS_BUMPENVLOFFSET, "BUMPENVLOFFSET", 0, K::kFloat},
    {D3DTSS_TEXTURETRANSFORMFLAGS, "TEXTURETRANSFORMFLAGS", D3DTTFF_DISABLE, K::kNumber},
    {D3DTSS_ADDRESSW, "ADDRESSW", D3DTADDRESS_WRAP, K::kNumber},
    {D3DTSS_COLORARG0, "COLORARG0", D3DTA_CURRENT, K::kHex},
    {D3DTSS_ALPHAARG0, "ALPHAARG0", D3DTA_CURRENT, K::kHex},
    {D3DTSS_RESULTARG, "RESULTARG", D3DTA_CURRENT, K::kHex},
};

template <std::size_t N, DWORD Count>
constexpr std::array<const StateInfo*, Count> IndexByNumber(const StateInfo (&table)[N]) {
    std::array<const StateInfo*, Count> index{};
    for (const StateInfo& s : table) index[s.number] = &s;
    return index;
}

constexpr auto kRenderStateIndex = IndexByNumber<std::size(kRenderStates), kRenderStateCount>(kRenderStates);
constexpr auto kStageStateIndex = IndexByNumber<std::size(kStageStates), kStageStateCount>(kStageStates);

}  // namespace

std::span<const StateInfo> RenderStateTable() { return kRenderStates; }
std::span<const StateInfo> StageStateTable() { return kStageStates; }

const StateInfo* FindRenderState(DWORD number) {
    return number < kRenderStateCount ? kRenderStateIndex[number] : nullptr;
}

const StateInfo* FindStageState(DWORD number) { return number < kStageStateCount ? kStageStateIndex[number] : nullptr; }

DWORD StageStateDefault(DWORD stage, DWORD number) {
    if (number == D3DTSS_TEXCOORDINDEX) return stage;
    if (stage > 0 && (number == D3DTSS_COLOROP || number == D3DTSS_ALPHAOP)) return D3DTOP_DISABLE;
    const StateInfo* info = FindStageState(number);
    return info ? info->defaultValue : 0;
}

float StateFloat(DWORD value) { return std::bit_cast<float>(value); }
DWORD FloatState(float value) { return std::bit_cast<DWORD>(value); }

}  // namespace ms
