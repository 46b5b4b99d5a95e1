// The file store on POSIX systems: flock beside the store, fsync and rename.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/store_file.h"

namespace quipix::platform {

namespace store_file {

namespace {
FileRegistryStamp StampOf(const struct stat& st) {
    return {true, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}
}  // namespace

FileRegistryStamp Stamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return StampOf(st);
    FileRegistryStamp stamp;
    stamp.exists = errno != ENOENT && errno != ENOTDIR;
    return stamp;
}

std::optional<std::string> Read(const std::string& path, std::string& why) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = ErrorText(unsigned(errno));
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) != 0) {
        why = ErrorText(unsigned(errno));
    } else if (S_ISDIR(st.st_mode)) {
        why = ErrorText(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (std::uint64_t(st.st_size) > kMaxRegFileSize) {
        why = kTooLargeReason;
    } else {
        bytes.emplace();
        char buf[8192];
        for (;;) {
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 || bytes->size() + size_t(got) > kMaxRegFileSize) {
                why = got < 0 ? ErrorText(unsigned(errno)) : std::string(kTooLargeReason);
                bytes.reset();
                break;
            }
            if (got == 0) break;
            bytes->append(buf, size_t(got));
        }
    }
    ::close(fd);
    return bytes;
}

std::shared_ptr<void> Lock(const std::string& path) {
    const std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) fd = ::open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return nullptr;
        }
    }
    // Closing releases the lock.
    return std::shared_ptr<void>(nullptr, [fd](void*) { ::close(fd); });
}

bool Replace(const std::string& path, const std::string& text, FileRegistryStamp& written, std::string& why) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    int error = 0;
    // A file without any write permission was made read-only on purpose: not even
    // root replaces it.
    if (exists && (old.st_mode & 0222) == 0)
        error = EACCES;
    else if (exists && ::access(path.c_str(), W_OK) != 0)
        error = errno;
    const std::string temp = path + ".tmp";
    int fd = -1;
    if (!error) {
        ::unlink(temp.c_str());
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) error = errno;
    }
    struct stat st {};
    if (fd >= 0) {
        for (size_t done = 0; !error && done < text.size();) {
            const auto n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                error = n < 0 ? errno : ENOSPC;
            else
                done += size_t(n);
        }
        const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
        if (!error && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0 || ::fstat(fd, &st) != 0)) error = errno;
        if (::close(fd) != 0 && !error) error = errno;
        if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
        if (error) ::unlink(temp.c_str());
    }
    if (error) {
        why = ErrorText(unsigned(error));
        return false;
    }
    written = StampOf(st);
    return true;
}

std::string ErrorText(unsigned long code) { return std::strerror(int(code)); }

}  // namespace store_file

std::string DefaultRegistryPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home && home[0] ? home : "";
        if (h.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
        }
        base = (h.empty() ? std::string(".") : h) + "/.config";
    }
    return base + "/Kelvara/Quipix.reg";
}

std::shared_ptr<Registry> MakeUserRegistry() { return std::make_shared<FileRegistry>(DefaultRegistryPath()); }

}  // namespace quipix::platform
