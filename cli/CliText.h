#pragma once
// The command-line program's texts in English and Chinese: the console's
// string table where the console says the same thing, and the few the
// console never says.

#include "Strings.h"

namespace printercli {

using res::Language;

enum class Text {
  OldAddressStays,
  SetMacSuccess,
  SetMacError,
  Sending,
  NoPrinterFound,
  ShortReply,
  // identify, sweep --details
  Unknown,
  Routed,
  LocalMac,
  NoNeighbourTable,
  // set-ip --follow
  Following,
  FollowProgress,
  SamePrinter,
  OtherPrinter,
  CannotTell,
  NothingAnswered,
  NotAsked,
  // drawer --check
  DrawerOpened,
  DrawerNoChange,
  DrawerOpenAlready,
  DrawerNoReading,
  Closed,
  Open,
  High,
  Low,
  // labels of identify
  LabelMaker,
  LabelModel,
  LabelSerial,
  LabelFirmware,
  LabelMac,
  LabelVendor,
};

const char* Tr(Text text, Language language);
// A text of the console's string table (IDS_...).
inline const char* Tr(int stringId, Language language) { return res::FindString(stringId, language); }

}  // namespace printercli
