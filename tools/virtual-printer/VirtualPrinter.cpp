#include "VirtualPrinter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "LoopbackPrinter.h"
#include "PrinterDecoder.h"
#include "Receipt.h"
#include "SocketLibrary.h"
#include "Transport.h"

namespace vprinter {
namespace {

using printercore::Clock;
using printercore::Connection;
using printercore::Ending;
using WallClock = std::chrono::system_clock;

// The printer's language is decoded by the link layer's decoder, shared with
// the console's exchange log.
using printerlink::CommandKind;
using printerlink::DecodedCommand;
using printerlink::Describe;
using printerlink::HexBytes;
using printerlink::StreamDecoder;

constexpr std::size_t kHexPerLine = 16;
constexpr std::size_t kHexDumpLimit = 512;  // a connection shows its first bytes in hex only
// A connection's decoded lines go to the transcript in blocks of this many;
// a longer connection is written down in parts while it goes on.
constexpr std::size_t kBlockEntries = 256;
// A connection stops being read, as a printer with a full buffer does, while
// it holds this many lines waiting for an answer's fate.
constexpr std::size_t kMaxHeldEntries = 2 * kBlockEntries;
// The transcript waiting for its stream, in bytes of the lines' data; beyond
// it, new lines are dropped and counted.
constexpr std::size_t kMaxTranscriptBacklog = 4 * 1024 * 1024;
// A connection's finished receipts wait for its next block up to this many
// bytes of pages; beyond, they go to the transcript on their own.
constexpr std::size_t kMaxHeldReceiptBytes = 2 * 1024 * 1024;
// How many names a receipt tries when earlier runs left files with its own.
constexpr int kMaxReceiptNames = 1000;

std::string ErrnoText(int error) { return std::strerror(error); }

std::string TimeOfDay(WallClock::time_point when) {
  const std::time_t seconds = WallClock::to_time_t(when);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return buf;
}

int MsSince(Clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string Duration(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

// How each of a connection's lines in the transcript begins: the time, the
// port and the connection's number.
std::string ConnectionLine(WallClock::time_point when, const Connection& c) {
  return TimeOfDay(when) + "  port " + std::to_string(c.port) + "  #" + std::to_string(c.number);
}

// What the printer answers a status query with, as it is now: ESC v, DLE EOT
// n, GS r n, or the first report after GS a. Empty when n asks for nothing.
std::vector<std::uint8_t> AnswerBytes(const DecodedCommand& query, const StatusFlags& flags,
                                      const PrinterIdentity& identity) {
  switch (query.kind) {
    case CommandKind::StatusRequest: {
      const StatusReply r = StatusBytes(flags);
      return {r.begin(), r.end()};
    }
    case CommandKind::RealTimeStatus: return RealTimeStatus(flags, query.bytes[2]);
    case CommandKind::PrinterId: return IdentityAnswer(identity, query.bytes[2]);
    case CommandKind::TransmitStatus: return TransmittedStatus(flags, query.bytes[2]);
    case CommandKind::AutoStatusBack: {
      const auto r = AutomaticStatus(flags);
      return {r.begin(), r.end()};
    }
    default: return {};
  }
}

// Whether the printer answers the command: the status queries, and GS a
// when it turns automatic status back on.
bool Asks(const DecodedCommand& c) {
  if (c.cutShort) return false;
  switch (c.kind) {
    case CommandKind::StatusRequest:
    case CommandKind::RealTimeStatus:
    case CommandKind::TransmitStatus:
    case CommandKind::PrinterId: return true;
    case CommandKind::AutoStatusBack: return (c.bytes[2] & 0x0F) != 0;
    default: return false;
  }
}

// ESC p, and DLE DC4 1: the pulse that opens a cash drawer.
bool PulsesDrawer(const DecodedCommand& c) {
  if (c.cutShort) return false;
  return c.kind == CommandKind::DrawerPulse || (c.kind == CommandKind::RealTimeRequest && c.bytes[2] == 1);
}

// What became of one status query.
struct StatusAnswer {
  enum class Fate { Due, Sent, Failed, Silent, WrongPort, ClientGone, Nothing };
  Fate fate = Fate::Due;
  std::vector<std::uint8_t> bytes;  // as they went out
  StatusFlags flags;                // as they were when the answer went out
  bool afterClose = false;          // the client had closed its side before the answer went out
  int error = 0;
  int delayMs = 0;
};

// One line of a connection's transcript, kept as data until the transcript's
// own thread formats it.
struct Entry {
  DecodedCommand command;
  bool asked = false;  // a status request, with `answer` saying what became of it
  StatusAnswer answer;
};

// A print job's page on its way to its file, and its line in the transcript
// after the lines of the commands that made it.
struct ReceiptPage {
  std::string line;  // " job 2: " and what the page left out
  std::string base;  // the file's name without ".html"
  std::string page;
  bool dropped = false;   // the transcript could not keep up: not written
  std::size_t after = 0;  // the number of the connection's line that ended the job
};

// A piece of the transcript on its way to the stream: a note, or (part of) a
// connection's block.
struct Block {
  std::string head;
  std::vector<std::uint8_t> hex;  // the connection's first bytes, shown once
  std::size_t hexOf = 0;          // how many bytes the connection had when they were taken
  std::vector<Entry> entries;
  std::size_t dropped = 0;            // lines lost just before this block
  std::size_t weight = 0;             // what it weighs while it waits in the queue
  std::vector<ReceiptPage> receipts;  // written, then named after the lines
  bool endsConnection = false;
};

std::string AnswerText(const StatusAnswer& a) {
  using Fate = StatusAnswer::Fate;
  const std::string bytes = HexBytes(a.bytes) + " (" + DescribeFlags(a.flags) + ")";
  const std::string delay = a.delayMs > 0 ? " after " + std::to_string(a.delayMs) + " ms" : "";
  switch (a.fate) {
    case Fate::Sent:
      if (a.afterClose) return "answered " + bytes + delay + ", after the client had closed its side";
      return "answered " + bytes + delay;
    case Fate::Failed: return "answer " + bytes + delay + " not delivered: " + ErrnoText(a.error);
    case Fate::Silent: return "not answered (silent)";
    case Fate::WrongPort: return "not answered: only port 4000 answers";
    case Fate::ClientGone: return "not answered: the client reset the connection first";
    case Fate::Due: return "not answered yet";
    case Fate::Nothing: return "nothing to answer";
  }
  return "";
}

void AppendHexDump(std::string& text, const std::vector<std::uint8_t>& bytes, std::size_t total) {
  for (std::size_t i = 0; i < bytes.size(); i += kHexPerLine) {
    const std::size_t n = std::min(kHexPerLine, bytes.size() - i);
    text += (i == 0 ? "  hex    " : "         ") + HexBytes(std::span(bytes).subspan(i, n)) + '\n';
  }
  if (bytes.size() < total) text += "         ... " + std::to_string(total - bytes.size()) + " more bytes\n";
}

std::string Format(const Block& block) {
  std::string text;
  if (block.dropped > 0) {
    text += TimeOfDay(WallClock::now()) + "  transcript: " + std::to_string(block.dropped) +
            (block.dropped == 1 ? " line" : " lines") + " dropped, the output could not keep up\n";
  }
  text += block.head;
  text += '\n';
  if (!block.hex.empty()) AppendHexDump(text, block.hex, block.hexOf);
  for (const Entry& e : block.entries) {
    text += "  ";
    text += Describe(e.command);
    if (e.asked) text += " -> " + AnswerText(e.answer);
    text += '\n';
  }
  for (const ReceiptPage& r : block.receipts) text += r.line + '\n';
  return text;
}

// What the transcript's weight is while it waits: its lines' data.
std::size_t Weight(const Block& block) {
  std::size_t w = block.head.size() + block.hex.size();
  for (const ReceiptPage& r : block.receipts) w += r.line.size() + r.page.size();
  // Each line's bytes are a heap block of their own, with the allocator's overhead.
  for (const Entry& e : block.entries) w += sizeof(Entry) + 32 + e.command.bytes.size();
  return w;
}

// Moves `from` to the name `to` unless a file has that name: EEXIST then.
int PlaceNew(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot rename so: a second link, then the first goes.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

// Writes a receipt's page beside its file and moves it into place under a
// name no file has yet: a reader never sees half a receipt, and a receipt
// of an earlier run is never overwritten (receipt-0001-1.html taken, the
// page becomes receipt-0001-1.2.html). Says so in the receipt's line.
void WriteReceipt(const std::string& folder, ReceiptPage& r) {
  const std::string first = folder + "/" + r.base + ".html";
  if (r.dropped) {
    r.line += "receipt NOT written to " + first + ": the transcript's output could not keep up";
    return;
  }
  std::string temp = folder + "/." + r.base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  int error = fd < 0 ? errno : 0;
  if (fd >= 0) {
    ::fchmod(fd, 0644);
    for (std::size_t done = 0; error == 0 && done < r.page.size();) {
      const ssize_t n = ::write(fd, r.page.data() + done, r.page.size() - done);
      if (n < 0 && errno != EINTR) error = errno;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
  }
  std::string name = first;
  for (int k = 2; error == 0; ++k) {
    const int placed = PlaceNew(temp, name);
    if (placed == 0) {
      r.line += "receipt written to " + name;
      return;
    }
    if (placed != EEXIST || k > kMaxReceiptNames) error = placed;
    name = folder + "/" + r.base + "." + std::to_string(k) + ".html";
  }
  if (fd >= 0) ::unlink(temp.c_str());
  r.line += "receipt NOT written to " + first + ": " + ErrnoText(error);
}

}  // namespace

struct VirtualPrinter::Impl final : printercore::Behaviour {
  VirtualPrinterOptions options;
  std::ostream& transcript;
  printercore::LoopbackPrinter printer{*this};
  std::atomic<unsigned> flagsVersion{0};  // counts the changes of the flags
  std::thread writer;
  bool started = false;
  unsigned seenVersion = 0;  // the service thread's own

  mutable std::mutex mutex;  // the flags, the counters and the transcript's queue
  mutable std::condition_variable blockWritten;
  std::condition_variable queueChanged;
  StatusFlags flags;
  std::size_t blocks = 0;
  std::deque<Block> queue;
  std::size_t queueWeight = 0;
  std::size_t dropped = 0;
  bool writerDone = false;
  bool writerRunning = false;

  Impl(VirtualPrinterOptions o, std::ostream& t) : options(std::move(o)), transcript(t), flags(options.flags) {}

  struct Transcribed;
  std::unique_ptr<printercore::Session> Open(Connection&) override;
  void Round(std::span<Connection> live) override;
  void WriteTranscript();
  void Queue(Block block, bool keepHead);
  // Writes out what is queued and ends the transcript's thread.
  void StopWriter() {
    {
      std::lock_guard lock(mutex);
      writerDone = true;
    }
    queueChanged.notify_all();
    if (writer.joinable()) writer.join();
    std::lock_guard lock(mutex);
    writerRunning = false;
    // A note that came in while the thread was finishing.
    for (const Block& block : queue) transcript << Format(block);
    transcript.flush();
    queue.clear();
    queueWeight = 0;
  }
  void OpenDrawer();
  StatusFlags CurrentFlags() const {
    std::lock_guard lock(mutex);
    return flags;
  }
};

// What the printer keeps of one connection: the decoder, the lines not yet
// handed to the transcript, and the print job so far.
struct VirtualPrinter::Impl::Transcribed final : printercore::Session {
  Impl& printer;
  // Opened as the connection is accepted.
  const WallClock::time_point openedAt = WallClock::now();
  const Clock::time_point opened = Clock::now();
  std::vector<std::uint8_t> head;  // the first kHexDumpLimit bytes
  bool partWritten = false;        // earlier lines went to the transcript already
  StreamDecoder decoder{printer.options.receiptsDir.empty() ? 0 : Receipt::kMaxPictureBytes};
  std::deque<Entry> entries;   // decoded, not yet handed to the transcript
  std::size_t firstEntry = 0;  // the number of entries.front() in the connection
  // GS a turned automatic status back on: a report goes out on every change.
  bool autoStatus = false;
  std::array<std::uint8_t, 4> lastReport{};
  std::unique_ptr<Receipt> receipt;  // the print job so far, with --receipts
  int jobs = 0;
  // Finished jobs, written with the block that holds the line ending them.
  std::vector<ReceiptPage> receipts;
  std::size_t receiptBytes = 0;

  explicit Transcribed(Impl& p);
  Entry& At(std::size_t number) { return entries[number - firstEntry]; }
  // The lines before this one have their final text.
  std::size_t Settled(const Connection& c) const {
    std::size_t n = firstEntry + entries.size();
    if (std::size_t unsettled; c.FirstUnsettled(unsettled)) n = std::min(n, unsettled);
    return n;
  }

  void Received(Connection& c, std::span<const std::uint8_t> got) override;
  std::vector<std::uint8_t> AnswerBytes(Connection& c, std::size_t tag) override;
  void Answered(Connection& c, std::size_t tag, printercore::Delivery delivery, int error) override;
  bool Holding() const override { return entries.size() >= kMaxHeldEntries; }
  void Settle(Connection& c) override {
    if (entries.size() >= kBlockEntries) WritePart(c);  // answers settled: their lines can go
  }
  void Ended(Connection& c, Ending ending) override;
  void WritePart(Connection& c);
  void QueueReceipt(const Connection& c);
  // Moves the receipts whose jobs ended before line `before` into `block`.
  void TakeReceipts(const Connection& c, Block& block, std::size_t before);
  std::string Head(const Connection& c, Ending ending) const;
};

std::unique_ptr<printercore::Session> VirtualPrinter::Impl::Open(Connection&) {
  return std::make_unique<Transcribed>(*this);
}

void VirtualPrinter::Impl::Queue(Block block, bool keepHead) {
  std::unique_lock lock(mutex);
  if (!writerRunning) {
    // Before the start or after the stop nothing else writes: straight out.
    block.dropped = std::exchange(dropped, 0);
    for (ReceiptPage& r : block.receipts) WriteReceipt(options.receiptsDir, r);
    transcript << Format(block);
    transcript.flush();
    if (block.endsConnection) ++blocks;
    lock.unlock();
    blockWritten.notify_all();
    return;
  }
  block.weight = Weight(block);
  if (queueWeight + block.weight > kMaxTranscriptBacklog) {
    // The stream is behind: receipts are not written, said so in their
    // lines, and the lines go, counted; a note or the head of a connection's
    // end is small and still says what happened.
    for (ReceiptPage& r : block.receipts) {
      std::string().swap(r.page);
      r.dropped = true;
    }
    if (!block.entries.empty()) {
      dropped += block.entries.size();
      if (!keepHead && block.receipts.empty()) return;
      block.entries.clear();
    }
    block.weight = Weight(block);
  }
  block.dropped = std::exchange(dropped, 0);
  queueWeight += block.weight;
  queue.push_back(std::move(block));
  queueChanged.notify_one();
}

// The transcript's own thread: the only one that writes to the stream while
// the printer runs, so a stream that blocks holds up nothing but this.
void VirtualPrinter::Impl::WriteTranscript() {
  std::unique_lock lock(mutex);
  for (;;) {
    queueChanged.wait(lock, [&] { return !queue.empty() || writerDone; });
    if (queue.empty()) break;
    Block block = std::move(queue.front());
    queue.pop_front();
    queueWeight -= block.weight;
    lock.unlock();
    for (ReceiptPage& r : block.receipts) WriteReceipt(options.receiptsDir, r);
    const std::string text = Format(block);
    transcript << text;
    transcript.flush();
    lock.lock();
    if (block.endsConnection) {
      ++blocks;
      blockWritten.notify_all();
    }
  }
  if (dropped > 0) {
    transcript << TimeOfDay(WallClock::now()) << "  transcript: " << std::exchange(dropped, 0)
               << " lines dropped at the end, the output could not keep up\n";
    transcript.flush();
  }
}

VirtualPrinter::Impl::Transcribed::Transcribed(Impl& p) : printer(p) {
  if (!printer.options.receiptsDir.empty()) receipt = std::make_unique<Receipt>(printer.options.paperMm);
}

std::string VirtualPrinter::Impl::Transcribed::Head(const Connection& c, Ending ending) const {
  std::string text;
  if (partWritten) {
    text = ConnectionLine(WallClock::now(), c) + " end:";
  } else {
    text = ConnectionLine(openedAt, c) + " from " + c.peer;
  }
  std::string why;
  switch (ending) {
    case Ending::ClientClosed:
    case Ending::ClosedAtOnce: break;
    case Ending::ClosedAfterDelay: {
      // Nothing was read: what the client sent is only a count. The console
      // and printertest wait for the printer's side only as long as their
      // send bound; a later reset reaches a connection they have closed.
      const bool seen = printer.options.discardMs < printerlink::kSendTimeoutMs;
      return text + "  discarded: closed unread after " + Duration(printer.options.discardMs) +
             (c.unread == 0 ? ", nothing had arrived"
                            : " with " + std::to_string(c.unread) + (c.unread == 1 ? " byte" : " bytes") +
                                  (seen ? " waiting (the client's connection is reset)"
                                        : " waiting (the console and printertest stop waiting for the reset after " +
                                              Duration(printerlink::kSendTimeoutMs) + ": they saw none)"));
    }
    case Ending::PrinterStopped: why = "still open when the printer stopped"; break;
    case Ending::Idle:
      why = "closed by the printer after " + Duration(printer.options.idleTimeoutMs) + " without a byte";
      break;
    case Ending::MadeRoom: why = "closed by the printer to make room for a new client"; break;
  }
  if (c.received == 0) {
    if (!why.empty()) return text + "  nothing sent, " + why;
    return text + "  probe: connected and closed without sending anything" +
           (c.readError != 0 ? " (reset: " + ErrnoText(c.readError) + ")" : "");
  }
  text += (partWritten ? " " : "  ") + std::to_string(c.received) + (c.received == 1 ? " byte" : " bytes") + " in " +
          std::to_string(MsSince(opened)) + " ms";
  if (!why.empty()) text += ", " + why;
  if (c.readError != 0) text += ", ended by " + ErrnoText(c.readError);
  return text;
}

// Hands the lines whose text is final to the transcript while the connection
// goes on, so that it holds only a block's worth.
void VirtualPrinter::Impl::Transcribed::WritePart(Connection& c) {
  const std::size_t n = Settled(c) - firstEntry;
  if (n == 0) return;
  Block block;
  if (!partWritten) {
    block.head = ConnectionLine(openedAt, c) + " from " + c.peer + "  receiving, " + std::to_string(c.received) +
                 " bytes so far";
    block.hex = head;
    block.hexOf = head.size();
  } else {
    block.head = ConnectionLine(WallClock::now(), c) + " continued";
  }
  block.entries.assign(std::make_move_iterator(entries.begin()),
                       std::make_move_iterator(entries.begin() + static_cast<std::ptrdiff_t>(n)));
  entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(n));
  firstEntry += n;
  partWritten = true;
  TakeReceipts(c, block, firstEntry);
  printer.Queue(std::move(block), false);
}

// The connection is closed: the rest of it goes to the transcript; nothing
// of it stays.
void VirtualPrinter::Impl::Transcribed::Ended(Connection& c, Ending ending) {
  // The decoder has seen every byte; finishing it decodes what the end of
  // the connection left incomplete.
  for (DecodedCommand& command : decoder.Finish()) {
    if (receipt && receipt->Add(command)) QueueReceipt(c);
    std::vector<std::uint8_t>().swap(command.data);  // drawn: the transcript needs none of it
    entries.push_back({std::move(command), false, {}});
  }
  if (receipt && !receipt->Empty()) QueueReceipt(c);
  Block block;
  block.head = Head(c, ending);
  if (!partWritten) {
    block.hex = std::move(head);
    block.hexOf = c.received;
  }
  block.entries.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  block.endsConnection = true;
  entries.clear();
  TakeReceipts(c, block, std::numeric_limits<std::size_t>::max());
  printer.Queue(std::move(block), true);
}

// A print job has ended: its receipt waits for the block that holds its
// last line, and goes with it to the transcript's thread, which writes the
// file and names it after the lines.
void VirtualPrinter::Impl::Transcribed::QueueReceipt(const Connection& c) {
  char base[64];
  std::snprintf(base, sizeof base, "receipt-%04d-%d", c.number, ++jobs);
  ReceiptPage r;
  r.line = " job " + std::to_string(jobs) + ": ";
  if (receipt->PicturesCut()) r.line += "pictures past one page (" + receipt->PageBound() + ") not drawn; ";
  if (const std::size_t cut = receipt->LinesCut(); cut > 0) {
    r.line += std::to_string(cut) + (cut == 1 ? " line" : " lines") + " cut at " +
              std::to_string(Receipt::kMaxLinePieces) + " pieces; ";
  }
  r.base = base;
  r.page = receipt->Html();
  // The command that ended the job is the next line.
  r.after = firstEntry + entries.size();
  receipt = std::make_unique<Receipt>(printer.options.paperMm);
  receiptBytes += r.page.size();
  receipts.push_back(std::move(r));
  if (receiptBytes > kMaxHeldReceiptBytes) {
    // Too much to hold for the lines: the receipts go now, on their own.
    Block block;
    block.head = ConnectionLine(WallClock::now(), c) + " receipts, ahead of the lines that made them:";
    TakeReceipts(c, block, std::numeric_limits<std::size_t>::max());
    printer.Queue(std::move(block), true);
  }
}

void VirtualPrinter::Impl::Transcribed::TakeReceipts(const Connection& c, Block& block, std::size_t before) {
  const auto end =
      std::find_if(receipts.begin(), receipts.end(), [&](const ReceiptPage& r) { return r.after >= before; });
  for (auto r = receipts.begin(); r != end; ++r) {
    r->line = ConnectionLine(WallClock::now(), c) + r->line;
    receiptBytes -= r->page.size();
    block.receipts.push_back(std::move(*r));
  }
  receipts.erase(receipts.begin(), end);
}

void VirtualPrinter::Impl::Transcribed::Received(Connection& c, std::span<const std::uint8_t> got) {
  if (head.size() < kHexDumpLimit) {
    const std::size_t take = std::min(kHexDumpLimit - head.size(), got.size());
    head.insert(head.end(), got.begin(), got.begin() + static_cast<std::ptrdiff_t>(take));
  }
  const auto now = Clock::now();
  for (DecodedCommand& command : decoder.Feed(got)) {
    if (receipt && receipt->Add(command)) QueueReceipt(c);
    std::vector<std::uint8_t>().swap(command.data);  // drawn: the transcript needs none of it
    Entry e{std::move(command), false, {}};
    if (e.command.kind == CommandKind::AutoStatusBack && !e.command.cutShort) {
      autoStatus = (e.command.bytes[2] & 0x0F) != 0;
      lastReport = AutomaticStatus(printer.CurrentFlags());
    }
    if (PulsesDrawer(e.command)) printer.OpenDrawer();
    if (Asks(e.command)) {
      e.asked = true;
      StatusAnswer& a = e.answer;
      // ESC v is answered on the reply port only, as the printer does; what
      // point-of-sale software asks is answered on either.
      if (e.command.kind == CommandKind::StatusRequest && c.port != printerlink::kReplyPort) {
        a.fate = StatusAnswer::Fate::WrongPort;
      } else if (printer.options.silent) {
        a.fate = StatusAnswer::Fate::Silent;
      } else {
        a.delayMs = printer.options.slowMs;
        c.AnswerAt(now + std::chrono::milliseconds(printer.options.slowMs), firstEntry + entries.size());
      }
    }
    entries.push_back(std::move(e));
  }
  if (entries.size() >= kBlockEntries) WritePart(c);
}

std::vector<std::uint8_t> VirtualPrinter::Impl::Transcribed::AnswerBytes(Connection&, std::size_t tag) {
  StatusAnswer& a = At(tag).answer;
  a.flags = printer.CurrentFlags();
  a.bytes = vprinter::AnswerBytes(At(tag).command, a.flags, printer.options.identity);
  return a.bytes;
}

void VirtualPrinter::Impl::Transcribed::Answered(Connection& c, std::size_t tag, printercore::Delivery delivery,
                                                 int error) {
  StatusAnswer& a = At(tag).answer;
  switch (delivery) {
    case printercore::Delivery::Sent: a.fate = StatusAnswer::Fate::Sent; break;
    case printercore::Delivery::Failed: a.fate = StatusAnswer::Fate::Failed; break;
    case printercore::Delivery::ClientGone: a.fate = StatusAnswer::Fate::ClientGone; break;
    case printercore::Delivery::Nothing: a.fate = StatusAnswer::Fate::Nothing; break;
  }
  a.afterClose = delivery == printercore::Delivery::Sent && c.peerDone;
  a.error = error;
}

// Automatic status back: each connection that asked for it hears of a change
// of state as it happens.
void VirtualPrinter::Impl::Round(std::span<Connection> live) {
  const unsigned version = flagsVersion.load();
  if (version == seenVersion) return;
  seenVersion = version;
  if (options.silent) return;
  const StatusFlags now = CurrentFlags();
  const auto report = AutomaticStatus(now);
  for (Connection& c : live) {
    auto& session = static_cast<Transcribed&>(c.session());
    if (!session.autoStatus || c.peerDone || report == session.lastReport) continue;
    session.lastReport = report;
    c.Send(report);
    Block note;
    note.head = ConnectionLine(WallClock::now(), c) + " automatic status back: " + HexBytes(report) + " (" +
                DescribeFlags(now) + ")";
    Queue(std::move(note), true);
  }
}

// A pulse opens the drawer, whether or not it was open: its state answers
// the next status queries, and those that asked for automatic status back
// hear of it.
void VirtualPrinter::Impl::OpenDrawer() {
  bool wasOpen = false;
  {
    std::lock_guard lock(mutex);
    wasOpen = std::exchange(flags.drawerOpen, true);
  }
  if (wasOpen) return;
  ++flagsVersion;
  printer.Wake();
  Block note;
  note.head = TimeOfDay(WallClock::now()) + "  drawer opened: pin 3 reads low until the key d closes it";
  Queue(std::move(note), true);
}

VirtualPrinter::VirtualPrinter(VirtualPrinterOptions options, std::ostream& transcript)
    : impl_(std::make_unique<Impl>(std::move(options), transcript)) {}

VirtualPrinter::~VirtualPrinter() { Stop(); }

bool VirtualPrinter::Start(std::string& error) {
  Impl& d = *impl_;
  if (d.started) return true;
  d.options.slowMs = std::max(0, d.options.slowMs);
  d.options.discardMs = std::max(0, d.options.discardMs);
  const auto ip = printerlink::ParseDottedQuad(d.options.address);
  if (!ip) {
    error = "'" + d.options.address + "' is not an IPv4 address (dotted quad, e.g. 127.0.0.1)";
    return false;
  }
  if (d.options.identity.serial.empty()) {
    const auto octets = std::bit_cast<std::array<std::uint8_t, 4>>(*ip);
    char serial[16];
    std::snprintf(serial, sizeof serial, "VP%02X%02X%02X%02X", octets[0], octets[1], octets[2], octets[3]);
    d.options.identity.serial = serial;
  }
  if (*ip == 0) {
    error = "0.0.0.0 would listen on every address of this machine; give one of its addresses";
    return false;
  }
  printercore::PrinterOptions serving;
  for (std::uint16_t number : {printerlink::kFramePort, printerlink::kReplyPort}) {
    printercore::PortBehaviour port;
    port.port.number = number;
    if (d.options.refuse) port.port.reach = printercore::Reach::Refuse;
    if (d.options.discardMs > 0) {
      port.reading = printercore::Reading::Never;
      port.closeAfterMs = d.options.discardMs;
    }
    serving.ports.push_back(port);
  }
  serving.idleTimeoutMs = d.options.idleTimeoutMs;
  serving.maxConnections = d.options.maxConnections;
  try {
    {
      std::lock_guard lock(d.mutex);
      d.writerDone = false;
      d.writerRunning = true;
    }
    d.writer = std::thread([&d] { d.WriteTranscript(); });
  } catch (const std::system_error& e) {
    error = std::string("cannot start the transcript's thread: ") + e.what();
    std::lock_guard lock(d.mutex);
    d.writerRunning = false;
    return false;
  }
  d.seenVersion = d.flagsVersion.load();
  if (!d.printer.Start(*ip, std::move(serving), error)) {
    d.StopWriter();
    return false;
  }
  d.started = true;
  return true;
}

void VirtualPrinter::Stop() {
  Impl& d = *impl_;
  if (!d.started) return;
  d.printer.Stop();
  d.StopWriter();
  d.started = false;
}

StatusFlags VirtualPrinter::Flags() const { return impl_->CurrentFlags(); }

void VirtualPrinter::SetFlags(const StatusFlags& flags, std::string_view why) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->flags = flags;
  }
  ++impl_->flagsVersion;
  impl_->printer.Wake();
  Note(std::string(why) + "; ESC v now answers " + HexBytes(StatusBytes(flags)) + " (" + DescribeFlags(flags) + ")");
}

void VirtualPrinter::SetDrawer(bool open, std::string_view why) {
  if (open) {
    impl_->OpenDrawer();
    return;
  }
  StatusFlags f = Flags();
  f.drawerOpen = false;
  SetFlags(f, why);
}

void VirtualPrinter::Note(std::string_view text) {
  Block note;
  note.head = TimeOfDay(WallClock::now()) + "  " + std::string(text);
  impl_->Queue(std::move(note), true);
}

std::string VirtualPrinter::StateLine() const {
  const Impl& d = *impl_;
  const StatusFlags flags = d.CurrentFlags();
  const int accepted = d.printer.AcceptedCount();
  const std::size_t open = d.printer.OpenCount();
  std::string mode;
  if (d.options.refuse) {
    mode = "refusing connections";
  } else if (d.options.discardMs > 0) {
    mode = "discarding: every connection closed unread after " + Duration(d.options.discardMs);
  } else if (d.options.silent) {
    mode = "silent: ESC v goes unanswered";
  } else if (d.options.slowMs > 0) {
    mode = "answering ESC v after " + std::to_string(d.options.slowMs) + " ms";
  } else {
    mode = "answering ESC v at once";
  }
  return "status " + HexBytes(StatusBytes(flags)) + " (" + DescribeFlags(flags) + "); " + mode + "; " +
         std::to_string(accepted) + (accepted == 1 ? " connection" : " connections") + " so far, " +
         std::to_string(open) + " open";
}

bool VirtualPrinter::WaitForConnections(std::size_t count, int timeoutMs) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->blockWritten.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return impl_->blocks >= count; });
}

}  // namespace vprinter
