#pragma once
// What one call of the transport did, kept as data: when it started, what it
// sent where, what came back, how it ended and why, and how long it took.
// Whoever keeps or shows the exchanges (a list in memory, a file of JSON
// lines, a report) reads the same record; each formats it its own way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace printerlink {

enum class ExchangeKind {
  Probe,   // a connection opened and closed, nothing sent: the reachability check, alone or before a status query
  Frame,   // a command frame the printer does not answer (port 9100)
  Text,    // a text job (port 4000)
  Status,  // a frame the printer answers: the status query (port 4000), GS I and DLE EOT (port 9100)
  Sweep,   // many addresses probed at once; one record for them all
};

// How a call ended, as this end of the connection saw it.
enum class Outcome {
  Ok,           // done; for a status query, a reply of at least one byte arrived
  Refused,      // the printer's address answered, nothing listens on the port
  Timeout,      // no answer to the connection attempt within its wait
  Unreachable,  // the connection attempt failed otherwise (no route, host down)
  Closed,       // the printer closed or reset the connection before it took every byte or answered
  Incomplete,   // connected, but the printer did not take every byte in time
  NoReply,      // connected and sent, but no answer within the reply schedule
  Library,      // the socket library would not start, granted another version, or gave no socket
  BadAddress,   // the address text is no dotted-quad address, or one of 0.0.0.0/8
};

// The finer cause behind Outcome::Library.
enum class LibraryFault { None, NotStarted, WrongVersion, NoSocket };

struct ExchangeRecord {
  std::int64_t startMs = 0;  // wall clock, milliseconds since 1970-01-01 UTC
  ExchangeKind kind = ExchangeKind::Frame;
  std::string address;  // the printer; for a sweep the range, e.g. "192.168.1.0/24"
  std::uint16_t port = 0;
  std::vector<std::uint8_t> sent;      // every byte the call had to send
  std::size_t taken = 0;               // of those, the bytes the printer's TCP acknowledged
  std::vector<std::uint8_t> received;  // the reply bytes
  Outcome outcome = Outcome::Ok;
  LibraryFault libraryFault = LibraryFault::None;
  int sysError = 0;  // errno of the cause, 0 where there is none
  // A frame or text job delivered while the printer still had its side of
  // the connection open at the end of the send bound: it neither closed in
  // order after the last byte nor threw the bytes away with a reset by then.
  bool peerOpen = false;
  std::int64_t durationMs = 0;
  int waitMs = 0;  // the bound on the connection attempt; a sweep's one wait for every address

  // A sweep only.
  int answering = 0;               // connections accepted
  int refusing = 0;                // connections refused
  int silent = 0;                  // no answer within the wait, or the attempt failed otherwise
  std::vector<std::string> found;  // the addresses that answered, in the order probed
  // Per found address, from this machine's neighbour table: the MAC, or why
  // there is none ("routed", "local"); and the vendor of the MAC's card.
  std::vector<std::string> foundMac;
  std::vector<std::string> foundVendor;

  // A record the program notes itself rather than a call of the transport:
  // a condition of the printer that changed between two status queries
  // ("cover opened"), in English, and in the language the record is shown in
  // (empty: the same).
  std::string note;
  std::string noteShown;

  bool failed() const { return outcome != Outcome::Ok; }
};

// Receives every record of the calls it was given to. The transport calls it
// on the thread that made the call, once the call has closed its socket; a
// receiver shared by several threads takes care of its own locking.
class ExchangeObserver {
public:
  virtual ~ExchangeObserver() = default;
  virtual void OnExchange(const ExchangeRecord& record) = 0;
};

// Passes each record on to several receivers (a list in memory and a file,
// say), in the order they were added. Receivers are not owned.
class ExchangeFanOut final : public ExchangeObserver {
public:
  void Add(ExchangeObserver* observer) {
    if (observer) observers_.push_back(observer);
  }
  void OnExchange(const ExchangeRecord& record) override {
    for (ExchangeObserver* o : observers_) o->OnExchange(record);
  }

private:
  std::vector<ExchangeObserver*> observers_;
};

// Keeps the records of calls made on a worker thread until the thread that
// waited for them hands them on, once the worker has ended: receivers then
// get every record on the caller's own thread, in order, and need no locks.
class ExchangeBuffer final : public ExchangeObserver {
public:
  // Itself when there is a receiver to hand on to, else nothing: no records
  // are made for nobody.
  ExchangeObserver* For(const ExchangeObserver* receiver) { return receiver ? this : nullptr; }
  void OnExchange(const ExchangeRecord& record) override { records_.push_back(record); }
  void HandTo(ExchangeObserver* receiver) {
    if (receiver) {
      for (const ExchangeRecord& r : records_) receiver->OnExchange(r);
    }
    records_.clear();
  }

private:
  std::vector<ExchangeRecord> records_;
};

// Lower-case names as the exchange file spells them: "probe", "frame", ...;
// "ok", "refused", "timeout", ...
const char* KindName(ExchangeKind kind);
const char* OutcomeName(Outcome outcome);

// The errno's symbolic name ("ECONNREFUSED"); empty for 0 or a number that
// is no errno.
std::string ErrorName(int sysError);

// The sent bytes in the printer's language on one line, in English:
// "ESC p drawer pulse: pin 2, on 16 ms, off 16 ms". A probe and a sweep say
// what they did instead; a noted record gives its note.
std::string RecordSummary(const ExchangeRecord& record);

// 2026-03-14T09:26:53.589+08:00: local time with milliseconds and its offset.
std::string IsoTime(std::int64_t epochMs);

// The local time now as strftime writes `format`: "%H:%M:%S" gives "09:26:53".
// Empty when the text would be longer than 63 bytes.
std::string LocalTimeNow(const char* format);

// "192.168.1.0/24" when every address lies in one /24, else "N addresses".
std::string RangeOf(const std::vector<std::string>& addresses);

}  // namespace printerlink
