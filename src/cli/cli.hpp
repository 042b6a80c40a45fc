// The vrk command: arguments, overwrite prompt, console report, exit status.
#pragma once

#include <cstdio>
#include <span>
#include <string>

namespace vrk {

struct Console {
    std::FILE* out; // usage, prompt, report
    std::FILE* err; // error messages
    std::FILE* in;  // the answer to the overwrite prompt
};

// Runs one command (the arguments after the program's name) and returns the
// exit status: 0 on success, after the usage text and after a declined
// overwrite; 1 after any error, which is printed to console.err.
int run_command_line(std::span<const std::string> arguments, const Console& console);

} // namespace vrk
