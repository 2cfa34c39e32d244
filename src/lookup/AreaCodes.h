#pragma once
// AreaCodeTable: the fixed table of North-American area-code locations that names a
// ten-digit caller who is not in the phonebook. It holds exactly 1000 slots, indexed
// by the three-digit area code; after LoadAreaCodes() 300 of them hold a location
// text and every other slot (among them all below 201) is empty.
//
// Callers may rely on:
// - the texts coming back byte for byte as compiled in, stray letters, trailing
//   spaces and the one HTML entity included;
// - AreaCodeName() never failing: an empty slot, an unloaded table or an index
//   outside 0..999 all give the same empty text;
// - AreaCodeIndex() always giving a value in 0..999.
// Pure C++, no Qt; the table is plain data owned by whoever holds the object.
#include <string>
#include <string_view>
#include <vector>

class AreaCodeTable {
 public:
  static constexpr int kSlots = 1000;

  AreaCodeTable();

  // Sets all 1000 slots to empty, then assigns the 300 location texts.
  void LoadAreaCodes();

  // The text of one slot; the empty text for an empty slot or an index outside 0..999.
  const std::string& AreaCodeName(int index) const;

  // Number of slots that hold a text.
  int Count() const;

 private:
  std::vector<std::string> AreaCodeNames;
};

// The index of a number key: its first three characters read as a decimal number
// (the leading run of digits only; text that does not start with a digit reads as
// 0). Always within 0..999.
int AreaCodeIndex(std::string_view key);
