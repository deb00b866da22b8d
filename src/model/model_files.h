#pragma once
// Choosing the reader of a model file by its name.
#include <string>

#include "base/status.h"
#include "model/model.h"

namespace ms {

// The extension as a file dialog reports it: the text after the last '.' of the file name,
// empty when there is none.
std::string FileExtension(const std::string& path);

// Replace and Merge read a file whose extension is exactly "x" or "X" as `.x`, any other as GMF.
bool IsXExtension(const std::string& path);

// Appends a model file to `model` with the reader its extension selects.
Status LoadModelFile(Model& model, const std::string& path);

}  // namespace ms
