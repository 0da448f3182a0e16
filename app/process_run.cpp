/// @file process_run.cpp
/// @brief RunProcess through posix_spawnp, its output captured in temporary files (no pipe to
///        drain, so a chatty program cannot block on a full pipe).
#include "process_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

/// An unlinked temporary file, read back whole.
class CaptureFile {
public:
    CaptureFile() {
        char name[] = "/tmp/nimbra-run-XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ >= 0) unlink(name);
    }
    ~CaptureFile() {
        if (fd_ >= 0) close(fd_);
    }
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    int fd() const { return fd_; }
    std::string Read() const {
        std::string text;
        if (fd_ < 0) return text;
        lseek(fd_, 0, SEEK_SET);
        char buffer[4096];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        return text;
    }

private:
    int fd_ = -1;
};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string> &argv) {
    ProcessResult result;
    if (argv.empty()) return result;
    const CaptureFile out, err;
    if (out.fd() < 0 || err.fd() < 0) {
        result.err = "cannot create a temporary file";
        return result;
    }
    std::vector<std::string> args = argv;
    std::vector<char *> pointers;
    for (std::string &a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd(), 2);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.err = argv[0] + ": cannot run it (is it installed and on PATH?)";
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = out.Read();
    result.err = err.Read();
    return result;
}
