#pragma once
// The built printertest run as a shell runs it: arguments, environment and
// standard input in; standard output, standard error and exit status out.
// Every wait is bounded; a program still running at its deadline is killed.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace clitest {

struct Finished {
  int exit = -1;  // the exit status; -1 when it ended by a signal or was killed
  std::string out;
  std::string err;
};

// The whole run, for a failed assertion's message.
inline std::string Describe(const Finished& f) {
  return "exit " + std::to_string(f.exit) + "\nout: " + f.out + "\nerr: " + f.err;
}

class Program {
public:
  // Starts printertest with `args`. The environment is the test's own with
  // PRINTERTEST_PRINTER removed, LANG=C, and then `env` on top of it.
  // With `launcher`, runs that command with printertest and its arguments
  // after it ("ip netns exec NAME").
  explicit Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                   const std::string& input = {}, const std::vector<std::string>& launcher = {});
  // Another program, found on PATH unless `program` has a slash, in the same
  // environment.
  Program(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {}, const std::string& input = {},
          const std::vector<std::string>& launcher = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The next line of standard output, without its line feed, within `timeoutMs`.
  std::optional<std::string> ReadLine(int timeoutMs);
  void Interrupt();  // Ctrl-C
  // Reads both outputs to their end and waits for the exit, within `timeoutMs`.
  Finished Finish(int timeoutMs = 30000);

private:
  bool Pump(int timeoutMs);  // reads what is there; false once both outputs ended
  int pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  Finished result_;
  std::size_t lineStart_ = 0;
};

inline Finished Printertest(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                            const std::string& input = {}) {
  return Program(args, env, input).Finish();
}

}  // namespace clitest
