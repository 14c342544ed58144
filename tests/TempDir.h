#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pivorel::test {

// A whole file as text; empty when it cannot be read.
inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes away.
class TempDir {
  public:
    TempDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "pivorel-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A program run to its end by the shell.
struct Ran {
    int status = -1;  // the exit status; -1 when it did not end normally
    std::string out;
    std::string err;
    double seconds = 0;
};

// `arg` as one shell word.
inline std::string shellWord(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `command` with sh, its standard output and error kept apart.
inline Ran runShell(const std::string& command) {
    TempDir scratch;
    const auto errFile = scratch.path() / "stderr";
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen((command + " 2>" + shellWord(errFile.string())).c_str(), "r");
    Ran r;
    char buf[4096];
    while (pipe) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, pipe);
        if (n == 0) break;
        r.out.append(buf, n);
    }
    const int status = pipe ? ::pclose(pipe) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readText(errFile);
    return r;
}

}  // namespace pivorel::test
