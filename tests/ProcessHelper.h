// Test support: runs a program as a child process with the given standard
// input, collecting its standard output, standard error and exit status.
//
// The child runs in WorkDir (when given). Input is written while the output
// is read, so neither side blocks on a full pipe. A child that has not
// ended after MaxSeconds is killed, so that a hang fails the test instead
// of stopping the suite; this is a safety net, never a measurement.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kb::test {

struct TProcessResult {
  int Status = -1;  // the exit status; 128 + the signal when killed by one
  std::string Out;
  std::string Err;
};

inline TProcessResult RunProcess(const std::vector<std::string>& Args,
                                 const std::string& Input = std::string(),
                                 const std::string& WorkDir = std::string(), int MaxSeconds = 120) {
  TProcessResult r;
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (!WorkDir.empty() && ::chdir(WorkDir.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  // A child that stops reading must not kill the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t written = 0;
  int inFd = in[1];
  if (Input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(MaxSeconds);
  int outFd = out[0], errFd = err[0];
  while (outFd >= 0 || errFd >= 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3];
    nfds_t n = 0;
    for (int fd : {outFd, errFd}) {
      if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
    }
    if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
    if (::poll(fds, n, 200) < 0 && errno != EINTR) break;
    for (nfds_t i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      const int fd = fds[i].fd;
      if (fd == inFd) {
        const ssize_t w = ::write(fd, Input.data() + written, Input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) written = Input.size();
        if (written == Input.size()) {
          ::close(inFd);
          inFd = -1;
        }
        continue;
      }
      char buf[4096];
      const ssize_t got = ::read(fd, buf, sizeof buf);
      std::string& sink = fd == outFd ? r.Out : r.Err;
      if (got > 0) {
        sink.append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fd);
        (fd == outFd ? outFd : errFd) = -1;
      }
    }
  }
  for (int fd : {inFd, outFd, errFd})
    if (fd >= 0) ::close(fd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

// A fresh empty directory, removed with everything in it when the object
// goes.
class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kb-test-XXXXXX").string();
    if (::mkdtemp(pattern.data())) Path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    if (!Path_.empty()) std::filesystem::remove_all(Path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return Path_; }
  std::string File(const std::string& Name) const { return Path_ + "/" + Name; }

 private:
  std::string Path_;
};

}  // namespace kb::test
