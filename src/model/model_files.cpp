#include "model/model_files.h"

namespace ms {

std::string FileExtension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

bool IsXExtension(const std::string& path) {
    std::string ext = FileExtension(path);
    return ext == "x" || ext == "X";
}

Status LoadModelFile(Model& model, const std::string& path, const LoadProgress& progress) {
    return IsXExtension(path) ? model.LoadX(path, progress) : model.LoadGmf(path, progress);
}

Status ReplaceModel(Model& model, const std::string& path, const LoadProgress& progress) {
    Model fresh;
    fresh.SetDevice(model.device());
    fresh.SetMaterialTolerance(model.MaterialTolerance());
    if (Status s = LoadModelFile(fresh, path, progress); !s) return s;
    model.Swap(fresh);  // the old contents leave with `fresh`
    return Status::Ok();
}

void ClearModel(Model& model) {
    model.Clear();
    model.Reset();
}

}  // namespace ms
