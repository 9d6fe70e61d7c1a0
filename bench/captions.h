// The captions the bench programs look for, as the program makes them from
// its name, and the floor program's own.
#pragma once

#include "floor_resource.h"
#include "product.h"

namespace bench {

constexpr const char* kTiermoCaption = TIERMO_APP_NAME;
constexpr const char* kHelpCaption = TIERMO_APP_NAME " Help";
constexpr const char* kAboutCaption = "About " TIERMO_APP_NAME;
constexpr const char* kFloorCaption = FLOOR_TITLE;

} // namespace bench
