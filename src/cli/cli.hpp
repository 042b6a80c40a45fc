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

// A decimal number as the standard string-to-integer conversion reads it
// (leading blanks, a sign, digits up to the first other character; no digits
// give 0), with `overflow` set where the value lies beyond the range of int.
struct ParsedNumber {
    int value;
    bool overflow;
};
ParsedNumber parse_number(const std::string& text) noexcept;

// The stage threads a VRK_THREADS value asks for: a whole number from 0 up (0
// automatic, 1 one thread, more two stages); anything else, or no value,
// counts as automatic, since the command has no message for it.
int threads_setting(const char* value) noexcept;

// Runs one command (the arguments after the program's name) with the given
// threads setting and returns the exit status: 0 on success, after the usage
// text and after a declined overwrite; 1 after any error, which is printed to
// console.err.
int run_command_line(std::span<const std::string> arguments, const Console& console, int threads = 0);

} // namespace vrk
