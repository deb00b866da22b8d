// The batch actions of the bone buttons, envelopes, camera and mouse tools.
#include "batch/batch.h"

namespace ms {

std::span<const BatchAction> SkeletonActions() { return {}; }

}  // namespace ms
