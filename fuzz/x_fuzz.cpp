// Feeds arbitrary text to LoadX as a merge into a Model that already holds a small model, with
// a material that the input may average. A rejected file must leave the Model exactly as it was;
// an accepted one must give records that save as GMF and read back the same. The block reader
// must deliver the same characters and lines whatever its block size.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/model.h"
#include "model/model_json.h"
#include "model/x_reader.h"

namespace {

std::string TempPath(const char* suffix) { return "/tmp/modelsmith-fuzz-x-" + std::to_string(::getpid()) + suffix; }

void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

const std::string& SeedFile() {
    static const std::string path = [] {
        const std::string text =
            "xof 0303txt 0032\n"
            "Material Skin { 0.9;0.7;0.6;1.0;; 8.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; TextureFilename { \"skin.bmp\"; } }\n"
            "Frame Root { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
            " Mesh Body { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; {Skin} } } }\n";
        std::string p = TempPath("-seed.x");
        WriteFile(p, text.data(), text.size());
        return p;
    }();
    return path;
}

// The characters of the file with the line of each, as a reader of `blockSize` delivers them.
std::string Characters(const std::string& path, std::size_t blockSize) {
    ms::XReader reader(blockSize);
    if (!reader.Open(path)) std::abort();
    std::string out;
    for (int c = reader.Get(); c >= 0; c = reader.Get()) {
        out += static_cast<char>(c);
        out += std::to_string(reader.Line());
    }
    return out;
}

// The whole Model. Names are appended byte for byte besides the JSON form, which replaces bytes
// that are not UTF-8.
std::string Snapshot(const ms::Model& m) {
    std::string out = ms::ModelToJson(m).dump(-1, ' ', false, ms::Json::error_handler_t::replace);
    for (std::int32_t i = 0; i < m.FrameCount(); ++i) out += std::string(m.FrameName(i)) + '\n';
    for (std::int32_t i = 0; i < m.MeshNodeCount(); ++i) out += std::string(m.MeshNodeName(i)) + '\n';
    for (std::int32_t i = 0; i < m.MaterialCount(); ++i) out += std::string(m.GetMaterial(i).name) + '\n';
    for (std::int32_t i = 0; i < m.TextureCount(); ++i) out += std::string(m.TextureName(i)) + '\n';
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = TempPath(".x");
    WriteFile(input, data, size);
    if (Characters(input, ms::XReader::kDefaultBlockSize) != Characters(input, 3)) std::abort();

    ms::Model model;
    if (!model.LoadX(SeedFile())) std::abort();
    const std::string before = Snapshot(model);
    if (!model.LoadX(input)) {
        if (Snapshot(model) != before) std::abort();
        return 0;
    }
    static const std::string output = TempPath("-out.gmf");
    if (!model.SaveGmf(output)) std::abort();
    ms::Model back;
    if (!back.LoadGmf(output)) std::abort();
    if (Snapshot(back) != Snapshot(model)) std::abort();
    return 0;
}
