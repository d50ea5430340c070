#include "Metrics.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <ostream>
#include <set>
#include <sstream>
#include <thread>

#include "Check.h"
#include "CliInput.h"
#include "OutcomeWords.h"

namespace printercli {
namespace {

using Clock = std::chrono::steady_clock;

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A label value as the exposition format writes it: \, " and line feeds escaped.
std::string Escaped(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

// printer="192.168.1.50",name="Shop 12" (the name only where one was given).
std::string PrinterLabels(const FleetPrinter& p) {
  std::string labels = "printer=\"" + Escaped(p.address) + "\"";
  if (!p.name.empty()) labels += ",name=\"" + Escaped(p.name) + "\"";
  return labels;
}

void Sample(std::string& out, const char* metric, const std::string& labels, const std::string& value) {
  out += metric;
  out += '{' + labels + "} " + value + '\n';
}

std::string Seconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", seconds);
  return text;
}

// Each metric: its name, its help, and its samples for one printer; only the
// info series for a printer whose read failed on this machine, which says
// nothing of the printer.
struct Family {
  const char* name;
  const char* help;
  void (*samples)(std::string& out, const char* metric, const PrinterSample& s, const std::string& labels);
  bool evenUnread = false;
};

const Family kFamilies[] = {
    {"printer_up", "Whether the printer answered its status query (1) or not (0).",
     [](std::string& out, const char* metric, const PrinterSample& s, const std::string& labels) {
       Sample(out, metric, labels, s.read.answered ? "1" : "0");
     }},
    {"printer_status_read_duration_seconds",
     "Seconds the status read took, from its first connection to the reply or the failure.",
     [](std::string& out, const char* metric, const PrinterSample& s, const std::string& labels) {
       Sample(out, metric, labels, Seconds(s.seconds));
     }},
    {"printer_condition",
     "Whether the printer is in the condition (1) or not (0): online is 1 when it answered, each other condition 1 "
     "when it needs attention. No sample while a condition is unknown.",
     [](std::string& out, const char* metric, const PrinterSample& s, const std::string& labels) {
       for (const printerlink::ConditionRow& row : printerlink::kConditions) {
         if (const std::optional<bool> value = NamedValue(row, s.read))
           Sample(out, metric, labels + ",condition=\"" + row.name + "\"", *value ? "1" : "0");
       }
     }},
    {"printer_status_byte",
     "The printer's status bytes as numbers, byte 1 first. No sample for a byte that did not "
     "arrive.",
     [](std::string& out, const char* metric, const PrinterSample& s, const std::string& labels) {
       const std::size_t received = s.read.answered ? s.read.done.received : 0;
       for (std::size_t i = 0; i < printerlink::kStatusByteCount && i < received; ++i) {
         Sample(out, metric, labels + ",byte=\"" + std::to_string(i + 1) + "\"", std::to_string(s.read.done.reply[i]));
       }
     }},
    {"printer_info", "The printer's address and, where the printers file gives one, its name; always 1.",
     [](std::string& out, const char* metric, const PrinterSample&, const std::string& labels) {
       Sample(out, metric, labels, "1");
     },
     true},
};

// A file written beside its final name and renamed into place; removed
// again unless it was committed.
class ReplacingFile {
public:
  ~ReplacingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }

  bool Open(const std::string& path, std::string& error) {
    path_ = path;
    // Not named *.prom: the textfile collector never reads it half-written.
    std::string pattern = path + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
      error = "cannot write beside " + path + ": " + std::strerror(errno);
      return false;
    }
    temp_ = pattern;
    return true;
  }

  bool Commit(std::string_view text, std::string& error) {
    while (!text.empty()) {
      const ssize_t n = ::write(fd_, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail("cannot write " + temp_, error);
      text.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fchmod(fd_, 0644) != 0) return Fail("cannot make " + temp_ + " readable", error);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail("cannot write " + temp_, error);
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return Fail("cannot rename " + temp_ + " to " + path_, error);
    temp_.clear();
    return true;
  }

private:
  static bool Fail(const std::string& what, std::string& error) {
    error = what + ": " + std::strerror(errno);
    return false;
  }
  std::string path_, temp_;
  int fd_ = -1;
};

// Descriptors kept out of the reads' reach: the standard streams, the output
// and the log, and what the libraries open on their own.
constexpr long kSpareDescriptors = 16;

// Descriptors this process has open now; the reserve covers it without /proc.
long OpenDescriptors() {
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return 0;
  long open = -1;  // the directory's own
  while (const dirent* e = ::readdir(d)) open += e->d_name[0] != '.';
  ::closedir(d);
  return std::max(0L, open);
}

// Each read holds one socket at a time. The soft limit on open files goes up
// to the hard one; the reads at a time are then as many as the descriptors
// still free allow, less the reserve, and at least one. Past that, a read
// would find no socket, and a printer that answers would read as down.
int ReadsTheDescriptorsAllow(int wanted, long& limit) {
  rlimit l{};
  if (::getrlimit(RLIMIT_NOFILE, &l) != 0) return wanted;
  if (l.rlim_cur < l.rlim_max) {
    rlimit raised = l;
    raised.rlim_cur = l.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) l = raised;
  }
  limit = l.rlim_cur == RLIM_INFINITY ? std::numeric_limits<long>::max() : static_cast<long>(l.rlim_cur);
  const long free = limit - OpenDescriptors() - kSpareDescriptors;
  return static_cast<int>(std::clamp<long>(free, 1, wanted));
}

// Whether the read failed on this machine (no socket, no socket library)
// rather than at the printer.
bool FailedHere(const printerlink::StatusRead& read) {
  const auto& records = read.done.records;
  return !records.empty() && read.done.Deciding().outcome == printerlink::Outcome::Library;
}

