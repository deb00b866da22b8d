#pragma once
// The tables of the Direct3D 8 render states and texture stage states: which numbers exist,
// their names (without prefix) and their defaults on a new device.
#include <cstdint>
#include <span>

#include "platform/d3d8/d3d8states.h"

namespace ms {

// How a state's value reads in a trace: a plain number, a float held in the DWORD, or a colour
// or bit mask shown in hexadecimal.
enum class StateValueKind : std::uint8_t { kNumber, kFloat, kHex };

struct StateInfo {
    DWORD number;
    const char* name;  // "ZENABLE", "COLOROP"
    DWORD defaultValue;
    StateValueKind kind;
};

constexpr DWORD kRenderStateCount = 256;  // state numbers are below this
constexpr DWORD kTextureStageCount = 8;
constexpr DWORD kStageStateCount = 29;  // stage state numbers are below this

// Every render state of Direct3D 8 in number order. ZENABLE's default here is D3DZB_TRUE; a
// device without a depth buffer starts with D3DZB_FALSE.
std::span<const StateInfo> RenderStateTable();
// The render state `number`, or null when Direct3D 8 has no such state.
const StateInfo* FindRenderState(DWORD number);
// The texture stage states in number order, with the defaults of stage 0. Stages 1-7 differ in
// COLOROP and ALPHAOP (DISABLE) and TEXCOORDINDEX (the stage number).
std::span<const StateInfo> StageStateTable();
const StateInfo* FindStageState(DWORD number);
DWORD StageStateDefault(DWORD stage, DWORD number);

// Reads a float held in a state DWORD and makes one.
float StateFloat(DWORD value);
DWORD FloatState(float value);

}  // namespace ms
