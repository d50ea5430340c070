#pragma once
// A stand-in for the network receipt printer: it listens on the frame port
// (9100) and the reply port (4000) of one IPv4 address, answers ESC v with
// three status bytes, and writes a transcript of every connection it served,
// with the first bytes in hex and the commands by name. For demos, training
// and tests. It holds up like a printer: its memory stays bounded whatever
// clients send, a slow transcript never holds up a client, and idle
// connections are closed.

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "PrinterState.h"

namespace vprinter {

struct VirtualPrinterOptions {
  std::string address = "127.0.0.1";  // the only address bound
  StatusFlags flags;                  // what ESC v answers at the start
  PrinterIdentity identity;           // what GS I answers
  bool refuse = false;                // bind, never listen: connections are refused
  bool silent = false;                // never answer ESC v; close only when the client does
  int slowMs = 0;                     // wait before each answer to ESC v
  // > 0: accept, never read, and close each connection this long after
  // accepting it: the client's bytes are acknowledged, then thrown away with
  // a reset, as by a printer busy with another client.
  int discardMs = 0;
  // A connection that brings no byte for this long is closed; 0 never.
  int idleTimeoutMs = 60000;
  // The most connections served at once; a new client then takes the place of
  // the one idle the longest. 0: as many as the open-files limit leaves room for.
  std::size_t maxConnections = 0;
  // When set, each print job (a connection's output up to a cut or its end)
  // is also written to this folder as an HTML receipt on paper this wide.
  std::string receiptsDir;
  int paperMm = 80;
};

class VirtualPrinter {
public:
  // The transcript goes to `transcript` from a thread of its own, a block of
  // lines at a time; the stream must outlive the printer. A stream that cannot
  // keep up loses lines, counted in the transcript, instead of slowing the
  // printer down.
  VirtualPrinter(VirtualPrinterOptions options, std::ostream& transcript);
  // Stops first.
  ~VirtualPrinter();

  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // Binds both ports and starts serving; they are ready when it returns true.
  // On failure nothing stays bound and `error` says why.
  bool Start(std::string& error);
  // Stops serving and closes every socket. Connections still open get their
  // transcript block, marked as such, and the transcript is written out
  // before it returns. Safe to call more than once.
  void Stop();

  StatusFlags Flags() const;
  // Changes what ESC v answers from now on and notes it in the transcript
  // with `why` (for instance "cover open: on").
  void SetFlags(const StatusFlags& flags, std::string_view why);
  // Opens the drawer (a pulse) or closes it (the key d) and notes it in the
  // transcript, with `why` when closing.
  void SetDrawer(bool open, std::string_view why = {});
  // A timestamped line in the transcript, between connection blocks.
  void Note(std::string_view text);
  // One line: the status bytes, the failure mode, the connections so far and
  // those open now.
  std::string StateLine() const;

  // Waits, at most timeoutMs, until `count` connections have ended and had
  // their transcript block written. Returns whether that happened.
  bool WaitForConnections(std::size_t count, int timeoutMs) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vprinter