int Refuse(Session& s, const std::string& error) {
  s.err << "printertest: metrics: " << error << '\n';
  return kExitUsage;
}

}  // namespace

PrinterList ParsePrinterList(std::string_view text, const std::string& source) {
  PrinterList list;
  std::set<std::string> seen;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string address(line.substr(0, blank));
    const std::string where = source + ":" + std::to_string(number) + ": ";
    if (!ParseAddress(address)) {
      list.error = where + "\"" + address + "\" is not an IPv4 address like 192.168.1.50";
      return list;
    }
    if (!seen.insert(address).second) {
      list.error = where + address + " is listed twice";
      return list;
    }
    const std::string name = blank == std::string_view::npos ? std::string() : std::string(Trim(line.substr(blank)));
    // The exposition is UTF-8: one name in Latin-1 makes node_exporter drop
    // the whole file, every printer's series with it.
    if (const std::size_t good = Utf8Length(name); good < name.size()) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(name[good]));
      list.error = where + "the name has a byte that is no UTF-8 (" + byte + ") after \"" + name.substr(0, good) +
                   "\": save the file as UTF-8";
      return list;
    }
    list.printers.push_back({address, name});
  }
  return list;
}

std::string Exposition(std::span<const PrinterSample> samples) {
  std::vector<std::string> labels;
  labels.reserve(samples.size());
  for (const PrinterSample& s : samples) labels.push_back(PrinterLabels(s.printer));
  std::string out;
  for (const Family& f : kFamilies) {
    out += std::string("# HELP ") + f.name + ' ' + f.help + '\n';
    out += std::string("# TYPE ") + f.name + " gauge\n";
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (f.evenUnread || !FailedHere(samples[i].read)) f.samples(out, f.name, samples[i], labels[i]);
    }
  }
  return out;
}

std::vector<PrinterSample> ReadFleet(const Session& s, std::span<const FleetPrinter> printers, int parallel) {
  std::vector<PrinterSample> samples(printers.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < printers.size(); i = next++) {
      printerlink::Printer printer = s.At(printers[i].address);
      printer.timings.replyWait = printerlink::ReplyWait::AsItArrives;
      const Clock::time_point start = Clock::now();
      samples[i].read = printerlink::ReadStatus(printer);
      samples[i].seconds = std::chrono::duration<double>(Clock::now() - start).count();
      samples[i].printer = printers[i];
    }
  };
  // Each read holds its own thread only for its own bounds: a printer that
  // does not answer keeps one of the `parallel` slots, never the others.
  const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(std::max(parallel, 1)), printers.size());
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);
  for (std::thread& w : workers) w.join();
  return samples;
}

bool WriteWhole(const std::string& path, std::string_view text, std::string& error) {
  ReplacingFile file;
  return file.Open(path, error) && file.Commit(text, error);
}

int RunMetricsCommand(Session& s, const MetricsArgs& a) {
  int parallel = kDefaultParallelReads;
  if (!a.parallel.empty()) {
    const auto [end, ec] = std::from_chars(a.parallel.data(), a.parallel.data() + a.parallel.size(), parallel);
    if (ec != std::errc() || end != a.parallel.data() + a.parallel.size() || parallel < 1 || parallel > 1024) {
      return Refuse(s, "--parallel: \"" + a.parallel + "\" is not a number of reads from 1 to 1024");
    }
  }

  // Those given by --printer first, then the file's: one list, each address once.
  std::vector<FleetPrinter> printers;
  std::set<std::string> given;
  for (const std::string& p : a.printers) {
    if (!ParseAddress(p)) return Refuse(s, "--printer: \"" + p + "\" is not an IPv4 address like 192.168.1.50");
    if (given.insert(p).second) printers.push_back({p, {}});
  }
  if (!a.printersFile.empty()) {
    std::ifstream in(a.printersFile, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in) return Refuse(s, "cannot read " + a.printersFile + ": " + std::strerror(errno));
    const PrinterList list = ParsePrinterList(text.str(), a.printersFile);
    if (!list.error.empty()) return Refuse(s, list.error);
    for (const FleetPrinter& p : list.printers) {
      if (!given.insert(p.address).second)
        return Refuse(s, p.address + " is given by --printer and in " + a.printersFile);
      printers.push_back(p);
    }
  } else if (printers.empty()) {
    printers.push_back({s.printer, {}});
  }

  // Where the output goes is checked before anything is sent.
  ReplacingFile file;
  std::string error;
  if (!a.output.empty() && !file.Open(a.output, error)) return Refuse(s, "--output: " + error);

  long limit = 0;
  const std::vector<PrinterSample> samples = ReadFleet(s, printers, ReadsTheDescriptorsAllow(parallel, limit));
  const std::string text = Exposition(samples);
  if (a.output.empty()) {
    s.out << text << std::flush;
  } else if (!file.Commit(text, error)) {
    return Refuse(s, "--output: " + error);
  }

  // A read this machine could not make says nothing of its printer: no
  // printer_up for it, and the run fails, so that the timer's unit, cron or
  // whoever runs it sees the fault here instead of printers gone down.
  const auto here =
      std::count_if(samples.begin(), samples.end(), [](const PrinterSample& p) { return FailedHere(p.read); });
  if (here == 0) return kExitOk;
  const auto first =
      std::find_if(samples.begin(), samples.end(), [](const PrinterSample& p) { return FailedHere(p.read); });
  s.err << "printertest: metrics: " << here << " of " << samples.size()
        << " status reads failed on this machine, not at the printer ("
        << printerlink::OutcomeWords(first->read.done.Deciding(), Language::English)
        << "; open files allowed: " << limit << "): those printers have no printer_up\n";
  return kExitUnreachable;
}

}  // namespace printercli
