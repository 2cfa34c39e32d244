// Fuzz target: the Friends.txt reader, then the phonebook entries made from what it read.
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
  const FriendsReadResult read = ReadFriends(bytes, "/home/me/sounds/");

  int lastLine = 0;
  PhonebookEntries entries;
  for (const FriendsEntry& e : read.entries) {
    FUZZ_CHECK(e.line > lastLine);
    lastLine = e.line;
    // One line, one entry: no field holds a line feed or a TAB.
    FUZZ_CHECK(e.PhoneNumber.find('\n') == std::string::npos);
    FUZZ_CHECK(e.Name.find('\n') == std::string::npos && e.Wav.find('\n') == std::string::npos);
    FUZZ_CHECK(e.PhoneNumber.find('\t') == std::string::npos);
    FUZZ_CHECK(e.Name.find('\t') == std::string::npos && e.Wav.find('\t') == std::string::npos);
    FUZZ_CHECK(!e.Name.empty() && e.Name.front() != ' ' && e.Name.back() != ' ');
    const std::string key = NumberKey(e.PhoneNumber);
    FUZZ_CHECK(!key.empty());
    if (entries.count(key)) continue;
    Phonebook entry;
    entry.SetName(e.Name);
    entry.SetWav(e.Wav);
    entry.SetPhoneNumber(e.PhoneNumber);
    FUZZ_CHECK(entry.Key() == key);
    FUZZ_CHECK(entries.Add(entry));
  }
  for (const SkippedRecord& s : read.skipped) {
    FUZZ_CHECK(s.line >= 1 && !s.reason.empty());
  }
  entries.ForEach([&](const Phonebook& entry) {
    FUZZ_CHECK(entries.count(entry.Key()) == 1);
    FUZZ_CHECK(entry.Name().find('&') == std::string::npos);
  });
  return 0;
}
