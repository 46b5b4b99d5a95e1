#include "platform/idle_session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quipix::platform {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// One lock per display: two sessions of one user share $XDG_RUNTIME_DIR.
std::string LockPath() {
    std::string display = Env("WAYLAND_DISPLAY");
    if (display.empty()) display = Env("DISPLAY");
    for (char& c : display)
        if (c == '/') c = '_';
    std::string dir = Env("XDG_RUNTIME_DIR");
    if (dir.empty()) dir = "/tmp/quipix-" + std::to_string(getuid());
    return dir + "/quipix-idle" + (display.empty() ? "" : "-" + display) + ".lock";
}

// The lock file, opened; -1 when it cannot be.
int OpenLock() {
    const std::string path = LockPath();
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

}  // namespace

std::string IdleAutostartPath() {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty()) config = Env("HOME") + "/.config";
    return config + "/autostart/quipix-idle.desktop";
}

int ReadIdleAutostart() {
    std::ifstream in(IdleAutostartPath());
    int seconds = 0;
    for (std::string line; std::getline(in, line);) {
        if (line == "Hidden=true") return 0;
        if (line.rfind("Exec=", 0) != 0) continue;
        const auto at = line.find(" --idle ");
        if (at != std::string::npos) seconds = std::atoi(line.c_str() + at + 8);
    }
    return seconds > 0 ? seconds : 0;
}

bool WriteIdleAutostart(int seconds, const std::string& program) {
    const fs::path path = IdleAutostartPath();
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    // A program path with a space is quoted, as the entry format asks.
    const bool quote = program.find_first_of(" \t") != std::string::npos;
    std::ostringstream text;
    text << "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Quipix Idle Watcher\n"
            "Comment=Starts the Quipix screen saver after "
         << seconds << " seconds without input\nExec=" << (quote ? "\"" + program + "\"" : program)
         << " --idle " << seconds << "\nIcon=quipix\nTerminal=false\nNoDisplay=true\n";
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text.str();
        if (!out.flush()) return false;
    }
    fs::rename(temporary, path, ec);
    return !ec;
}

void RemoveIdleAutostart() {
    std::error_code ec;
    fs::remove(IdleAutostartPath(), ec);
}

bool TakeIdleWatcherLock() {
    const int fd = OpenLock();
    if (fd < 0) return true;  // no place for a lock: nothing to share it with either
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    // Kept open (and locked) until the process ends; the pid is for EndIdleWatcher.
    const std::string pid = std::to_string(getpid());
    [[maybe_unused]] const bool written = ftruncate(fd, 0) == 0 && write(fd, pid.data(), pid.size()) > 0;
    return true;
}

void EndIdleWatcher() {
    const int fd = OpenLock();
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[32] = {};
        if (pread(fd, text, sizeof text - 1, 0) > 0 && std::atoi(text) > 0) kill(std::atoi(text), SIGTERM);
        // The lock is free once the watcher has gone; a new one can take it then.
        flock(fd, LOCK_EX);
    }
    close(fd);
}

void SetIdleAutostart(int seconds) {
    if (seconds == ReadIdleAutostart()) return;
    EndIdleWatcher();
    if (seconds <= 0) return RemoveIdleAutostart();
    std::error_code ec;
    const std::string program = fs::read_symlink("/proc/self/exe", ec).string();
    if (ec || !WriteIdleAutostart(seconds, program)) return;
    // The watcher outlives the dialog: a child of its own session, reaped by init
    // through the intermediate child that ends at once.
    const std::string argument = std::to_string(seconds);
    if (const pid_t child = fork(); child == 0) {
        setsid();
        if (fork() == 0) {
            execl(program.c_str(), program.c_str(), "--idle", argument.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    } else if (child > 0) {
        waitpid(child, nullptr, 0);
    }
}

}  // namespace quipix::platform
