#include "ExchangeRecord.h"

#include <string.h>  // strerrorname_np

#include <array>
#include <bit>
#include <cstdio>
#include <ctime>

#include "PrinterDecoder.h"
#include "Strings.h"
#include "Transport.h"

namespace printerlink {

using res::Plural;

const char* KindName(ExchangeKind kind) {
  switch (kind) {
    case ExchangeKind::Probe: return "probe";
    case ExchangeKind::Frame: return "frame";
    case ExchangeKind::Text: return "text";
    case ExchangeKind::Status: return "status";
    case ExchangeKind::Sweep: return "sweep";
  }
  return "frame";
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok: return "ok";
    case Outcome::Refused: return "refused";
    case Outcome::Timeout: return "timeout";
    case Outcome::Unreachable: return "unreachable";
    case Outcome::Closed: return "closed";
    case Outcome::Incomplete: return "incomplete";
    case Outcome::NoReply: return "no-reply";
    case Outcome::Library: return "library";
    case Outcome::BadAddress: return "bad-address";
  }
  return "ok";
}

std::string ErrorName(int sysError) {
  if (sysError == 0) return {};
  const char* name = strerrorname_np(sysError);
  return name ? name : std::string();
}

std::string RecordSummary(const ExchangeRecord& r) {
  if (!r.note.empty()) return r.note;
  // An address that is none to connect to (0.x, say) is never tried.
  const bool badAddress = r.outcome == Outcome::BadAddress;
  switch (r.kind) {
    case ExchangeKind::Probe:
      if (r.outcome == Outcome::Ok) return "connection opened and closed, nothing sent";
      if (badAddress || r.outcome == Outcome::Library) return "no connection tried, nothing sent";
      return "connection tried, nothing sent";
    case ExchangeKind::Sweep: {
      const std::string head = "sweep of " + r.address + " on port " + std::to_string(r.port) + ": ";
      if (badAddress && r.answering + r.refusing + r.silent == 0) return head + "no connection tried";
      return head + std::to_string(r.answering) + " answering, " + std::to_string(r.refusing) + " refusing, " +
             std::to_string(r.silent) + " silent within " + std::to_string(r.waitMs) + " ms" +
             (badAddress ? ", the addresses that are none not tried" : "");
    }
    case ExchangeKind::Text:
      if (r.sent.empty()) return "empty text job";
      break;
    case ExchangeKind::Frame:
    case ExchangeKind::Status: break;
  }
  return DescribeLine(r.sent);
}

std::string IsoTime(std::int64_t epochMs) {
  std::int64_t seconds = epochMs / 1000;
  std::int64_t ms = epochMs % 1000;
  if (ms < 0) {
    ms += 1000;
    --seconds;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
  const long magnitude = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", stamp, static_cast<int>(ms), offset < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

std::string LocalTimeNow(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &local));
}

std::string RangeOf(const std::vector<std::string>& addresses) {
  // The addresses' common text before their last dot, when every one is an address.
  std::string prefix;
  for (const std::string& a : addresses) {
    const std::string own = a.substr(0, a.rfind('.'));
    if (!ParseDottedQuad(a) || (!prefix.empty() && own != prefix)) {
      prefix.clear();
      break;
    }
    prefix = own;
  }
  if (prefix.empty()) return Plural(addresses.size(), "address", "addresses");
  // Written as the /24's own number, whatever leading zeros the addresses had;
  // in network byte order the first octet comes first.
  return DottedQuad(std::bit_cast<std::array<std::uint8_t, 4>>(*ParseDottedQuad(prefix + ".0"))) + "/24";
}

}  // namespace printerlink
