#pragma once
// Every exchange with a printer: a connection probe, a command frame with an
// optional reply, and a text job. Each call starts the socket library, opens
// its own TCP connection, does its one job, closes and releases before it
// returns. Nothing here waits without a bound.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ExchangeRecord.h"
#include "Frames.h"
#include "SocketLibrary.h"

namespace printerlink {

inline constexpr SocketVersion kSocketVersion{1, 1};

// The printer both front ends talk to until they are told another.
inline constexpr char kDefaultPrinterAddress[] = "192.168.1.10";

inline constexpr std::uint16_t kFramePort = 9100;    // frames the printer does not answer
inline constexpr std::uint16_t kReplyPort = 4000;    // frames it answers, and every reachability probe
inline constexpr std::uint16_t kTextJobPort = 4000;  // text to print

// Also the bound, from the last send, on the wait for the printer to
// acknowledge the bytes and to answer the end of the connection.
inline constexpr int kSendTimeoutMs = 1000;
inline constexpr int kFailedSendBudget = 10;  // failed sends allowed before giving up
inline constexpr int kReplyPollMs = 100;      // wait before each receive of a reply
inline constexpr int kReplyRetries = 10;      // further receives after one that found nothing
// The longest wait for a reply: the first receive and every retry, each after its pause.
constexpr int ReplyBoundMs(int replyPollMs = kReplyPollMs) { return replyPollMs * (kReplyRetries + 1); }
inline constexpr std::size_t kReplyReadSize = kFrameSize;
inline constexpr int kConnectTimeoutMs = 3000;  // a printer that has not accepted by then is unreachable
inline constexpr int kProbeWaitMs = 300;        // enough for Wi-Fi and routed networks

// How a reply is waited for; either way the wait ends within the same bound,
// ReplyBoundMs of replyPollMs.
enum class ReplyWait {
  Polled,       // the console's schedule: pause replyPollMs, take what has arrived, try again
  AsItArrives,  // taken the moment the status answer's three bytes are in: the time measured is the printer's
};

// The bounds of one call. Tests shorten them; the system uses the defaults.
struct LinkTimings {
  int connectTimeoutMs = kConnectTimeoutMs;
  int sendTimeoutMs = kSendTimeoutMs;
  int replyPollMs = kReplyPollMs;
  ReplyWait replyWait = ReplyWait::Polled;
  // When set, every wait of the call (the connection, the acknowledgement,
  // the reply or answer, the printer's end) also ends by then: for calls
  // that share one budget.
  std::optional<std::chrono::steady_clock::time_point> endBy{};
};

enum class LinkError {
  None,
  LibraryNotStarted,  // the socket library refused to start
  WrongVersion,       // it started but granted a version other than 1.1
  NoSocket,           // no socket could be created
  BadAddress,         // the address text is no dotted-quad address, or one of 0.0.0.0/8
  ConnectFailed,      // refused, unreachable, or another connect error (see sysError)
  ConnectTimedOut,    // no answer to the connection attempt within its wait
  SendIncomplete,     // connected, but the printer did not take every byte in time
  PeerClosed,         // the printer closed or reset the connection before it took every byte,
                      // or reset it with the bytes unread
};

// How the wait for a reply ended.
enum class ReplyEnd {
  NotAsked,  // no reply expected
  Arrived,   // a receive brought bytes
  Closed,    // the printer closed or reset the connection without a word
  Silent,    // nothing arrived within the reply schedule
};

struct LinkResult {
  LinkError error = LinkError::None;
  int sysError = 0;          // errno-style cause where there is one
  std::size_t sent = 0;      // bytes the printer's TCP acknowledged
  std::size_t received = 0;  // reply bytes placed in the ReplyBuffer
  ReplyEnd reply = ReplyEnd::NotAsked;
  bool peerOpen = false;  // frames and text jobs: delivered, but the printer had not closed its side by the bound
  bool ok() const { return error == LinkError::None; }
};

// The outcome a record gives a call of `kind` that ended with `result`.
Outcome OutcomeOf(ExchangeKind kind, const LinkResult& result);

inline std::uint16_t FramePortFor(bool expectReply) { return expectReply ? kReplyPort : kFramePort; }

// Can a TCP connection to address:port be opened within `waitMs`? Sends nothing:
// the printer sees a connection opened and closed at once. A refused connection
// answers at once.
//
// Every call below gives `observer`, when there is one, one record of what it
// did. Without one nothing is recorded and nothing is spent on it.
LinkResult ProbePrinter(SocketLibrary& library, std::string_view address, std::uint16_t port, int waitMs = kProbeWaitMs,
                        ExchangeObserver* observer = nullptr);

// Probes many addresses on one port at the same time, all within one wait of
// `waitMs`. Results come in the order of `addresses`; each socket is closed as
// soon as its attempt is decided. One record for the whole call.
std::vector<LinkResult> ProbePrinters(SocketLibrary& library, std::span<const std::string> addresses,
                                      std::uint16_t port, int waitMs, ExchangeObserver* observer = nullptr);

// Sends `frame` to port 9100, or to port 4000 when the printer answers; then
// the answer, up to ten bytes of one receive, goes into `reply` from index 0
// (bytes that do not arrive keep what `reply` held). ok() only when the
// connection was made and the printer's TCP acknowledged every byte of the
// frame within the send bound: bytes the local kernel took but the printer
// never did are no success. Without a reply to prove it, the frame is
// delivered only when the printer, told that nothing more comes, then closed
// its side in order, or had still not closed it by the end of the send bound
// (peerOpen): a printer that resets the connection has thrown the bytes away
// unread.
LinkResult ExchangeFrame(SocketLibrary& library, std::string_view address, std::span<const std::uint8_t> frame,
                         bool expectReply, ReplyBuffer& reply, const LinkTimings& timings = {},
                         ExchangeObserver* observer = nullptr);

// Where a printer's answer ends: how many of the bytes received so far make
// the whole answer, or 0 while more must come.
using AnswerEnd = std::size_t (*)(std::span<const std::uint8_t> received);
inline constexpr std::size_t kMaxAnswerBytes = 512;  // more is no answer of any question asked here

// Sends `question` to address:port and reads the answer on the same
// connection until `end` finds it whole, the printer closes, or `answerWaitMs`
// has passed since the printer took the question. For what printers answer
// on the frame port as well (GS I, DLE EOT). `answer` gets the whole answer,
// or what arrived of it. ok() as for ExchangeFrame; reply is Arrived only for
// a whole answer, Silent when none came in time (part of one included),
// Closed when the printer hung up first. Its record is a status query's.
LinkResult AskPrinter(SocketLibrary& library, std::string_view address, std::uint16_t port,
                      std::span<const std::uint8_t> question, AnswerEnd end, int answerWaitMs,
                      std::vector<std::uint8_t>& answer, const LinkTimings& timings = {},
                      ExchangeObserver* observer = nullptr);

// Sends the text's bytes as they are (no terminator, no conversion) to port
// 4000; ok() as for ExchangeFrame.
LinkResult SendTextJob(SocketLibrary& library, std::string_view address, std::string_view text,
                       const LinkTimings& timings = {}, ExchangeObserver* observer = nullptr);

}  // namespace printerlink
