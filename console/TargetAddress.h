#pragma once
// Which printer a command goes to, from the console's fields at that moment.

#include <array>
#include <cstdint>
#include <string>

#include "SocketLibrary.h"
#include "Transport.h"

// Radio "Setting IP Connection" (mode 0): the four fields of the target
// address control. Otherwise (the list radio, or no radio at all): the list's
// selected entry, or the target address while the list is empty.
std::string TargetAddressFor(int addressMode, const std::array<std::uint8_t, 4>& targetFields, int listCount,
                             const std::string& listText);

using printerlink::DottedQuad;
using printerlink::kDefaultPrinterAddress;
