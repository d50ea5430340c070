#include "RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace clitest {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Program::Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                 const std::string& input, const std::vector<std::string>& launcher)
    : Program(PRINTERTEST_PROGRAM, args, env, input, launcher) {}

Program::Program(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& input,
                 const std::vector<std::string>& launcher) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) std::abort();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    unsetenv("PRINTERTEST_PRINTER");
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C", 1);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : launcher) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Standard input is small in every test: it fits the pipe, then ends.
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0)
    result_.err = "stdin: " + std::string(strerror(errno));
  close(in[1]);
  outFd_ = out[0];
  errFd_ = err[0];
}

Program::~Program() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool Program::Pump(int timeoutMs) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  if (poll(fds, 2, timeoutMs) <= 0) return true;
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    const ssize_t n = read(fds[i].fd, buf, sizeof buf);
    if (n > 0) {
      (i == 0 ? result_.out : result_.err).append(buf, static_cast<std::size_t>(n));
    } else {
      close(fds[i].fd);
      (i == 0 ? outFd_ : errFd_) = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

std::optional<std::string> Program::ReadLine(int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const std::size_t end = result_.out.find('\n', lineStart_);
    if (end != std::string::npos) {
      std::string line = result_.out.substr(lineStart_, end - lineStart_);
      lineStart_ = end + 1;
      return line;
    }
    if (MsLeft(deadline) == 0 || !Pump(MsLeft(deadline))) return std::nullopt;
  }
}

void Program::Interrupt() {
  if (pid_ > 0) kill(pid_, SIGINT);
}

Finished Program::Finish(int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (MsLeft(deadline) > 0 && Pump(MsLeft(deadline))) {
  }
  int status = 0;
  while (MsLeft(deadline) > 0 && waitpid(pid_, &status, WNOHANG) == 0) usleep(10 * 1000);
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    result_.err += "\n[killed at the test's deadline]";
  }
  pid_ = -1;
  result_.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result_;
}

}  // namespace clitest
