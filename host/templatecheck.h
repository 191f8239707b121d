#pragma once
// Whether window templates can be built: the host refuses to start otherwise.

#include "host/windowtemplate.h"

#include <vector>

namespace host {

// Window identifiers are positive and distinct; within a window the
// component identifiers are positive and distinct.
bool TemplatesWellFormed(const std::vector<WindowTemplate>& templates);

} // namespace host
