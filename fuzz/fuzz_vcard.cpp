// Fuzz target: the vCard reader, then the phonebook entries made from its contacts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "lookup/NumberFormat.h"
#include "lookup/Phonebook.h"
#include "lookup/PhonebookReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::AsText(data, size);
  const VCardReadResult cards = ReadVCards(bytes);

  // Every card starts at its own BEGIN line, so a text of n lines holds at most n cards.
  std::size_t lines = 1;
  for (char c : bytes) lines += c == '\n';
  FUZZ_CHECK(cards.contacts.size() + cards.skipped.size() <= lines);

  int lastLine = 0;
  PhonebookEntries entries;
  for (const VCardContact& c : cards.contacts) {
    FUZZ_CHECK(c.line > lastLine);
    lastLine = c.line;
    adr person;
    person.First = c.FirstName;
    person.Last = c.LastName;
    const std::pair<const std::string*, const char*> numbers[] = {
        {&c.BusinessTelephoneNumber, "work"},
        {&c.HomeTelephoneNumber, "home"},
        {&c.MobileTelephoneNumber, "cell"}};
    for (const auto& [number, kind] : numbers) {
      const bool added = AddHSP(entries, person, *number, kind);
      FUZZ_CHECK(added == !NumberKey(*number).empty());
    }
  }
  for (const SkippedRecord& s : cards.skipped) FUZZ_CHECK(s.line >= 1 && !s.reason.empty());
  entries.ForEach([&](const Phonebook& e) { FUZZ_CHECK(entries.count(e.Key()) == 1); });
  return 0;
}
