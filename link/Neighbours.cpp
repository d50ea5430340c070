#include "Neighbours.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "SocketLibrary.h"

namespace printerlink {
namespace {

constexpr unsigned kNeighbourComplete = 0x02;  // ATF_COM: the MAC is known

// The registry's files, each "Registry,Assignment,Organization Name,..."
// with assignments of 6, 7 or 9 hex digits.
constexpr const char* kRegistryFiles[] = {"oui.csv", "mam.csv", "oui36.csv", "iab.csv"};

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "00:00:5e:00:53:32" as the kernel writes it.
std::optional<MacBytes> ParseColonMac(std::string_view text) {
  if (text.size() != 17) return std::nullopt;
  MacBytes mac{};
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = HexDigit(text[i * 3]);
    const int lo = HexDigit(text[i * 3 + 1]);
    if (hi < 0 || lo < 0 || (i < 5 && text[i * 3 + 2] != ':')) return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return mac;
}

// The MAC as the registry's assignments are written: twelve upper-case hex digits.
std::string MacDigits(const MacBytes& mac) {
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

// The first three fields of a CSV line; a quoted field may hold commas and
// doubled quotes.
std::vector<std::string> FirstFields(std::string_view line, std::size_t count) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (fields.size() < count && i <= line.size()) {
    std::string field;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size(); ++i) {
        if (line[i] != '"') {
          field += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    }
    const std::size_t comma = line.find(',', i);
    const std::size_t stop = comma == std::string_view::npos ? line.size() : comma;
    field += line.substr(i, stop - i);
    fields.push_back(std::move(field));
    i = stop + 1;
  }
  return fields;
}

std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  return text;
}

// Goes through one CSV file once for every MAC asked: `best` keeps each MAC's
// longest matching assignment so far, `length` its length in digits.
void Match(std::string_view csv, const std::vector<std::string>& digits, std::vector<std::string>& best,
           std::vector<std::size_t>& length) {
  std::size_t pos = 0;
  while (pos < csv.size()) {
    std::size_t end = csv.find('\n', pos);
    if (end == std::string_view::npos) end = csv.size();
    const std::string_view line = csv.substr(pos, end - pos);
    pos = end + 1;
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) continue;
    const std::size_t next = line.find(',', comma + 1);
    if (next == std::string_view::npos) continue;
    const std::string_view assignment = line.substr(comma + 1, next - comma - 1);
    if (assignment.size() < 6 || assignment.size() > 9) continue;
    for (std::size_t i = 0; i < digits.size(); ++i) {
      if (assignment.size() <= length[i] || !digits[i].starts_with(assignment)) continue;
      const auto fields = FirstFields(line, 3);
      if (fields.size() < 3) break;
      best[i] = Trimmed(fields[2]);
      length[i] = assignment.size();
    }
  }
}

bool IsLocallyAdministered(const MacBytes& mac) { return (mac[0] & 0x02) != 0; }

// One of this machine's own addresses: no network card lies between.
bool IsOwnAddress(std::uint32_t address) {
  if ((ntohl(address) >> 24) == 127) return true;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool own = false;
  for (const ifaddrs* a = list; a && !own; a = a->ifa_next) {
    if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
      own = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == address;
    }
  }
  ::freeifaddrs(list);
  return own;
}

}  // namespace

std::vector<NeighbourEntry> ParseNeighbourTable(std::string_view text) {
  std::vector<NeighbourEntry> entries;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const auto words = Words(text.substr(pos, end - pos));
    pos = end + 1;
    // IP address, HW type, Flags, HW address, Mask, Device; the heading fails the address.
    if (words.size() < 6 || !ParseDottedQuad(words[0])) continue;
    unsigned flags = 0;
    if (std::sscanf(std::string(words[2]).c_str(), "%x", &flags) != 1 || (flags & kNeighbourComplete) == 0) continue;
    const auto mac = ParseColonMac(words[3]);
    if (!mac) continue;
    entries.push_back({std::string(words[0]), *mac, std::string(words[5])});
  }
  return entries;
}

std::string MacText(const MacBytes& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

const char* MacSourceName(MacSource source) {
  switch (source) {
    case MacSource::Neighbour: return "found";
    case MacSource::Routed: return "routed";
    case MacSource::Local: return "local";
    case MacSource::NoTable: return "no table";
  }
  return "";
}

std::optional<std::string> VendorInCsv(const MacBytes& mac, std::string_view csv) {
  std::vector<std::string> best(1);
  std::vector<std::size_t> length(1, 0);
  Match(csv, {MacDigits(mac)}, best, length);
  if (length[0] == 0) return std::nullopt;
  return best[0];
}

std::vector<std::string> VendorsOf(const std::vector<MacBytes>& macs, const std::string& registryDir) {
  std::vector<std::string> digits;
  for (const MacBytes& mac : macs) digits.push_back(MacDigits(mac));
  std::vector<std::string> best(macs.size());
  std::vector<std::size_t> length(macs.size(), 0);
  bool anyFile = false;
  const bool anyGlobal =
      std::any_of(macs.begin(), macs.end(), [](const MacBytes& m) { return !IsLocallyAdministered(m); });
  for (const char* name : kRegistryFiles) {
    if (!anyGlobal) break;  // nothing to look up
    const auto csv = ReadFile(registryDir + "/" + name);
    if (!csv) continue;
    anyFile = true;
    Match(*csv, digits, best, length);
  }
  std::vector<std::string> vendors;
  for (std::size_t i = 0; i < macs.size(); ++i) {
    if (IsLocallyAdministered(macs[i])) {
      vendors.emplace_back(kLocallyAdministered);
    } else if (length[i] > 0) {
      vendors.push_back(best[i]);
    } else {
      vendors.emplace_back(anyFile ? kUnregistered : kNoRegistry);
    }
  }
  return vendors;
}

std::vector<HardwareAddress> HardwareOf(const std::vector<std::string>& addresses, const LocalTables& tables) {
  std::vector<HardwareAddress> found(addresses.size());
  const auto text = ReadFile(tables.neighbourTable);
  const std::vector<NeighbourEntry> entries = text ? ParseNeighbourTable(*text) : std::vector<NeighbourEntry>{};
  std::vector<MacBytes> macs;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const auto ip = ParseDottedQuad(addresses[i]);
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const NeighbourEntry& e) { return e.address == addresses[i]; });
    HardwareAddress& h = found[i];
    if (entry != entries.end()) {
      h.source = MacSource::Neighbour;
      h.mac = entry->mac;
      macs.push_back(h.mac);
    } else if (ip && IsOwnAddress(*ip)) {
      h.source = MacSource::Local;
    } else {
      h.source = text ? MacSource::Routed : MacSource::NoTable;
    }
  }
  const std::vector<std::string> vendors = VendorsOf(macs, tables.registryDir);
  auto vendor = vendors.begin();
  for (HardwareAddress& h : found) {
    if (h.found()) h.vendor = *vendor++;
  }
  return found;
}

}  // namespace printerlink
