#pragma once

#include <string_view>

namespace horalux::link {

// How the core speaks to the user. The windows show message boxes; the command-line companion
// prints; tests record. Texts are UTF-8 and quoted exactly by the callers.
class Prompts {
  public:
    virtual ~Prompts() = default;
    // A plain notice with one OK button.
    virtual void notify(std::string_view text) = 0;
    // An error notice ("Error opening port", "Error reading port", ...).
    virtual void error(std::string_view text) = 0;
    // A warning with "OK" and "Cancel"; true when the user chose OK (retry).
    virtual bool askRetry(std::string_view text) = 0;
};

}  // namespace horalux::link
