// The batch actions of vertex layouts, the property editor and the material tools.
#include "batch/batch.h"

namespace ms {

std::span<const BatchAction> LayoutActions() { return {}; }

}  // namespace ms
