// The batch actions of Connect, Connect Shadow, Connect Blank and the level settings.
#include "batch/batch.h"

namespace ms {

std::span<const BatchAction> ConnectActions() { return {}; }

}  // namespace ms
