#include "PageShot.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <thread>
#include <vector>

namespace vprinter {
namespace {

// Every start of Chromium: headless, and nothing beyond the page. The page
// is a local file; no name is resolved, so nothing can be reached by name.
constexpr const char* kSwitches[] = {
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--hide-scrollbars",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--no-first-run",
    "--disable-quic",
    "--no-default-browser-check",
    "--disable-default-apps",
    "--disable-extensions",
    "--disable-breakpad",
    "--host-resolver-rules=MAP * ~NOTFOUND",
};
constexpr int kPollMs = 50;  // how often a running Chromium is looked at

}  // namespace

bool ShootPage(const std::string& page, const std::string& png, int width, int height, int timeoutSeconds,
               std::string& error) {
  std::string profile = (std::filesystem::temp_directory_path() / "page-shot-XXXXXX").string();
  if (::mkdtemp(profile.data()) == nullptr) {
    error = std::string("cannot make a profile folder: ") + std::strerror(errno);
    return false;
  }
  std::vector<std::string> args = {"chromium"};
  args.insert(args.end(), std::begin(kSwitches), std::end(kSwitches));
  args.push_back("--user-data-dir=" + profile);
  args.push_back("--window-size=" + std::to_string(width) + "," + std::to_string(height));
  args.push_back("--screenshot=" + std::filesystem::absolute(png).string());
  args.push_back("file://" + std::filesystem::absolute(page).string());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::filesystem::remove(png);

  // Its home is the profile folder too, so that nothing lands in the user's.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view v(*e);
    if (!v.starts_with("HOME=") && !v.starts_with("XDG_CONFIG_HOME=") && !v.starts_with("XDG_CACHE_HOME=")) {
      env.emplace_back(v);
    }
  }
  for (const char* name : {"HOME=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME="}) env.push_back(name + profile);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // A process group of its own, so that its helper processes end with it.
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t files;
  ::posix_spawnattr_init(&attr);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(&attr, 0);
  ::posix_spawn_file_actions_init(&files);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    ::posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&files);
  ::posix_spawnattr_destroy(&attr);
  int status = 0;
  bool ended = false;
  if (spawned != 0) {
    error = spawned == ENOENT ? "chromium is not installed (scripts/setup)"
                              : std::string("cannot start chromium: ") + std::strerror(spawned);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (!ended) {
      const pid_t got = ::waitpid(pid, &status, WNOHANG);
      ended = got == pid || (got < 0 && errno != EINTR);
      if (ended || std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    if (!ended) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      error = "chromium made no picture within " + std::to_string(timeoutSeconds) + " s";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      error = "chromium failed";
      ended = false;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  if (ended && !std::filesystem::exists(png)) {
    error = "chromium wrote no " + png;
    ended = false;
  }
  return ended;
}

}  // namespace vprinter
