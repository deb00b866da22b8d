// Feeds arbitrary bytes to the skin and scene reader, as a merge into a Scene that already holds
// a small skeleton, textures, a program and a draw node. A rejected file must leave the
// Scene exactly as it was; an accepted one must save, and the saved file must read back into an
// empty Scene with the same arrays.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/envelope.h"
#include "skin/scene_file.h"

namespace {

std::string TempPath(const char* suffix) { return "/tmp/modelsmith-fuzz-" + std::to_string(::getpid()) + suffix; }


void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// Three bones (a top bone with two children), one indexed triangle with a textured material, a
// draw program "walk2" run by the top bone's draw node.
ms::Scene SeedScene() {
    ms::Scene s;
    D3DXMATRIX local;
    D3DXMatrixTranslation(&local, 0, 1, 0);
    ms::AddBone(s, -1, local);
    D3DXMatrixTranslation(&local, 2, 0, 0);
    ms::AddBone(s, 0, local);
    ms::AddBone(s, 0, local);
    ms::GrowBoneStates(s);
    ms::SetUpHierarchy(s, 0, ms::kDefaultBoneLength);
    for (ms::BoneState& state : s.boneStates) ms::SetDefaultEnvelope(state.envelope, state.length);
    s.vertexPool.assign(36, 7);
    s.indexPool = {0, 1, 2};
    s.geometries.push_back({0, 0, 3, 1, 12, 0x2, 4, 1});
    s.textureNames = {"skin.bmp", "walk.bmp"};
    s.textures.resize(2);
    ms::SceneMaterial m{};
    for (auto& t : m.texture) t = -1;
    m.texture[0] = 1;
    m.stageCount = 1;
    s.materials.push_back(m);
    s.programWords = {3, 1, 0};
    s.entryPoints.push_back({"walk2", 0});
    s.drawNodes.push_back({-1, -1, 0, 0, 0, 100.0f});
    s.bones[0].firstMeshNode = 0;
    return s;
}

// Names may hold any bytes, which JSON text cannot: they are compared as they are.
std::string Text(const ms::Json& j, const ms::Scene& s) {
    std::string text = j.dump(-1, ' ', false, ms::Json::error_handler_t::replace);
    for (const std::string& name : s.textureNames) text += "\n" + name;
    for (const ms::EntryPoint& e : s.entryPoints) text += "\n" + e.name;
    return text;
}

std::string Dump(const ms::Scene& s) { return Text(ms::SceneToJson(s), s); }

// The arrays that a save and an open into an empty Scene carry unchanged (bones are set up again
// on opening, so their matrices and states may differ).
std::string Arrays(const ms::Scene& s) {
    ms::Json j = ms::SceneToJson(s);
    for (const char* key : {"bones", "boneStates", "matrices", "pickedBone", "camera"}) j.erase(key);
    return Text(j, s) + " bones " + std::to_string(s.BoneCount());
}

void Check(const std::string& input, const std::string& output, ms::SceneFileKind kind) {
    static const std::string before = Dump(SeedScene());
    ms::Scene scene = SeedScene();
    if (!ms::OpenSceneFile(scene, input, kind)) {
        if (Dump(scene) != before) std::abort();
        return;
    }
    if (!ms::SaveSceneFile(scene, output, kind)) std::abort();
    ms::Scene back;
    if (!ms::OpenSceneFile(back, output, kind)) std::abort();
    if (Arrays(back) != Arrays(scene)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = TempPath("-in"), output = TempPath("-out");
    WriteFile(input, data, size);
    Check(input, output, ms::SceneFileKind::kScene);
    Check(input, output, ms::SceneFileKind::kSkin);
    std::remove(input.c_str());
    std::remove(output.c_str());
    return 0;
}
