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
#include "PrinterCommands.h"
#include "PrinterStatus.h"
#include "Resources.h"
#include "Transport.h"

// What the polls have read, lamp by lamp in the order of the conditions'
// table: whether the condition needs attention (off-line, cover open, busy,
// over temperature, paused, paper end), or nothing while it has not been read.
using LampStates = printerlink::ConditionStates;

// The lamps after a poll, given what they showed before it. A poll that did
// not reach the printer turns only the on-line lamp: the others keep what was
// last read. One that did shows every condition whose byte arrived and
// leaves the others unknown.
LampStates LampsAfterPoll(const LampStates& before, const printerlink::StatusRead& read);

// The status line.
QString NotPolledText();
// "Status 28 00 0C · 14:02:11 · 12 ms": the bytes that arrived, when, and how
// long the query took.
QString AnsweredText(const printerlink::ReplyBuffer& reply, std::size_t received, QTime at, int elapsedMs);
// "No answer since 14:02:11 (refused)": `since` is the last answer, or the
// first attempt when there never was one; `failure` the exchange that failed.
QString NoAnswerText(QTime since, const printerlink::ExchangeRecord& failure);

// A lamp's tooltip: its byte, its bits and their values in the reply, then
// each set bit of that byte which no condition uses, named "not used".
QString IndicatorTooltip(const printerlink::ConditionRow& row, const printerlink::ReplyBuffer& reply,
                         std::size_t received);

struct StatusChange {
  printerlink::Condition lamp;
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
