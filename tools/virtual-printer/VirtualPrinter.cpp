#include "VirtualPrinter.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "PrinterServer.h"
#include "Receipt.h"
#include "SocketLibrary.h"
#include "Transport.h"

namespace vprinter {
namespace {

using printercore::Clock;
using printercore::CloseFd;
using printercore::MsUntil;
using WallClock = std::chrono::system_clock;

// What one connection may read in one round, and what all the bulk senders
// together may read in one round: small enough that decoding it never keeps
// the other clients, and their status requests, waiting long.
constexpr std::size_t kReadChunk = 8 * 1024;
constexpr std::size_t kRoundBudget = 2 * kReadChunk;
// A client that has sent less than this (a status request, a frame, a probe)
// is read before the bulk senders in every round.
constexpr std::size_t kSmallClient = 4 * 1024;
constexpr std::size_t kHexPerLine = 16;
constexpr std::size_t kHexDumpLimit = 512;  // a connection shows its first bytes in hex only
// A connection's decoded lines go to the transcript in blocks of this many;
// a longer connection is written down in parts while it goes on.
constexpr std::size_t kBlockEntries = 256;
// A connection stops being read, as a printer with a full buffer does, while
// it holds this many lines waiting for an answer's fate, this many answers
// waiting to be sent, or this many answer bytes its client has not taken.
constexpr std::size_t kMaxHeldEntries = 2 * kBlockEntries;
constexpr std::size_t kMaxQueuedAnswers = 256;
constexpr std::size_t kMaxUnsentBytes = 3 * kMaxQueuedAnswers;
// The transcript waiting for its stream, in bytes of the lines' data; beyond
// it, new lines are dropped and counted.
constexpr std::size_t kMaxTranscriptBacklog = 4 * 1024 * 1024;
// Descriptors kept free of connections for the listeners, the wake pipe and
// whatever else the process opens.
constexpr std::size_t kSpareDescriptors = 32;

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

// What the printer answers a status query with, as it is now: ESC v, DLE EOT
// n, GS r n, or the first report after GS a. Empty when n asks for nothing.
std::vector<std::uint8_t> AnswerBytes(const DecodedCommand& query, const StatusFlags& flags) {
  switch (query.kind) {
    case CommandKind::StatusRequest: {
      const StatusReply r = StatusBytes(flags);
      return {r.begin(), r.end()};
    }
    case CommandKind::RealTimeStatus: return RealTimeStatus(flags, query.bytes[2]);
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
    case CommandKind::TransmitStatus: return true;
    case CommandKind::AutoStatusBack: return (c.bytes[2] & 0x0F) != 0;
    default: return false;
  }
}

// What became of one status query.
struct StatusAnswer {
  enum class Fate { Due, Sent, Failed, Silent, WrongPort, ClientGone, Nothing };
  Fate fate = Fate::Due;
  std::vector<std::uint8_t> bytes;  // as they went out
  Clock::time_point due{};
  StatusFlags flags;        // as they were when the answer went out
  bool afterClose = false;  // the client had closed its side before the answer went out
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

// Why a connection ended, beyond the client closing it.
enum class Ending { ClientClosed, PrinterStopped, Idle, MadeRoom };

// A piece of the transcript on its way to the stream: a note, or (part of) a
// connection's block.
struct Block {
  std::string head;
  std::vector<std::uint8_t> hex;  // the connection's first bytes, shown once
  std::size_t hexOf = 0;          // how many bytes the connection had when they were taken
  std::vector<Entry> entries;
  std::size_t dropped = 0;  // lines lost just before this block
  std::size_t weight = 0;   // what it weighs while it waits in the queue
  std::string file;         // a receipt to write, and its page
  std::string page;
  bool endsConnection = false;
};

struct Conn {
  int fd = -1;
  std::uint16_t port = 0;
  int number = 0;
  std::string peer;
  WallClock::time_point openedAt{};
  Clock::time_point opened{};
  Clock::time_point lastActive{};  // the last byte in either direction
  std::size_t received = 0;
  std::vector<std::uint8_t> head;  // the first kHexDumpLimit bytes
  bool partWritten = false;        // earlier lines went to the transcript already
  StreamDecoder decoder;
  std::deque<Entry> entries;       // decoded, not yet handed to the transcript
  std::size_t firstEntry = 0;      // the number of entries.front() in the connection
  std::deque<std::size_t> queued;  // status requests still to answer, by entry number
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> inOut;  // status requests whose answer is still (partly) in `out`
  bool peerDone = false;
  int readError = 0;
  // GS a turned automatic status back on: a report goes out on every change.
  bool autoStatus = false;
  std::array<std::uint8_t, 4> lastReport{};
  std::unique_ptr<Receipt> receipt;  // the print job so far, with --receipts
  int jobs = 0;

