#pragma once
// What a connection's bytes say in the printer's language: the printer's
// commands by name, text converted from GBK, and everything else as raw
// bytes. No sockets here; whoever holds the bytes (the virtual printer, the
// exchange log) feeds them in as they arrive.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printerlink {

enum class CommandKind {
  Initialise,     // ESC @
  DrawerPulse,    // ESC p m t1 t2
  Feed,           // ESC d n
  Cut,            // ESC m
  StatusRequest,  // ESC v
  SetAddress,     // GS D o1 o2 o3 o4 s
  SetMac,         // GS E m0..m5 s
  Text,           // printable GBK text, line feeds included
  Raw,            // anything else
};

struct DecodedCommand {
  CommandKind kind = CommandKind::Raw;
  std::vector<std::uint8_t> bytes;  // exactly as received
  // The connection ended inside the command: fewer bytes arrived than it takes.
  bool cutShort = false;

  friend bool operator==(const DecodedCommand&, const DecodedCommand&) = default;
};

// Splits a connection's bytes into commands. Whatever TCP did to the bytes on
// the way, the same bytes always give the same commands: feeding them in any
// pieces and then finishing gives what DecodeStream gives for them at once.
class StreamDecoder {
public:
  // Takes the next bytes of the connection and returns the commands they
  // completed. A command that more bytes could still complete or extend (an
  // ESC at the end, half a GBK character, a line of text without its line
  // feed) waits for the next bytes. Raw bytes come one at a time.
  std::vector<DecodedCommand> Feed(std::span<const std::uint8_t> bytes);

  // The connection has ended: decodes what is left, a command cut short
  // included, and returns every command of the connection in order, with
  // neighbouring raw bytes joined into one.
  std::vector<DecodedCommand> Finish();

private:
  std::vector<std::uint8_t> pending_;
  std::vector<DecodedCommand> decoded_;
};

std::vector<DecodedCommand> DecodeStream(std::span<const std::uint8_t> bytes);

// One line of the transcript for a command, e.g.
// "GS D   set address 192.168.1.100, checksum CD ok".
std::string Describe(const DecodedCommand& command);

// The commands of a connection on one line, without the transcript's columns:
// "ESC d print and feed 16 lines; ESC m cut". Empty for no bytes.
std::string DescribeLine(std::span<const std::uint8_t> bytes);

// Whether a GS D or GS E frame's last byte is the sum of the bytes it covers
// (true for every other command).
bool ChecksumMatches(const DecodedCommand& command);

// GBK bytes as UTF-8; a byte sequence GBK cannot read becomes \xHH escapes.
std::string GbkToUtf8(std::span<const std::uint8_t> bytes);

// "1B 40 0A"
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace printerlink
