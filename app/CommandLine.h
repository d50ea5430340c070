#pragma once
// The program's few options.

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  bool help = false;
  bool version = false;
  std::optional<std::string> printer;  // --printer ADDRESS: both address fields start there
  std::optional<std::string> logFile;  // --log FILE: every exchange appended as a JSON line
  std::string error;                   // what was wrong, empty when nothing was
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);  // without the program's name
std::string UsageText(const std::string& program);
