// What the back ends read of the hooks in d3d8_backend.h.
#pragma once

#include "d3d8_backend.h"

namespace d3d8 {

const PresentObserver& presentObserver();
bool presentPacing();

}  // namespace d3d8
