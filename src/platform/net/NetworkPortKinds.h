#pragma once

#include <memory>

#include "platform/PortKind.h"
#include "platform/net/BytePipe.h"
#include "platform/net/LineLayer.h"

namespace horalux::platform {

// "rfc2217://HOST:PORT": Telnet with the COM-PORT-OPTION over TCP, which sets the line.
extern const PortKind kRfc2217PortKind;
// "tcp://HOST:PORT": the line's bytes as they are over TCP.
extern const PortKind kTcpPortKind;

// The steps the kinds over TCP are made of, for a kind that puts a pipe of its own between the
// connection and the layer (an encryption, say). Each returns nullptr with
// `request.failure` set when the port cannot be had.
std::unique_ptr<BytePipe> connectToPortHost(const PortOpenRequest& request);
std::unique_ptr<SerialPort> openOverPipe(const PortOpenRequest& request,
                                         std::unique_ptr<BytePipe> pipe,
                                         std::unique_ptr<LineLayer> layer);

}  // namespace horalux::platform
