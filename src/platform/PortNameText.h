#pragma once

#include <string>
#include <string_view>

namespace horalux::platform {

// A port name as messages print it. A name is whatever was typed or stored, so it may hold a
// newline or another control character that would split or garble the message: such a name is
// put in double quotes with those characters written as C escapes ("tty\nUSB0" for a newline).
// Any other name is printed as it stands.
std::string shownPortName(std::string_view name);

}  // namespace horalux::platform
