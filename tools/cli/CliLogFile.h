#pragma once

#include <string>
#include <string_view>

namespace horalux::cli {

// The file monitor --log writes the line's records to, one line at a time and straight through
// to the system, so whatever ends the program, the lines before it are in the file.
class CliLogFile {
  public:
    CliLogFile() = default;
    ~CliLogFile();
    CliLogFile(const CliLogFile&) = delete;
    CliLogFile& operator=(const CliLogFile&) = delete;

    // Creates or empties the file. A FIFO that no one reads is refused rather than waited on.
    // False with the reason in problem() when it cannot be written.
    bool open(const std::string& name);
    // Writes the whole line and a line end; false with the reason in problem() when it cannot
    // (a full disk, a FIFO whose reader has gone).
    bool writeLine(std::string_view line);
    const std::string& problem() const { return problem_; }

  private:
    int fd_ = -1;
    std::string problem_;
};

}  // namespace horalux::cli
