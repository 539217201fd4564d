#pragma once

#include "common/manual.h"

namespace figureloom {

// figureloom's manual: the --help text and the figureloom(1) page.
loom::Manual manual();

}  // namespace figureloom
