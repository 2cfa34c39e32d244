// Fuzz target: the CSV address book reader, then the phonebook entries made from its rows.
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
  const AddressBookReadResult book = ReadAddressBook(bytes);

  if (!book.headerValid) {
    FUZZ_CHECK(!book.headerError.empty());
    FUZZ_CHECK(book.records.empty() && book.skipped.empty());
    return 0;
  }
  FUZZ_CHECK(book.headerError.empty());
  int lastLine = 1;
  PhonebookEntries entries;
  for (const AddressRecord& r : book.records) {
    // Records come after the header, in file order.
    FUZZ_CHECK(r.line > lastLine);
    lastLine = r.line;
    for (const std::string* number : {&r.home_phone, &r.cell_phone, &r.business_phone}) {
      const bool added = AddHSP(entries, r.person, *number, "home");
      FUZZ_CHECK(added == !NumberKey(*number).empty());
      // Another spelling of a number already there (same national number) joins its entry.
      if (added) FUZZ_CHECK(entries.FindNumber(NumberKey(*number)).has_value());
    }
  }
  for (const SkippedRecord& s : book.skipped) FUZZ_CHECK(s.line >= 2 && !s.reason.empty());
  entries.ForEach([&](const Phonebook& e) { FUZZ_CHECK(entries.count(e.Key()) == 1); });
  return 0;
}
