#pragma once
// The call datagram of the display-client protocol, and the texts that go into it.
//
// CallDatagram(name, number) is always exactly 136 bytes: 0x03, seven 0x00, the name in a
// 64-byte field, the number in a 64-byte field, each field padded with 0x00. Before that the
// special values are applied (SpecialName, SpecialNumber). A text longer than its 64-byte
// field is cut to 64 bytes: the displays read both fields at fixed offsets, so a longer text
// would move the number and make the display show garbage. Bytes are copied unchanged
// (8-bit text, zero bytes included).
#include <cstddef>
#include <string>

inline constexpr std::size_t kCallFieldSize = 64;
inline constexpr std::size_t kCallDatagramSize = 8 + 2 * kCallFieldSize;

// "O" -> "Unknown Name", "P" -> "Private Caller" (without regard to case); others unchanged.
std::string SpecialName(const std::string& name);
// "O" -> "Unknown Number", "P" -> "Private Number" (without regard to case); others unchanged.
std::string SpecialNumber(const std::string& number);

std::string CallDatagram(const std::string& name, const std::string& number);
