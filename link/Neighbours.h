#pragma once
// What the machine itself knows of a printer's network card, without a byte
// to the printer: its MAC from the kernel's neighbour table (filled by the
// connection just made) and the maker of that card from the IEEE registry as
// Debian's ieee-data ships it. Both are read as text through one seam, so
// tests give their own.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Frames.h"

namespace printerlink {

inline constexpr char kNeighbourTablePath[] = "/proc/net/arp";
inline constexpr char kIeeeRegistryDir[] = "/usr/share/ieee-data";

// Where the tables are read from; tests point them at sample files.
struct LocalTables {
  std::string neighbourTable = kNeighbourTablePath;
  std::string registryDir = kIeeeRegistryDir;
};

// One entry of the neighbour table that has a MAC (flags "complete").
struct NeighbourEntry {
  std::string address;
  MacBytes mac{};
  std::string device;
};
// The entries of the kernel's table as /proc/net/arp writes it; lines it
// cannot read, and entries still waiting for an answer, are left out.
std::vector<NeighbourEntry> ParseNeighbourTable(std::string_view text);

// How the MAC of an address was found.
enum class MacSource {
  Neighbour,  // the neighbour table has it
  Routed,     // no entry: the printer is behind a router, and the table holds the router's
  Local,      // an address of this machine (loopback): no card between the two
  NoTable,    // the table could not be read
};
struct HardwareAddress {
  MacSource source = MacSource::NoTable;
  MacBytes mac{};      // with MacSource::Neighbour
  std::string vendor;  // the registry's organisation, or why there is none
  bool found() const { return source == MacSource::Neighbour; }
};

// "00:00:5E:00:53:32"
std::string MacText(const MacBytes& mac);
// "found", "routed", "local", "no table": the --json names.
const char* MacSourceName(MacSource source);

// The vendors of many MACs from the registry's CSV files (MA-L, MA-M, MA-S
// and IAB), read once; the longest assignment that matches wins. A locally
// administered MAC has no vendor and says so; one the registry lacks is
// "unregistered"; without the registry, "registry not installed (ieee-data)".
std::vector<std::string> VendorsOf(const std::vector<MacBytes>& macs, const std::string& registryDir);
// The same from the text of one CSV file, for tests.
std::optional<std::string> VendorInCsv(const MacBytes& mac, std::string_view csv);

inline constexpr char kLocallyAdministered[] = "locally administered (no vendor)";
inline constexpr char kUnregistered[] = "unregistered";
inline constexpr char kNoRegistry[] = "registry not installed (ieee-data)";

// The MAC and vendor of each address, one read of each table for all. Call
// after a connection to the address, which makes the kernel fill its entry.
std::vector<HardwareAddress> HardwareOf(const std::vector<std::string>& addresses, const LocalTables& tables = {});

}  // namespace printerlink
