#pragma once
// What the status monitor says in words about its polls, in the interface
// language: the status line under the lamps, each lamp's tooltip with the
// byte and bits it was read from, and the changes between two polls, which
// the exchange log keeps one record each.

#include <QString>
#include <QTime>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ExchangeRecord.h"
#include "Frames.h"
#include "PrinterStatus.h"
#include "Resources.h"
#include "Transport.h"

// The six lamps of the monitor.
enum class StatusLamp { Online, Cover, Busy, Temperature, Pause, Paper };
inline constexpr std::size_t kLampCount = 6;

// What the polls have read, lamp by lamp: whether the condition needs
// attention (off-line, cover open, busy, over temperature, paused, paper end),
// or nothing while it has not been read.
using LampStates = std::array<std::optional<bool>, kLampCount>;

StatusLamp LampOf(printerlink::StatusIndicator indicator);

// The lamps after a poll, given what they showed before it. A poll that did
// not reach the printer turns only the on-line lamp: the others keep what was
// last read. One that did decodes every condition whose byte arrived and
// leaves the others unknown.
LampStates LampsAfterPoll(const LampStates& before, bool reached, const printerlink::ReplyBuffer& reply,
                          std::size_t received);

// The status line.
QString NotPolledText();
// "Status 28 00 0C · 14:02:11 · 12 ms": the bytes that arrived, when, and how
// long the query took.
QString AnsweredText(const printerlink::ReplyBuffer& reply, std::size_t received, QTime at, int elapsedMs);
// "No answer since 14:02:11 (refused)": `since` is the last answer, or the
// first attempt when there never was one.
QString NoAnswerText(QTime since, const printerlink::LinkResult& failure);
// Why an exchange failed, in a few words.
QString FailureCause(const printerlink::LinkResult& failure);

// A lamp's tooltip: its byte, its bits and their values in the reply, then
// each set bit of that byte which no condition uses, named "not used".
QString IndicatorTooltip(printerlink::StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                         std::size_t received);

struct StatusChange {
  StatusLamp lamp;
  std::optional<bool> from;
  std::optional<bool> to;
  friend bool operator==(const StatusChange&, const StatusChange&) = default;
};

// Every lamp that shows something else after a poll than before it, in lamp
// order; empty when nothing changed.
std::vector<StatusChange> StatusChanges(const LampStates& before, const LampStates& after);
// "cover opened", "paper end cleared", "printer off-line", in the interface
// language or the one given.
QString ChangeSummary(const StatusChange& change);
QString ChangeSummary(const StatusChange& change, res::Language language);

// The exchange log's record of a lamp that changed at `atMs` (wall clock),
// with the status bytes of the poll that showed it (none when it failed).
printerlink::ExchangeRecord ChangeRecord(const StatusChange& change, const std::string& address,
                                         const printerlink::ReplyBuffer& reply, std::size_t received,
                                         std::int64_t atMs);
