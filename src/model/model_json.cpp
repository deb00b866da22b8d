#include "model/model_json.h"

namespace ms {
namespace {

Json Color(const D3DCOLORVALUE& c) { return JsonFloats(std::span<const float>(&c.r, 4)); }

Json Frame(const FrameRecord& f) {
    return Json{{"name", FieldName(f.name, kNameSize)},
                {"matrix", JsonFloats(f.matrix)},
                {"firstMeshNode", f.firstMeshNode},
                {"meshNodeCount", f.meshNodeCount},
                {"nextSibling", f.nextSibling},
                {"firstChild", f.firstChild}};
}

Json Material(const MaterialRecord& m) {
    return Json{{"name", FieldName(m.name, kNameSize)},
                {"diffuse", Color(m.material.Diffuse)},
                {"ambient", Color(m.material.Ambient)},
                {"specular", Color(m.material.Specular)},
                {"emissive", Color(m.material.Emissive)},
                {"power", JsonFloat(m.material.Power)},
                {"textures", Json(std::vector<std::int32_t>(std::begin(m.texture), std::end(m.texture)))},
                {"stageCount", m.stageCount}};
}

Json Geometry(const MeshGeometry& g) {
    return Json{{"vertexCount", g.vertexCount},
                {"primitiveCount", g.primitiveCount},
                {"stride", g.stride},
                {"fvf", g.fvf},
                {"primitiveType", g.primitiveType},
                {"vertexData", HexBytes(g.vertices)},
                {"indices", Json(g.indices)}};
}

}  // namespace

Json ModelToJson(const Model& model) {
    Json frames = Json::array(), nodes = Json::array(), materials = Json::array();
    Json textures = Json::array(), geometries = Json::array();
    for (std::int32_t i = 0; i < model.FrameCount(); ++i) frames.push_back(Frame(model.GetFrame(i)));
    for (std::int32_t i = 0; i < model.MeshNodeCount(); ++i) {
        MeshNode n = model.GetMeshNode(i);
        nodes.push_back(Json{{"name", FieldName(n.name, kNameSize)}, {"geometry", n.geometry}, {"material", n.material}});
    }
    for (std::int32_t i = 0; i < model.MaterialCount(); ++i) materials.push_back(Material(model.GetMaterial(i)));
    for (std::int32_t i = 0; i < model.TextureCount(); ++i)
        textures.push_back(Json{{"name", model.TextureName(i)}, {"loaded", model.Texture(i) != nullptr}});
    for (std::int32_t i = 0; i < model.GeometryCount(); ++i) geometries.push_back(Geometry(*model.Geometry(i)));
    return Json{{"frames", std::move(frames)},
                {"rootTail", model.RootTail()},
                {"meshNodes", std::move(nodes)},
                {"materials", std::move(materials)},
                {"textures", std::move(textures)},
                {"geometries", std::move(geometries)},
                {"materialTolerance", JsonFloat(model.MaterialTolerance())}};
}

}  // namespace ms
