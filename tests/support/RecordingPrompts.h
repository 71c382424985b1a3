#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "link/wire/Prompts.h"

namespace horalux::test {

// Records what the core tells the user; askRetry answers with `retryAnswer`.
class RecordingPrompts final : public link::Prompts {
  public:
    void notify(std::string_view text) override { add("notify: ", text); }
    void error(std::string_view text) override { add("error: ", text); }
    bool askRetry(std::string_view text) override {
        add("ask: ", text);
        return retryAnswer;
    }
    std::vector<std::string> said() const {
        std::lock_guard lock(mutex_);
        return said_;
    }

    bool retryAnswer = false;

  private:
    void add(std::string_view kind, std::string_view text) {
        std::lock_guard lock(mutex_);
        said_.push_back(std::string(kind) + std::string(text));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> said_;
};

}  // namespace horalux::test
