#pragma once
// printertest metrics: the status of one printer or a fleet, read
// concurrently, in the Prometheus text exposition format (version 0.0.4),
// on standard output or in a file replaced whole, as node_exporter's
// textfile collector reads it.
//
// The pure parts (the printers file, the exposition text) are plain
// functions; ReadFleet and WriteWhole do the reads and the file.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "PrinterCommands.h"

namespace printercli {

struct FleetPrinter {
  std::string address;  // dotted quad, checked
  std::string name;     // empty when none was given
};

// The printers file: one address per line, optionally a name after it (the
// rest of the line); blank lines and everything from a # on are ignored. An
// address that is no dotted quad, or one listed twice, is an error naming
// `source` and the line: "printers:3: ...".
struct PrinterList {
  std::vector<FleetPrinter> printers;
  std::string error;
};
PrinterList ParsePrinterList(std::string_view text, const std::string& source);

// One printer's status read and how long it took.
struct PrinterSample {
  FleetPrinter printer;
  printerlink::StatusRead read;
  double seconds = 0;
};

// The exposition: each metric's HELP and TYPE once, then a sample per
// printer in the order given. A condition or status byte that was not read
// has no sample: unknown is never 0. Nor is a read this machine could not
// make (no socket): its printer has only its info series.
std::string Exposition(std::span<const PrinterSample> samples);

// Reads every printer's status with at most `parallel` reads at a time, each
// within its own bounds, the reply taken as it arrives. Results come in the
// order of `printers`.
std::vector<PrinterSample> ReadFleet(const Session& session, std::span<const FleetPrinter> printers, int parallel);

inline constexpr int kDefaultParallelReads = 128;

// Writes `text` to a new file beside `path` and renames it into place, so a
// reader sees the old file or the new one, never part of one. The file is
// readable by all (0644).
bool WriteWhole(const std::string& path, std::string_view text, std::string& error);

// metrics' arguments as typed; RunMetricsCommand reads them, then the fleet.
struct MetricsArgs {
  std::vector<std::string> printers;  // --printer, any number of times
  std::string printersFile;           // --printers
  std::string output;                 // --output
  std::string parallel;               // --parallel
};
int RunMetricsCommand(Session& session, const MetricsArgs& args);

}  // namespace printercli
