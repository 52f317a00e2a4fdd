// The shared clock reading.
#include "model/Runtime.h"

#include "platform/Clock.h"

namespace gloam {

std::int32_t Runtime::now() const { return clock.nowMs(); }

}  // namespace gloam
