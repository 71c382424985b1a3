#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace horalux::platform {

// The length of the well-formed UTF-8 sequence `text` begins with (1 for ASCII), or 0 when it
// begins with a byte that starts none.
std::size_t utf8SequenceLength(std::string_view text);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool isUtf8(std::string_view text);

// Text from outside (a typed value, a file's content, a message's payload) in double quotes, as
// messages show it: a newline or another control character, NUL included, is written as a C
// escape ("\n", "\x00"), a byte that is not part of well-formed UTF-8 as "\xNN", and the quote
// and the backslash are escaped, so the message stays on its lines and reads back one way.
std::string quotedText(std::string_view text);

// A port name as messages print it. A name is whatever was typed or stored, so it may hold a
// newline, another control character or bytes that are not UTF-8, which would split or garble
// the message: such a name is shown as quotedText shows it. Any other name is printed as it
// stands.
std::string shownPortName(std::string_view name);

// A port name reduced to a safe word, for a topic, an id or a folder: "/dev/" (or "\\.\")
// dropped, then every character but ASCII letters, digits, '-', '_' and those of `alsoKept` made
// '_' ("ttyUSB0", "tcp___host_4001"). Empty when nothing is left.
std::string safePortWord(std::string_view port, std::string_view alsoKept = {});

}  // namespace horalux::platform
