#include <cstdlib>

#include "fuzz/Harnesses.h"
#include "link/wire/Frame.h"
#include "link/wire/RequestParser.h"

namespace horalux::fuzz {

void requestParser(std::span<const std::uint8_t> bytes) {
    link::RequestParser parser;
    for (std::uint8_t byte : bytes) {
        auto request = parser.push(byte);
        if (!request) {
            continue;
        }
        // A block request's length is what its two parameters say; anything else would mean
        // the parser handed out bytes it never checked.
        if (request->withBlock &&
            request->data.size() !=
                static_cast<std::size_t>(request->param1) * 256U + request->param2) {
            std::abort();
        }
    }
}

}  // namespace horalux::fuzz
