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

// Why the program cannot open its window, or nothing when it can: without a
// graphical session (no DISPLAY, no WAYLAND_DISPLAY and no Qt platform chosen
// by QT_QPA_PLATFORM) Qt would abort. Null pointers and empty values are unset.
std::optional<std::string> MissingGraphicalSession(const char* display, const char* waylandDisplay,
                                                   const char* qtPlatform);
