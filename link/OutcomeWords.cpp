#include "OutcomeWords.h"

#include <cerrno>

#include "ResourceIds.h"
#include "Transport.h"

namespace printerlink {
namespace {

std::string WithError(std::string text, int sysError) {
  const std::string name = ErrorName(sysError);
  return name.empty() ? text : text + " (" + name + ")";
}

}  // namespace

std::string OutcomeWords(const ExchangeRecord& r, res::Language language) {
  const auto text = [language](int id) { return std::string_view(res::FindString(id, language)); };
  const std::string taken = std::to_string(r.taken);
  const std::string total = std::to_string(r.sent.size());
  if (!r.note.empty()) return std::string(text(IDS_LOG_LAMP_CHANGED));
  switch (r.outcome) {
    case Outcome::Ok:
      switch (r.kind) {
        case ExchangeKind::Status: return res::FillIn(text(IDS_OUT_REPLY), {std::to_string(r.received.size())});
        case ExchangeKind::Probe: return std::string(text(IDS_OUT_CONNECTED));
        case ExchangeKind::Sweep:
          if (r.answering == 0) {
            return res::FillIn(text(IDS_OUT_SWEEP_NONE), {std::to_string(r.refusing), std::to_string(r.silent)});
          }
          return res::FillIn(text(IDS_OUT_SWEEP_FOUND),
                             {std::to_string(r.answering), std::to_string(r.refusing), std::to_string(r.silent)});
        case ExchangeKind::Frame:
        case ExchangeKind::Text: break;
      }
      return res::FillIn(text(r.peerOpen ? IDS_OUT_OK_PEER_OPEN : IDS_OUT_OK), {taken, total});
    case Outcome::Refused: return WithError(res::FillIn(text(IDS_OUT_REFUSED), {std::to_string(r.port)}), r.sysError);
    case Outcome::Timeout: return res::FillIn(text(IDS_OUT_TIMEOUT), {std::to_string(r.waitMs)});
    case Outcome::Unreachable: return WithError(std::string(text(IDS_OUT_UNREACHABLE)), r.sysError);
    case Outcome::Closed:
      if (r.kind == ExchangeKind::Status && r.taken == r.sent.size()) {
        return WithError(std::string(text(IDS_OUT_CLOSED_NO_REPLY)), r.sysError);
      }
      // Every byte acknowledged, then a reset: the printer closed with them unread.
      if (r.kind != ExchangeKind::Status && !r.sent.empty() && r.taken == r.sent.size()) {
        return WithError(res::FillIn(text(IDS_OUT_DISCARDED), {total}), r.sysError);
      }
      return WithError(res::FillIn(text(IDS_OUT_CLOSED), {taken, total}), r.sysError);
    case Outcome::Incomplete: return WithError(res::FillIn(text(IDS_OUT_INCOMPLETE), {taken, total}), r.sysError);
    case Outcome::NoReply: return res::FillIn(text(IDS_OUT_NO_REPLY), {std::to_string(ReplyBoundMs())});
    case Outcome::Library:
      switch (r.libraryFault) {
        case LibraryFault::WrongVersion: return std::string(text(IDS_OUT_LIB_VERSION));
        case LibraryFault::NoSocket: return WithError(std::string(text(IDS_OUT_LIB_NO_SOCKET)), r.sysError);
        case LibraryFault::NotStarted:
        case LibraryFault::None: break;
      }
      return std::string(text(IDS_OUT_LIB_NOT_STARTED));
    case Outcome::BadAddress: return res::FillIn(text(IDS_OUT_BAD_ADDRESS), {r.address});
  }
  return {};
}

std::string FailureCause(const ExchangeRecord& r, res::Language language) {
  const auto text = [language](int id) { return std::string(res::FindString(id, language)); };
  switch (r.outcome) {
    case Outcome::Ok: return {};
    case Outcome::Refused: return text(IDS_CAUSE_REFUSED);
    case Outcome::Timeout:
    case Outcome::NoReply: return text(IDS_CAUSE_NO_ANSWER);
    case Outcome::BadAddress: return text(IDS_CAUSE_BAD_ADDRESS);
    case Outcome::Library: return text(IDS_CAUSE_NO_NETWORK);
    case Outcome::Incomplete: return text(IDS_CAUSE_SEND_INCOMPLETE);
    case Outcome::Closed: return text(IDS_CAUSE_CLOSED);
    case Outcome::Unreachable: break;
  }
  switch (r.sysError) {
    case ETIMEDOUT: return text(IDS_CAUSE_NO_ANSWER);
    case EHOSTUNREACH:
    case EHOSTDOWN: return text(IDS_CAUSE_HOST_UNREACHABLE);
    case ENETUNREACH:
    case ENETDOWN: return text(IDS_CAUSE_NET_UNREACHABLE);
    default: return res::FillIn(text(IDS_CAUSE_CONNECT_FAILED), {std::to_string(r.sysError)});
  }
}

}  // namespace printerlink
