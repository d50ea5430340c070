#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "MessageBoxRecorder.h"
#include "OutcomeWords.h"
#include "StatusReport.h"
#include "StringTable.h"

using printerlink::Condition;
using printerlink::LinkError;
using printerlink::ReplyBuffer;
using res::Language;

namespace {

const QTime kAt(14, 2, 11);
constexpr Language en = Language::English;
constexpr Language zh = Language::Chinese;

// The record of a probe that the transport ended so.
printerlink::ExchangeRecord Failed(LinkError error, int sysError = 0) {
  printerlink::LinkResult link;
  link.error = error;
  link.sysError = sysError;
  printerlink::ExchangeRecord r;
  r.kind = printerlink::ExchangeKind::Probe;
  r.outcome = printerlink::OutcomeOf(r.kind, link);
  r.sysError = sysError;
  return r;
}

// What a status read found: reached or not, and the bytes that came.
printerlink::StatusRead Read(bool reached, const ReplyBuffer& reply, std::size_t received) {
  printerlink::StatusRead r;
  r.reached = reached;
  r.done.reply = reply;
  r.done.received = received;
  r.conditions = printerlink::DecodeStatus(reached, reply, received);
  return r;
}

// Each row builds its text in its own language.
struct TextCase {
  const char* catches;
  Language language;
  std::function<QString()> text;
  const char* expected;
};

void Check(const std::vector<TextCase>& cases) {
  for (const TextCase& c : cases) {
    SetInterfaceLanguage(c.language);
    EXPECT_EQ(c.text(), QString::fromUtf8(c.expected)) << c.catches;
  }
  SetInterfaceLanguage(std::nullopt);
}

TEST(StatusLine, SaysWhatTheLastPollReadAndWhenOrWhyNothingCame) {
  const ReplyBuffer reply{0x28, 0x00, 0x0C, 0x7F};
  auto answered = [&](std::size_t received, QTime at) { return [=] { return AnsweredText(reply, received, at, 12); }; };
  auto silent = [](LinkError error, int sysError) {
    return [=] { return NoAnswerText(kAt, Failed(error, sysError)); };
  };
  auto cause = [](LinkError error, int sysError) {
    return [=] { return QString::fromStdString(FailureCause(Failed(error, sysError), InterfaceLanguage())); };
  };
  Check({
      {"a good poll: bytes, time, milliseconds", en, answered(3, kAt), "Status 28 00 0C · 14:02:11 · 12 ms"},
      {"the same in Chinese", zh, answered(3, kAt), "状态 28 00 0C · 14:02:11 · 12 毫秒"},
      {"a short reply shows what arrived, not the zeros behind it", en, answered(1, kAt),
       "Status 28 · 14:02:11 · 12 ms"},
      {"an answer without bytes says so", en, answered(0, kAt), "Status (no bytes) · 14:02:11 · 12 ms"},
      {"bytes past the status bytes are marked", en, answered(4, QTime(9, 5, 7)),
       "Status 28 00 0C … · 09:05:07 · 12 ms"},
      {"refused", en, silent(LinkError::ConnectFailed, ECONNREFUSED), "No answer since 14:02:11 (refused)"},
      {"a silent printer is not 'refused'", en, silent(LinkError::ConnectTimedOut, 0),
       "No answer since 14:02:11 (no answer)"},
      {"refused, in Chinese", zh, silent(LinkError::ConnectFailed, ECONNREFUSED), "自 14:02:11 起无应答（连接被拒绝）"},
      {"before the first poll", zh, NotPolledText, "尚未检测"},
      {"no such host", en, cause(LinkError::ConnectFailed, EHOSTUNREACH), "unreachable"},
      {"no route to the network", en, cause(LinkError::ConnectFailed, ENETUNREACH), "no route"},
      {"an unforeseen error keeps its number", en, cause(LinkError::ConnectFailed, EACCES), "error 13"},
      {"the printer took part of the frame", en, cause(LinkError::SendIncomplete, EPIPE), "send failed"},
      {"no socket at all", en, cause(LinkError::NoSocket, 0), "no network"},
  });
}

TEST(IndicatorTooltip, NamesTheByteTheBitsAndTheirValues) {
  auto tip = [](Condition condition, ReplyBuffer reply, std::size_t received = 3) {
    return [=] { return IndicatorTooltip(printerlink::RowOf(condition), reply, received); };
  };
  const ReplyBuffer a{0x28, 0x00, 0x0C}, b{0x00, 0x50, 0x04}, stray{0x2C, 0x81, 0x0D};
  Check({
      {"28 00 0C: cover", en, tip(Condition::Cover, a), "Byte 0 = 0x28: bit 5 (0x20) cover open = 1"},
      {"28 00 0C: busy, same byte", en, tip(Condition::Busy, a), "Byte 0 = 0x28: bit 3 (0x08) busy = 1"},
      {"28 00 0C: both paper sensors", en, tip(Condition::Paper, a),
       "Byte 2 = 0x0C: bits 2–3 (0x0C) paper end sensors = 11"},
      {"00 50 04: over temperature", en, tip(Condition::Temperature, b),
       "Byte 1 = 0x50: bit 6 (0x40) over temperature = 1"},
      {"00 50 04: two pause bits, highest first", en, tip(Condition::Pause, b),
       "Byte 1 = 0x50: bits 4–5 (0x30) pause = 01"},
      {"a stray bit is named, not dropped", en, tip(Condition::Cover, stray),
       "Byte 0 = 0x2C: bit 5 (0x20) cover open = 1\nbit 2 (0x04) not used = 1"},
      {"several stray bits, lowest first", en, tip(Condition::Pause, stray),
       "Byte 1 = 0x81: bits 4–5 (0x30) pause = 00\nbit 0 (0x01) not used = 1\nbit 7 (0x80) not used = 1"},
      {"a byte that never arrived is not shown as zero", en, tip(Condition::Paper, a, 2),
       "Byte 2 not received: bits 2–3 (0x0C) paper end sensors"},
      {"Chinese, with a stray bit", zh, tip(Condition::Paper, stray),
       "字节 2 = 0x0D：位 2–3 (0x0C) 缺纸传感器 = 11\n位 0 (0x01) 未使用 = 1"},
  });
}

TEST(StatusChanges, OneRecordPerLampThatChanged) {
  // on-line, cover, busy, temperature, pause, paper; true = needs attention
  const LampStates fine{false, false, false, false, false, false};
  const LampStates openNoPaper{false, true, false, false, false, true};
  const LampStates offline{true, true, false, false, false, true};
  struct Case {
    const char* catches;
    LampStates before;
    bool reached;
    ReplyBuffer reply;
    std::size_t received;
    QStringList summaries;
  };
  const Case cases[] = {
      {"the same reply twice changes nothing", fine, true, {}, 3, {}},
      {"stray bits are no change", fine, true, {0xD7, 0x8F, 0xF3}, 3, {}},
      {"cover opened and paper ran out", fine, true, {0x20, 0x00, 0x0C}, 3, {"cover opened", "paper end"}},
      {"both cleared", openNoPaper, true, {}, 3, {"cover closed", "paper end cleared"}},
      {"busy, hot and paused at once",
       fine,
       true,
       {0x08, 0x50},
       3,
       {"printer busy", "over temperature", "printing paused"}},
      {"a failed poll changes only the on-line lamp", openNoPaper, false, {}, 0, {"printer off-line"}},
      {"still off-line changes nothing", offline, false, {}, 0, {}},
      {"back on-line with the state it had", offline, true, {0x20, 0x00, 0x0C}, 3, {"printer on-line"}},
      {"a short reply leaves lamps unread",
       fine,
       true,
       {},
       1,
       {"over temperature: not read", "pause: not read", "paper end sensors: not read"}},
  };
  SetInterfaceLanguage(en);
  for (const Case& c : cases) {
    QStringList summaries;
    for (const StatusChange& change :
         StatusChanges(c.before, LampsAfterPoll(c.before, Read(c.reached, c.reply, c.received)))) {
      summaries << ChangeSummary(change);
    }
    EXPECT_EQ(summaries, c.summaries) << c.catches;
  }
  SetInterfaceLanguage(zh);
  const auto changes = StatusChanges(openNoPaper, LampsAfterPoll(openNoPaper, Read(true, {}, 3)));
  ASSERT_EQ(changes, (std::vector<StatusChange>{{Condition::Cover, true, false}, {Condition::Paper, true, false}}));
  EXPECT_EQ(ChangeSummary(changes[1]), "纸已装好");
  // The log's record: English for the file whatever the interface, the
  // interface's language on screen, and the bytes the change was read from.
  const auto record = ChangeRecord(changes[1], "127.0.0.9", {0x20, 0x00, 0x00}, 3, 0);
  EXPECT_EQ(record.note, "paper end cleared");
  EXPECT_EQ(record.noteShown, "纸已装好");
  EXPECT_EQ(record.received, (std::vector<std::uint8_t>{0x20, 0x00, 0x00}));
  EXPECT_FALSE(record.failed());
  SetInterfaceLanguage(std::nullopt);
}

}  // namespace
