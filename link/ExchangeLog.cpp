#include "ExchangeLog.h"

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "PrinterDecoder.h"

namespace printerlink {

std::string RecordToJson(const ExchangeRecord& r) {
  // The fields in the order the format names them, for readers who grep.
  nlohmann::ordered_json j;
  j["time"] = IsoTime(r.startMs);
  j["kind"] = KindName(r.kind);
  j["address"] = r.address;
  j["port"] = r.port;
  j["sent"] = HexBytes(r.sent);
  j["received"] = HexBytes(r.received);
  j["outcome"] = OutcomeName(r.outcome);
  const std::string error = ErrorName(r.sysError);
  j["error"] = error.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(error);
  j["ms"] = r.durationMs;
  j["summary"] = RecordSummary(r);
  if (r.kind == ExchangeKind::Sweep) {
    j["found"] = r.found;
    if (!r.foundMac.empty()) {
      nlohmann::ordered_json hardware = nlohmann::ordered_json::array();
      for (std::size_t i = 0; i < r.found.size() && i < r.foundMac.size(); ++i) {
        hardware.push_back({{"address", r.found[i]}, {"mac", r.foundMac[i]}, {"vendor", r.foundVendor[i]}});
      }
      j["hardware"] = std::move(hardware);
    }
  }
  // Only frames and text jobs wait for the printer's side to end.
  if (r.kind == ExchangeKind::Frame || r.kind == ExchangeKind::Text) j["peer_open"] = r.peerOpen;
  // A summary of text the printer could not read keeps it as \xHH, so the
  // line is UTF-8 in any case; replace anything else rather than fail.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::unique_ptr<JsonLineLog> JsonLineLog::Open(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "ae");
  if (!file) {
    error = "cannot open " + path + " for appending: " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<JsonLineLog>(new JsonLineLog(file));
}

JsonLineLog::~JsonLineLog() { std::fclose(file_); }

void JsonLineLog::OnExchange(const ExchangeRecord& record) {
  std::string line = RecordToJson(record);
  line.push_back('\n');
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace printerlink