  Entry& At(std::size_t number) { return entries[number - firstEntry]; }
  // The lines before this one have their final text.
  std::size_t Settled() const {
    std::size_t n = firstEntry + entries.size();
    if (!queued.empty()) n = std::min(n, queued.front());
    if (!inOut.empty()) n = std::min(n, inOut.front());
    return n;
  }
  // A printer with a full buffer stops taking bytes until it has caught up.
  bool Backlogged() const {
    return entries.size() >= kMaxHeldEntries || queued.size() >= kMaxQueuedAnswers || out.size() >= kMaxUnsentBytes;
  }
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
  return text;
}

// What the transcript's weight is while it waits: its lines' data.
std::size_t Weight(const Block& block) {
  std::size_t w = block.head.size() + block.hex.size() + block.page.size();
  // Each line's bytes are a heap block of their own, with the allocator's overhead.
  for (const Entry& e : block.entries) w += sizeof(Entry) + 32 + e.command.bytes.size();
  return w;
}

// Writes a receipt's page and says so in the block's head.
void WriteReceipt(Block& block) {
  std::ofstream file(block.file, std::ios::binary | std::ios::trunc);
  file << block.page;
  file.close();
  block.head +=
      file ? "receipt written to " + block.file : "receipt NOT written to " + block.file + ": " + ErrnoText(errno);
}

}  // namespace

struct VirtualPrinter::Impl : printercore::Handler {
  VirtualPrinterOptions options;
  std::ostream& transcript;
  std::array<std::uint16_t, 2> portNumbers{printerlink::kFramePort, printerlink::kReplyPort};
  printercore::PrinterServer server{*this};
  std::atomic<unsigned> flagsVersion{0};  // counts the changes of the flags
  std::thread writer;
  bool started = false;
  std::size_t maxConnections = 0;
  // The service thread's own.
  std::vector<Conn> live;
  std::vector<std::size_t> polled;  // the connections Prepare handed to poll, by index into live
  std::vector<std::size_t> readable;
  std::size_t rotor = 0;
  unsigned seenVersion = 0;

  mutable std::mutex mutex;  // the flags, the counters and the transcript's queue
  mutable std::condition_variable blockWritten;
  std::condition_variable queueChanged;
  StatusFlags flags;
  int accepted = 0;
  std::size_t open = 0;  // connections being served now
  std::size_t blocks = 0;
  std::deque<Block> queue;
  std::size_t queueWeight = 0;
  std::size_t dropped = 0;
  bool writerDone = false;
  bool writerRunning = false;

  Impl(VirtualPrinterOptions o, std::ostream& t) : options(std::move(o)), transcript(t), flags(options.flags) {}

