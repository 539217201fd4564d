#pragma once

#include "common/manual.h"

namespace alphaloom {

// alphaloom's manual: the --help text and the alphaloom(1) page.
loom::Manual manual();

}  // namespace alphaloom
