#pragma once
// The technician's hex text as the bytes the printer receives. The reading is
// lenient on purpose and exact to the byte: every character takes a digit
// position, only "0"-"9" and "A"-"F" add to the value, and only the last
// eight characters of a piece can count.

#include <cstdint>
#include <string>
#include <vector>

#include "Frames.h"

// The value of a piece of hex text, modulo 2^32, read as signed.
std::int32_t ParseHexValue(const std::string& text);

// Splits the Other Test text at its commas and returns each piece's low
// byte, in order; always at least one. A rest that starts with a comma is
// not split further: it is the last piece, commas and all.
std::vector<std::uint8_t> ParseHexPieces(const std::string& text);
