#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return vrk::run_command_line(arguments, {stdout, stderr, stdin}, vrk::threads_setting(std::getenv("VRK_THREADS")));
}
