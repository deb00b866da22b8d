#pragma once
// The whole Model as a JSON document: every record and every field.
#include "base/json.h"
#include "model/model.h"

namespace ms {

Json ModelToJson(const Model& model);

}  // namespace ms
