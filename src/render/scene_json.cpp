#include "render/scene_json.h"

namespace ms {
namespace {

Json Floats(const float* values, std::size_t count) { return JsonFloats(std::span<const float>(values, count)); }
Json Matrix(const D3DMATRIX& m) { return Floats(&m._11, 16); }
Json Color(const D3DCOLORVALUE& c) { return Floats(&c.r, 4); }

Json Bone(const BoneRecord& b) {
    return Json{{"nextSibling", b.nextSibling}, {"firstChild", b.firstChild},
                {"root", b.root},               {"local", b.local},
                {"pose", b.pose},               {"world", b.world},
                {"inverseBind", b.inverseBind}, {"firstMeshNode", b.firstMeshNode},
                {"firstShadowNode", b.firstShadowNode}};
}

Json State(const BoneState& s) {
    const Envelope& e = s.envelope;
    return Json{{"dot1", Floats(e.dot1, 3)},
                {"dot2", Floats(e.dot2, 3)},
                {"envelopeToBone", Matrix(e.envelopeToBone)},
                {"boneToEnvelope", Matrix(e.boneToEnvelope)},
                {"dot1R1", JsonFloat(e.dot1R1)},
                {"dot1R2", JsonFloat(e.dot1R2)},
                {"dot2R1", JsonFloat(e.dot2R1)},
                {"dot2R2", JsonFloat(e.dot2R2)},
                {"falloff", e.falloff},
                {"length", JsonFloat(s.length)},
                {"origin", Floats(s.origin, 3)},
                {"originScreen", Floats(s.originScreen, 2)},
                {"end", Floats(s.end, 3)},
                {"endScreen", Floats(s.endScreen, 2)},
                {"poseAngles", Floats(s.poseAngles, 3)}};
}

Json Node(const DrawNode& n) {
    return Json{{"nextDrawn", n.nextDrawn}, {"nextSkipped", n.nextSkipped}, {"geometry", n.geometry},
                {"material", n.material},   {"program", n.program},         {"threshold", JsonFloat(n.threshold)}};
}

Json Geometry(const GeometryRecord& g) {
    return Json{{"vertexOffset", g.vertexOffset}, {"firstIndex", g.firstIndex},
                {"vertexCount", g.vertexCount},   {"primitiveCount", g.primitiveCount},
                {"stride", g.stride},             {"fvf", g.fvf},
                {"primitiveType", g.primitiveType}, {"indexed", g.indexed}};
}

Json Material(const SceneMaterial& m) {
    return Json{{"diffuse", Color(m.material.Diffuse)},
                {"ambient", Color(m.material.Ambient)},
                {"specular", Color(m.material.Specular)},
                {"emissive", Color(m.material.Emissive)},
                {"power", JsonFloat(m.material.Power)},
                {"textures", Json(std::vector<std::int32_t>(std::begin(m.texture), std::end(m.texture)))},
                {"stageCount", m.stageCount}};
}

template <typename T, typename F>
Json Array(const std::vector<T>& items, F convert) {
    Json array = Json::array();
    for (const T& item : items) array.push_back(convert(item));
    return array;
}

}  // namespace

Json SceneToJson(const Scene& scene) {
    Json textures = Json::array();
    for (std::size_t i = 0; i < scene.textureNames.size(); ++i)
        textures.push_back(Json{{"name", scene.textureNames[i]},
                                {"loaded", i < scene.textures.size() && scene.textures[i] != nullptr}});
    const CameraValues& c = scene.camera;
    return Json{{"bones", Array(scene.bones, Bone)},
                {"boneStates", Array(scene.boneStates, State)},
                {"matrices", Array(scene.matrices, [](const D3DXMATRIX& m) { return Matrix(m); })},
                {"drawNodes", Array(scene.drawNodes, Node)},
                {"geometries", Array(scene.geometries, Geometry)},
                {"materials", Array(scene.materials, Material)},
                {"textures", std::move(textures)},
                {"programWords", Json(scene.programWords)},
                {"entryPoints", Array(scene.entryPoints,
                                      [](const EntryPoint& e) { return Json{{"name", e.name}, {"start", e.start}}; })},
                {"vertexData", HexBytes(scene.vertexPool)},
                {"indices", Json(scene.indexPool)},
                {"pickedBone", scene.pickedBone},
                {"camera", Json{{"L", JsonFloat(c.distance)},
                                {"AY", JsonFloat(c.angleY)},
                                {"AXZ", JsonFloat(c.angleXZ)},
                                {"target", Floats(&c.target.x, 3)}}}};
}

}  // namespace ms
