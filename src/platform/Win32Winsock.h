#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace horalux::platform {

// Starts Winsock once for the process; every socket call and name lookup comes after it.
// False when the system has no usable Winsock.
bool winsockReady();

// The errno value the rest of the program knows for a Winsock error (ECONNREFUSED for a UDP
// peer's closed port, which Winsock reports as a reset), so that messages read as on Linux.
int errnoOfWinsock(int error);

}  // namespace horalux::platform
