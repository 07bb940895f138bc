#pragma once

#include "registry.h"

namespace folderpick {

component::TypeLibRecord TypeLibRegistration();
component::ClassRecord ClassRegistration();

} // namespace folderpick
