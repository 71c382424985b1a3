#include <windows.h>

#include <cstdio>

#include "app/StartingConsole.h"

namespace horalux::app {

void useStartingConsole() {
    if (AttachConsole(ATTACH_PARENT_PROCESS) != 0) {
        [[maybe_unused]] FILE* out = std::freopen("CONOUT$", "w", stdout);
        [[maybe_unused]] FILE* err = std::freopen("CONOUT$", "w", stderr);
    }
}

}  // namespace horalux::app
