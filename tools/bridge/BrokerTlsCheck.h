#pragma once

#include <string>

#include "BrokerSettings.h"

namespace horalux::bridge {

// Why a TLS handshake with the broker fails, in words ("the broker's certificate is not trusted
// (...)", "... expired on ...", "... is for other.example, not for hub"): the MQTT library says
// only that one failed. Made by a handshake of its own with the broker's host, port and CA;
// `otherwise` when that one succeeds or tells nothing more.
std::string brokerTlsProblem(const BrokerSettings& broker, const std::string& otherwise);

}  // namespace horalux::bridge
