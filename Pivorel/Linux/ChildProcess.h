#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// Starting other programs: briefly, with their output read and a deadline, or detached.
struct ChildProcess {
    ChildProcess() = delete;

    struct Outcome {
        bool started = false;
        std::string startError;  // why it could not be started
        bool timedOut = false;
        int exitStatus = -1;  // -1 when it ended by a signal or timed out
        std::string output;   // standard output, cut at maxOutput
    };

    // Runs argv[0] (looked up in PATH when it has no "/") with standard input and error on
    // the null device and standard output read into the outcome. After `timeoutSeconds` the
    // child is terminated (then killed) and reaped. Thread-safe.
    static Outcome run(const std::vector<std::string>& argv, double timeoutSeconds,
                       std::size_t maxOutput = 64 * 1024);

    // Starts argv in its own session with every standard stream on the null device, and
    // reaps it from a background thread; it may outlive this process.
    static Result<Done, std::string> spawnDetached(const std::vector<std::string>& argv);

    // The full path of `program` in PATH, or empty.
    static std::string findInPath(const std::string& program);

    // This program's own file (/proc/self/exe), or why it cannot be told.
    static Result<std::filesystem::path, std::string> ownExecutable();
};

}  // namespace pivorel
