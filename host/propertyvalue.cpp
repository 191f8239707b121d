#include "host/propertyvalue.h"

#include "host/windowtemplate.h"

#include <algorithm>

namespace host {

std::int64_t ClampPropertyValue(int property, std::int64_t value) {
    switch (property) {
    case PropWidth:
    case PropHeight:
        return std::clamp<std::int64_t>(value, 0, MaxCoordinate);
    case PropLeft:
    case PropTop:
        return std::clamp<std::int64_t>(value, -MaxCoordinate, MaxCoordinate);
    default:
        return value;
    }
}

} // namespace host
