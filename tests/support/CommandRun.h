#pragma once

#include <cstdio>
#include <string>

namespace horalux::test {

// What a command run through the shell left: its exit status (-1 when a signal ended it) and
// its standard output and error together.
struct CommandRun {
    int status = -1;
    std::string output;
};

// Runs the command line through the shell, standard error joined to the output, to its end.
CommandRun runCommand(const std::string& commandLine);
// Reads a command started with popen to its end and closes it.
CommandRun finishCommand(FILE* pipe);

}  // namespace horalux::test
