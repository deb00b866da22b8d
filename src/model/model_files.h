#pragma once
// The model file commands on the Model: choosing the reader of a file by its name, Replace, Merge
// and Clear.
#include <string>

#include "base/status.h"
#include "model/model.h"

namespace ms {

// The extension as a file dialog reports it: the text after the last '.' of the file name,
// empty when there is none.
std::string FileExtension(const std::string& path);

// Replace and Merge read a file whose extension is exactly "x" or "X" as `.x`, any other as GMF.
bool IsXExtension(const std::string& path);

// Appends a model file to `model` with the reader its extension selects (Merge). A file that
// fails changes nothing.
Status LoadModelFile(Model& model, const std::string& path, const LoadProgress& progress = {});

// Replace: reads the file into a fresh Model with `model`'s device and tolerance and, only once
// the whole file was read, exchanges it for what `model` held. A file that fails (or a load that
// was stopped) leaves `model` as it was.
Status ReplaceModel(Model& model, const std::string& path, const LoadProgress& progress = {});

// Clear: empties the Model and refills its template table.
void ClearModel(Model& model);

}  // namespace ms