  void Accepted(int fd, std::size_t which, const sockaddr_in& peer) override;
  bool MakeRoom() override;
  void Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) override;
  void Serve(std::span<const pollfd> ready) override;
  void Stopped() override;
  void WriteTranscript();
  void QueueReceipt(Conn& conn);
  void End(Conn& conn, Ending ending);
  std::size_t Read(Conn& conn);
  void SendDue(Conn& conn, Clock::time_point now);
  void Flush(Conn& conn);
  void ReportChange();
  void WritePart(Conn& conn);
  std::string Head(const Conn& conn, Ending ending) const;
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
  StatusFlags CurrentFlags() const {
    std::lock_guard lock(mutex);
    return flags;
  }
};

void VirtualPrinter::Impl::Queue(Block block, bool keepHead) {
  std::unique_lock lock(mutex);
  if (!writerRunning) {
    // Before the start or after the stop nothing else writes: straight out.
    block.dropped = std::exchange(dropped, 0);
    if (!block.file.empty()) WriteReceipt(block);
    transcript << Format(block);
    transcript.flush();
    if (block.endsConnection) ++blocks;
    lock.unlock();
    blockWritten.notify_all();
    return;
  }
  block.weight = Weight(block);
  if (queueWeight + block.weight > kMaxTranscriptBacklog && !block.entries.empty()) {
    // The stream is behind: the lines go, counted; a note or the head of a
    // connection's end is small and still says what happened.
    dropped += block.entries.size();
    if (!keepHead) return;
    block.entries.clear();
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
    if (!block.file.empty()) WriteReceipt(block);
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

std::string VirtualPrinter::Impl::Head(const Conn& conn, Ending ending) const {
  std::string head;
  if (conn.partWritten) {
    head = TimeOfDay(WallClock::now()) + "  port " + std::to_string(conn.port) + "  #" + std::to_string(conn.number) +
           " end:";
  } else {
    head = TimeOfDay(conn.openedAt) + "  port " + std::to_string(conn.port) + "  #" + std::to_string(conn.number) +
           " from " + conn.peer;
  }
  std::string why;
  switch (ending) {
    case Ending::ClientClosed: break;
    case Ending::PrinterStopped: why = "still open when the printer stopped"; break;
    case Ending::Idle:
      why = "closed by the printer after " + Duration(options.idleTimeoutMs) + " without a byte";
      break;
    case Ending::MadeRoom: why = "closed by the printer to make room for a new client"; break;
  }
  if (conn.received == 0) {
    if (!why.empty()) return head + "  nothing sent, " + why;
    return head + "  probe: connected and closed without sending anything" +
           (conn.readError != 0 ? " (reset: " + ErrnoText(conn.readError) + ")" : "");
  }
  head += (conn.partWritten ? " " : "  ") + std::to_string(conn.received) + (conn.received == 1 ? " byte" : " bytes") +
          " in " + std::to_string(MsSince(conn.opened)) + " ms";
  if (!why.empty()) head += ", " + why;
  if (conn.readError != 0) head += ", ended by " + ErrnoText(conn.readError);
  return head;
}

// Hands the lines whose text is final to the transcript while the connection
// goes on, so that it holds only a block's worth.
void VirtualPrinter::Impl::WritePart(Conn& conn) {
  const std::size_t n = conn.Settled() - conn.firstEntry;
  if (n == 0) return;
  Block block;
  const std::string number = "  port " + std::to_string(conn.port) + "  #" + std::to_string(conn.number);
  if (!conn.partWritten) {
    block.head = TimeOfDay(conn.openedAt) + number + " from " + conn.peer + "  receiving, " +
                 std::to_string(conn.received) + " bytes so far";
    block.hex = conn.head;
    block.hexOf = conn.head.size();
  } else {
    block.head = TimeOfDay(WallClock::now()) + number + " continued";
  }
  block.entries.assign(std::make_move_iterator(conn.entries.begin()),
                       std::make_move_iterator(conn.entries.begin() + static_cast<std::ptrdiff_t>(n)));
  conn.entries.erase(conn.entries.begin(), conn.entries.begin() + static_cast<std::ptrdiff_t>(n));
  conn.firstEntry += n;
  conn.partWritten = true;
  Queue(std::move(block), false);
}

// Closes the connection and writes down the rest of it; nothing of it stays.
void VirtualPrinter::Impl::End(Conn& conn, Ending ending) {
  CloseFd(conn.fd);
  {
    std::lock_guard lock(mutex);
    --open;
  }
  // The decoder has seen every byte; finishing it decodes what the end of
  // the connection left incomplete.
  for (DecodedCommand& c : conn.decoder.Finish()) {
    if (conn.receipt && conn.receipt->Add(c)) QueueReceipt(conn);
    conn.entries.push_back({std::move(c), false, {}});
  }
  if (conn.receipt && !conn.receipt->Empty()) QueueReceipt(conn);
  Block block;
  block.head = Head(conn, ending);
  if (!conn.partWritten) {
    block.hex = std::move(conn.head);
    block.hexOf = conn.received;
  }
  block.entries.assign(std::make_move_iterator(conn.entries.begin()), std::make_move_iterator(conn.entries.end()));
  block.endsConnection = true;
  conn.entries.clear();
  conn.queued.clear();
  conn.out.clear();
  conn.inOut.clear();
  Queue(std::move(block), true);
}

// A print job has ended: its receipt goes to the transcript's thread, which
// writes the file and names it.
void VirtualPrinter::Impl::QueueReceipt(Conn& conn) {
  char name[64];
  std::snprintf(name, sizeof name, "/receipt-%04d-%d.html", conn.number, ++conn.jobs);
  Block block;
  block.head = TimeOfDay(WallClock::now()) + "  port " + std::to_string(conn.port) + "  #" +
               std::to_string(conn.number) + " job " + std::to_string(conn.jobs) + ": ";
  block.file = options.receiptsDir + name;
  block.page = conn.receipt->Html(options.paperMm);
  conn.receipt = std::make_unique<Receipt>();
  Queue(std::move(block), true);
}

bool VirtualPrinter::Impl::MakeRoom() {
  if (live.empty()) return false;
  const auto oldest = std::min_element(live.begin(), live.end(),
                                       [](const Conn& a, const Conn& b) { return a.lastActive < b.lastActive; });
  End(*oldest, Ending::MadeRoom);
  live.erase(oldest);
  return true;
}

void VirtualPrinter::Impl::Accepted(int fd, std::size_t which, const sockaddr_in& peer) {
  if (live.size() >= maxConnections) MakeRoom();
  Conn conn;
  conn.fd = fd;
  conn.port = portNumbers[which];
  {
    std::lock_guard lock(mutex);
    conn.number = ++accepted;
    ++open;
  }
  char text[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  conn.peer = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
  conn.openedAt = WallClock::now();
  conn.opened = Clock::now();
  conn.lastActive = conn.opened;
  if (!options.receiptsDir.empty()) conn.receipt = std::make_unique<Receipt>();
  // A status request usually comes with the connection: answered at once.
  Read(conn);
  SendDue(conn, Clock::now());
  live.push_back(std::move(conn));
}

// Reads what the connection has, up to a chunk, and returns how much.
std::size_t VirtualPrinter::Impl::Read(Conn& conn) {
  static thread_local std::vector<std::uint8_t> buffer(kReadChunk);
  const ssize_t n = ::recv(conn.fd, buffer.data(), buffer.size(), 0);
  if (n == 0) {
    conn.peerDone = true;
    return 0;
  }
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    conn.readError = errno;
    conn.peerDone = true;
    for (std::size_t i : conn.queued) conn.At(i).answer.fate = StatusAnswer::Fate::ClientGone;
    conn.queued.clear();  // nobody left to answer
    return 0;
  }
  const auto got = std::span(buffer).first(static_cast<std::size_t>(n));
  const auto now = Clock::now();
  conn.lastActive = now;
  conn.received += got.size();
  if (conn.head.size() < kHexDumpLimit) {
    const std::size_t take = std::min(kHexDumpLimit - conn.head.size(), got.size());
    conn.head.insert(conn.head.end(), got.begin(), got.begin() + static_cast<std::ptrdiff_t>(take));
  }
  for (DecodedCommand& c : conn.decoder.Feed(got)) {
    if (conn.receipt && conn.receipt->Add(c)) QueueReceipt(conn);
    Entry e{std::move(c), false, {}};
    if (e.command.kind == CommandKind::AutoStatusBack && !e.command.cutShort) {
      conn.autoStatus = (e.command.bytes[2] & 0x0F) != 0;
      conn.lastReport = AutomaticStatus(CurrentFlags());
    }
    if (Asks(e.command)) {
      e.asked = true;
      StatusAnswer& a = e.answer;
      // ESC v is answered on the reply port only, as the printer does; what
      // point-of-sale software asks is answered on either.
      if (e.command.kind == CommandKind::StatusRequest && conn.port != printerlink::kReplyPort) {
        a.fate = StatusAnswer::Fate::WrongPort;
      } else if (options.silent) {
        a.fate = StatusAnswer::Fate::Silent;
      } else {
        a.delayMs = options.slowMs;
        a.due = now + std::chrono::milliseconds(options.slowMs);
        conn.queued.push_back(conn.firstEntry + conn.entries.size());
      }
    }
    conn.entries.push_back(std::move(e));
  }
  if (conn.entries.size() >= kBlockEntries) WritePart(conn);
  return got.size();
}

void VirtualPrinter::Impl::Flush(Conn& conn) {
  while (!conn.out.empty()) {
    const ssize_t n = ::send(conn.fd, conn.out.data(), conn.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      conn.lastActive = Clock::now();
      conn.out.erase(conn.out.begin(), conn.out.begin() + n);
      if (conn.out.empty()) conn.inOut.clear();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    const int e = n < 0 ? errno : EPIPE;
    conn.out.clear();
    for (std::size_t i : conn.inOut) {
      conn.At(i).answer.fate = StatusAnswer::Fate::Failed;
      conn.At(i).answer.error = e;
    }
    conn.inOut.clear();
    return;
  }
}

void VirtualPrinter::Impl::SendDue(Conn& conn, Clock::time_point now) {
  // Answers go out in the order they were asked for; with the same delay for
  // each, the first is also the first due.
  while (!conn.queued.empty() && conn.At(conn.queued.front()).answer.due <= now) {
    const std::size_t index = conn.queued.front();
    conn.queued.pop_front();
    StatusAnswer& a = conn.At(index).answer;
    conn.inOut.push_back(index);
    // The printer tells how it is when it answers, not when it was asked.
    a.flags = CurrentFlags();
    a.bytes = AnswerBytes(conn.At(index).command, a.flags);
    if (a.bytes.empty()) {
      a.fate = StatusAnswer::Fate::Nothing;
      conn.inOut.pop_back();
      continue;
    }
    a.fate = StatusAnswer::Fate::Sent;
    a.afterClose = conn.peerDone;
    conn.out.insert(conn.out.end(), a.bytes.begin(), a.bytes.end());
  }
  Flush(conn);
}

// Automatic status back: each connection that asked for it hears of a change
// of state as it happens.
void VirtualPrinter::Impl::ReportChange() {
  if (options.silent) return;
  const StatusFlags now = CurrentFlags();
  const auto report = AutomaticStatus(now);
  for (Conn& conn : live) {
    if (!conn.autoStatus || conn.peerDone || report == conn.lastReport) continue;
    conn.lastReport = report;
    conn.out.insert(conn.out.end(), report.begin(), report.end());
    Block note;
    note.head = TimeOfDay(WallClock::now()) + "  port " + std::to_string(conn.port) + "  #" +
                std::to_string(conn.number) + " automatic status back: " + HexBytes(report) + " (" +
                DescribeFlags(now) + ")";
    Queue(std::move(note), true);
    Flush(conn);
  }
}

void VirtualPrinter::Impl::Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) {
  const auto idle = std::chrono::milliseconds(options.idleTimeoutMs);
  polled.clear();
  for (std::size_t i = 0; i < live.size(); ++i) {
    Conn& conn = live[i];
    short events = 0;
    if (!conn.peerDone && !conn.Backlogged()) events |= POLLIN;
    if (!conn.out.empty()) events |= POLLOUT;
    if (!conn.queued.empty()) timeoutMs = std::min(timeoutMs, MsUntil(conn.At(conn.queued.front()).answer.due, now));
    if (options.idleTimeoutMs > 0) timeoutMs = std::min(timeoutMs, MsUntil(conn.lastActive + idle, now));
    if (events == 0) continue;
    fds.push_back({conn.fd, events, 0});
    polled.push_back(i);
  }
}

void VirtualPrinter::Impl::Serve(std::span<const pollfd> ready) {
  readable.clear();
  for (std::size_t k = 0; k < ready.size(); ++k) {
    const short revents = ready[k].revents;
    if (revents == 0) continue;
    Conn& conn = live[polled[k]];
    if ((revents & POLLOUT) != 0) Flush(conn);
    if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0 && !conn.peerDone && !conn.Backlogged()) {
      readable.push_back(polled[k]);
    }
  }
  // Clients that have sent little go first; then the bulk senders, taking
  // turns at who starts, until the round's budget is spent. A flood waits
  // for the next round, a status request does not.
  const auto bulk = std::stable_partition(readable.begin(), readable.end(),
                                          [&](std::size_t i) { return live[i].received < kSmallClient; });
  if (bulk != readable.end()) {
    std::rotate(bulk, bulk + static_cast<std::ptrdiff_t>(rotor++ % static_cast<std::size_t>(readable.end() - bulk)),
                readable.end());
  }
  std::size_t spent = 0;
  for (auto it = readable.begin(); it != readable.end(); ++it) {
    if (it < bulk) {
      spent += Read(live[*it]);
      continue;
    }
    // A bulk sender with more waiting goes on while the budget lasts, so
    // one flood does not cost a round, and its poll, per chunk.
    for (Conn& conn = live[*it]; spent < kRoundBudget && !conn.peerDone && !conn.Backlogged();) {
      const std::size_t n = Read(conn);
      spent += n;
      if (n < kReadChunk) break;
    }
    if (spent >= kRoundBudget) break;
  }

  if (const unsigned version = flagsVersion.load(); version != seenVersion) {
    seenVersion = version;
    ReportChange();
  }
  const auto idle = std::chrono::milliseconds(options.idleTimeoutMs);
  const auto after = Clock::now();
  for (Conn& conn : live) {
    SendDue(conn, after);
    if (conn.entries.size() >= kBlockEntries) WritePart(conn);  // answers settled: their lines can go
    // A connection ends when the client has closed it and nothing is left
    // to send; a silent printer never ends one of its own accord, but an
    // idle connection ends whatever the printer is doing.
    if (conn.peerDone && conn.queued.empty() && conn.out.empty()) {
      End(conn, Ending::ClientClosed);
    } else if (options.idleTimeoutMs > 0 && after - conn.lastActive >= idle) {
      End(conn, Ending::Idle);
    }
  }
  live.erase(std::remove_if(live.begin(), live.end(), [](const Conn& c) { return c.fd < 0; }), live.end());
}

void VirtualPrinter::Impl::Stopped() {
  for (Conn& conn : live) End(conn, Ending::PrinterStopped);
  live.clear();
}

VirtualPrinter::VirtualPrinter(VirtualPrinterOptions options, std::ostream& transcript)
    : impl_(std::make_unique<Impl>(std::move(options), transcript)) {}

VirtualPrinter::~VirtualPrinter() { Stop(); }

bool VirtualPrinter::Start(std::string& error) {
  Impl& d = *impl_;
  if (d.started) return true;
  d.options.slowMs = std::max(0, d.options.slowMs);
  const auto ip = printerlink::ParseDottedQuad(d.options.address);
  if (!ip) {
    error = "'" + d.options.address + "' is not an IPv4 address (dotted quad, e.g. 127.0.0.1)";
    return false;
  }
  if (*ip == 0) {
    error = "0.0.0.0 would listen on every address of this machine; give one of its addresses";
    return false;
  }
  d.maxConnections = d.options.maxConnections;
  if (d.maxConnections == 0) {
    rlimit files{};
    const rlim_t limit = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
    const rlim_t room = limit == RLIM_INFINITY ? rlim_t{1} << 20 : limit;
    d.maxConnections = room > 2 * kSpareDescriptors ? room - kSpareDescriptors : std::max<rlim_t>(room / 2, 1);
  }
  std::vector<printercore::Port> ports;
  for (std::uint16_t number : d.portNumbers) {
    printercore::Port port;
    port.number = number;
    if (d.options.refuse) port.reach = printercore::Reach::Refuse;
    ports.push_back(port);
  }
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
  if (!d.server.Start(*ip, ports, error)) {
    d.StopWriter();
    return false;
  }
  d.started = true;
  return true;
}

void VirtualPrinter::Stop() {
  Impl& d = *impl_;
  if (!d.started) return;
  d.server.Stop();
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
  impl_->server.Wake();
  Note(std::string(why) + "; ESC v now answers " + HexBytes(StatusBytes(flags)) + " (" + DescribeFlags(flags) + ")");
}

void VirtualPrinter::Note(std::string_view text) {
  Block note;
  note.head = TimeOfDay(WallClock::now()) + "  " + std::string(text);
  impl_->Queue(std::move(note), true);
}

std::string VirtualPrinter::StateLine() const {
  const Impl& d = *impl_;
  StatusFlags flags;
  int accepted = 0;
  std::size_t open = 0;
  {
    std::lock_guard lock(d.mutex);
    flags = d.flags;
    accepted = d.accepted;
    open = d.open;
  }
  std::string mode;
  if (d.options.refuse) {
    mode = "refusing connections";
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
