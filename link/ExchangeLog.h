#pragma once
// The exchange file: one JSON object per record, one record per line, UTF-8,
// appended and flushed as each exchange ends, so a file read while the
// program runs (or after it crashed) holds every exchange so far.
//
// {"time":"2026-03-14T09:26:53.589+08:00","kind":"frame","address":"192.168.1.10",
//  "port":9100,"sent":"1B 70 00 08 08","received":"","outcome":"ok","error":null,
//  "ms":2,"summary":"ESC p drawer pulse: pin 2, on 16 ms, off 16 ms"}
//
// A sweep adds "found": the addresses that answered.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "ExchangeRecord.h"

namespace printerlink {

// One line of the file, without its line feed.
std::string RecordToJson(const ExchangeRecord& record);

class JsonLineLog final : public ExchangeObserver {
public:
  // Opens `path` for appending, creating it when missing. Returns nothing and
  // sets `error` ("cannot open FILE for appending: Permission denied") when it cannot.
  static std::unique_ptr<JsonLineLog> Open(const std::string& path, std::string& error);
  ~JsonLineLog() override;
  JsonLineLog(const JsonLineLog&) = delete;
  JsonLineLog& operator=(const JsonLineLog&) = delete;

  // Safe from any thread: each record goes out as one whole line.
  void OnExchange(const ExchangeRecord& record) override;

private:
  explicit JsonLineLog(std::FILE* file) : file_(file) {}
  std::mutex mutex_;
  std::FILE* file_;
};

}  // namespace printerlink
