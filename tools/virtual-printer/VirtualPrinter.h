#pragma once
// A stand-in for the network receipt printer: it listens on the frame port
// (9100) and the reply port (4000) of one IPv4 address, answers ESC v with
// three status bytes, and writes a transcript block for every connection it
// served, with the bytes in hex and the commands by name. For demos, training
// and tests; it keeps nothing but the transcript.

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "PrinterDecoder.h"
#include "PrinterState.h"

namespace vprinter {

// The printer's language is decoded by the link layer's decoder, shared with
// the console's exchange log.
using printerlink::CommandKind;
using printerlink::DecodedCommand;
using printerlink::StreamDecoder;
using printerlink::Describe;
using printerlink::HexBytes;

struct VirtualPrinterOptions {
  std::string address = "127.0.0.1";  // the only address bound
  StatusFlags flags;                   // what ESC v answers at the start
  bool refuse = false;                 // bind, never listen: connections are refused
  bool silent = false;                 // never answer ESC v; close only when the client does
  int slowMs = 0;                      // wait before each answer to ESC v
};

class VirtualPrinter {
public:
  // The transcript goes to `transcript`, one whole block at a time; the
  // stream must outlive the printer.
  VirtualPrinter(VirtualPrinterOptions options, std::ostream& transcript);
  // Stops first.
  ~VirtualPrinter();

  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // Binds both ports and starts serving; they are ready when it returns true.
  // On failure nothing stays bound and `error` says why.
  bool Start(std::string& error);
  // Stops serving and closes every socket. Connections still open get their
  // transcript block, marked as such. Safe to call more than once.
  void Stop();

  StatusFlags Flags() const;
  // Changes what ESC v answers from now on and notes it in the transcript
  // with `why` (for instance "cover open: on").
  void SetFlags(const StatusFlags& flags, std::string_view why);
  // A timestamped line in the transcript, between connection blocks.
  void Note(std::string_view text);
  // One line: the status bytes, the failure mode and the connections so far.
  std::string StateLine() const;

  // Waits, at most timeoutMs, until `count` connections have had their
  // transcript block written. Returns whether that happened.
  bool WaitForConnections(std::size_t count, int timeoutMs) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vprinter
