#include "model/model.h"

namespace ms {

Status Model::LoadX(const std::string& path) {
    return Status::Error(path + ": .x import is not available yet");
}

}  // namespace ms
