#pragma once

#include <string>

namespace horalux::test {

// A pseudo-terminal pair: the test holds the controlling side, code under test opens the
// device path as its serial port.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& devicePath() const { return path_; }
    int controller() const { return controller_; }
    // Writes all bytes to the controlling side.
    void send(const void* data, std::size_t length);
    // Reads what arrives within timeoutMs (stops early once `length` bytes are in).
    std::string receive(std::size_t length, int timeoutMs);
    void closeController();

  private:
    int controller_ = -1;
    std::string path_;
};

}  // namespace horalux::test
