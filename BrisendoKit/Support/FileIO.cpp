#include "BrisendoKit/Support/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <random>

namespace pivorel::fileio {

namespace fs = std::filesystem;

std::optional<std::string> readFile(const fs::path& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO or device must not hang; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return data;
}

Stamp stamp(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

bool makePrivateDirectory(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    if (dir.has_parent_path() && dir.parent_path() != dir &&
        !makePrivateDirectory(dir.parent_path())) {
        return false;
    }
    // Another writer may create it between the check and here.
    return ::mkdir(dir.c_str(), 0700) == 0 || fs::is_directory(dir, ec);
}

void makePrivate(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) {
        ::chmod(path.c_str(), st.st_mode & 0700);
    } else if (S_ISDIR(st.st_mode)) {
        if ((st.st_mode & 077) != 0) ::chmod(path.c_str(), st.st_mode & 0700);
        std::error_code ec;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            makePrivate(it->path());
        }
    }
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, Access access) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!makePrivateDirectory(dir)) return false;

    static thread_local std::mt19937_64 rng{std::random_device{}()};
    const fs::path tmp =
        dir / ("." + path.filename().string() + ".tmp-" + std::to_string(rng() % 1000000000));
    const mode_t mode = access == Access::userOnly ? 0600 : 0644;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    std::size_t written = 0;
    bool ok = true;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

std::optional<fs::path> moveAside(const fs::path& path, TimePoint now) {
    const auto seconds = static_cast<long long>(std::trunc(toUnixSeconds(now)));
    fs::path target = path;
    target += ".corrupt-" + std::to_string(seconds);
    if (::rename(path.c_str(), target.c_str()) != 0) return std::nullopt;
    return target;
}

}  // namespace pivorel::fileio
