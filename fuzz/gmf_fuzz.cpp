// Feeds arbitrary bytes to LoadGmf as a merge into a Model that already holds a small model. A
// rejected file must leave the Model exactly as it was; an accepted one must save, read back and
// save to the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "model/model.h"
#include "model/model_json.h"

namespace {

std::string TempPath(const char* suffix) {
    return "/tmp/modelsmith-fuzz-" + std::to_string(::getpid()) + suffix;
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// Two top-level frames, the first with a child that holds one mesh node with a triangle.
const std::string& SeedFile() {
    static const std::string path = [] {
        std::string bytes;
        auto put = [&](const void* p, std::size_t n) { bytes.append(static_cast<const char*>(p), n); };
        auto i32 = [&](std::int32_t v) { put(&v, 4); };
        for (std::int32_t v : {3, 1, 1, 1, 1}) i32(v);
        ms::FrameRecord frames[3] = {};
        const std::int32_t links[3][4] = {{-1, 0, 2, 1}, {0, 1, -1, -1}, {-1, 0, -1, -1}};
        for (int i = 0; i < 3; ++i) {
            frames[i].firstMeshNode = links[i][0];
            frames[i].meshNodeCount = links[i][1];
            frames[i].nextSibling = links[i][2];
            frames[i].firstChild = links[i][3];
            std::snprintf(frames[i].name, sizeof frames[i].name, "Frame%d", i);
        }
        put(frames, sizeof frames);
        ms::MeshNode node{0, 0, "Mesh"};
        put(&node, sizeof node);
        ms::MaterialRecord material{};
        for (auto& t : material.texture) t = -1;
        material.texture[0] = 0;
        material.stageCount = 1;
        put(&material, sizeof material);
        char texture[ms::kTextureNameSize] = "seed.bmp";
        put(texture, sizeof texture);
        for (std::int32_t v : {3, 1, 4, 2, 4, 12}) i32(v);
        bytes.append(12, '\1');
        i32(6);
        const std::uint16_t indices[3] = {0, 1, 2};
        put(indices, sizeof indices);
        std::string p = TempPath("-seed.gmf");
        WriteFile(p, bytes.data(), bytes.size());
        return p;
    }();
    return path;
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

// Everything the Model holds: its JSON form (names that are not UTF-8 shown with replacement
// characters) and the raw bytes of every name.
std::string Snapshot(const ms::Model& model) {
    std::string snapshot = ms::ModelToJson(model).dump(-1, ' ', false, ms::Json::error_handler_t::replace);
    for (std::int32_t i = 0; i < model.FrameCount(); ++i) snapshot += std::string("|") + model.FrameName(i);
    for (std::int32_t i = 0; i < model.MeshNodeCount(); ++i) snapshot += std::string("|") + model.MeshNodeName(i);
    for (std::int32_t i = 0; i < model.MaterialCount(); ++i) snapshot += std::string("|") + model.GetMaterial(i).name;
    for (std::int32_t i = 0; i < model.TextureCount(); ++i) snapshot += std::string("|") + model.TextureName(i);
    return snapshot;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = TempPath(".gmf");
    WriteFile(input, data, size);
    ms::Model model;
    if (!model.LoadGmf(SeedFile())) std::abort();
    const std::string before = Snapshot(model);
    if (!model.LoadGmf(input)) {
        if (Snapshot(model) != before) std::abort();
        return 0;
    }
    // What we write we read, and writing it again gives the same bytes. (A file may carry more
    // vertex or index bytes than its counts use; the model keeps them, the writer does not.)
    static const std::string output = TempPath("-out.gmf");
    static const std::string again = TempPath("-again.gmf");
    if (model.SaveGmf(output)) {
        ms::Model back;
        if (!back.LoadGmf(output)) std::abort();
        if (!back.SaveGmf(again) || ReadFile(output) != ReadFile(again)) std::abort();
    }
    return 0;
}
