// Runs the real vrk binary in a folder and captures what a user would see.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace vrk::test {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

// A file's bytes as a string, to compare with what a user sees.
inline std::string read_text(const std::filesystem::path& path) { return text_of(read_file(path)); }

// Runs `vrk arguments...` in `dir`, with `input` on standard input (or none at all).
inline RunResult run_vrk(const std::filesystem::path& dir, const std::vector<std::string>& arguments,
                         const std::string* input = nullptr) {
    const std::filesystem::path in_path = dir / ".stdin", out_path = dir / ".stdout", err_path = dir / ".stderr";
    write_file(in_path, input != nullptr ? *input : std::string());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input != nullptr ? in_path.c_str() : "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> words{VRK_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult result;
    if (posix_spawn(&pid, VRK_BINARY, &actions, nullptr, argv.data(), environ) == 0) {
        int wait_status = 0;
        waitpid(pid, &wait_status, 0);
        result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    for (const auto& path : {in_path, out_path, err_path}) std::filesystem::remove(path);
    return result;
}

// The time line's figure varies from run to run.
inline std::string without_cpu_time(const std::string& out) {
    return std::regex_replace(out, std::regex("CPU time = *[0-9]+\\.[0-9]{2} s\\."), "CPU time = T s.");
}

inline std::string error_text(const std::string& message) { return "\n\a\a Error: " + message + ".\n\n"; }

} // namespace vrk::test
