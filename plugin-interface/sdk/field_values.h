#pragma once
// Field values as text, the same in the Fields view and in JSON: integers exact, floats in the
// shortest form that reads back to the same bits (non-finite ones as "Infinity", "-Infinity",
// "NaN", or "NaN:0x7FC00001" for a NaN with other bits), booleans as true and false (other byte
// values as their number). Byte runs as hexadecimal digits.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/type_tree_fields.h"

namespace kestrova {

std::string ScalarText(FieldKind kind, std::uint64_t bits);
void AppendScalarText(std::string& out, FieldKind kind, std::uint64_t bits);
// The same into `text`, which holds kScalarChars; returns the length.
inline constexpr std::size_t kScalarChars = 64;
std::size_t ScalarChars(char* text, FieldKind kind, std::uint64_t bits);
// Whether a float or double is an infinity or a NaN, which ScalarText gives as a word.
bool IsNonFinite(FieldKind kind, std::uint64_t bits);

// Text typed for a scalar of `kind`, as ScalarText writes it (spaces around are ignored): the
// scalar's bits, or nothing with `error` saying why ("300 is outside the range of UInt8").
std::optional<std::uint64_t> ParseScalar(FieldKind kind, std::string_view text, std::string& error);
// An integer for a scalar of `kind`: its bits when it is in the kind's range (a float takes it
// rounded), otherwise nothing.
std::optional<std::uint64_t> ScalarFromInteger(FieldKind kind, std::int64_t value);
std::optional<std::uint64_t> ScalarFromUnsigned(FieldKind kind, std::uint64_t value);

// "0 to 255", "-2147483648 to 2147483647": what an integer kind holds, for messages.
std::string IntegerRange(FieldKind kind);

bool IsUtf8(std::span<const std::uint8_t> bytes);

// The value of a hexadecimal digit of either case, or -1.
int HexDigitValue(char c);
void AppendHex(std::string& out, std::span<const std::uint8_t> bytes);
// Two hexadecimal digits per byte, either case; false for anything else.
bool ParseHex(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace kestrova
