#include <ostream>

#include "CliCommands.h"

namespace horalux::cli {

// The MQTT library has no Windows build here.
int bridge(CommandContext& c) {
    c.err << "horalux-cli: bridge is not available on Windows; run it on a Linux machine that "
             "reaches the line (a device server's port will do)\n";
    return 2;
}

}  // namespace horalux::cli
