#pragma once

namespace horalux::platform {

// Puts the calling thread one step below the normal priority, so the line's background
// exchange yields to the windows. Best effort: a refusal leaves the priority as it was.
void lowerCurrentThreadPriority();

}  // namespace horalux::platform
