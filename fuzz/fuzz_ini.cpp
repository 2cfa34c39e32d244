// Fuzz target: the INI engine. LoadText of any bytes, then the round trip: the text a save
// writes, loaded again, gives the same value for every section and key, and saving that
// gives the same bytes again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "host/IniTool.h"

namespace {

// A value no loaded entry can hold: a line never keeps its LF.
constexpr std::string_view kAbsent = "\n<absent>";

bool HasRegexMeta(std::string_view s) {
  return s.find_first_of("\\^$.|?*+()[]{}") != std::string_view::npos;
}

// Every (section, key) the engine reports, with its value.
struct Listing {
  std::vector<std::string> sections;
  std::vector<std::vector<std::string>> keys;
  std::vector<std::vector<std::string>> values;
};

Listing List(const IniTool& ini) {
  Listing out;
  out.sections = ini.Headers();
  // Values before the first section line belong to the empty section name.
  out.sections.emplace_back();
  for (const std::string& section : out.sections) {
    // The program asks for sections by fixed names; a name from the file that reads as a
    // pattern would only exercise the regex library.
    std::vector<std::string> keys;
    if (!HasRegexMeta(section)) keys = ini.Keys(section);
    std::vector<std::string> values;
    for (const std::string& key : keys) values.push_back(ini.Read(section, key, kAbsent));
    out.keys.push_back(std::move(keys));
    out.values.push_back(std::move(values));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  int reports = 0;
  HostHooks hooks;
  hooks.logEvent = [&](const std::string& type, const std::string&) {
    FUZZ_CHECK(type == "IniTool");
    ++reports;
  };

  IniTool ini(hooks);
  ini.LoadText(text);
  const Listing first = List(ini);
  for (std::size_t s = 0; s < first.sections.size(); ++s) {
    if (!HasRegexMeta(first.sections[s])) FUZZ_CHECK(!first.keys[s].empty());
    for (const std::string& key : first.keys[s]) {
      // Names come back upper-cased.
      for (char c : key) FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
    }
  }

  const std::string saved = ini.SaveText();
  // A file whose first line begins with a UTF-8 byte-order mark loses the mark on
  // reading (editors write one); such a save does not read back byte for byte.
  if (saved.rfind("\xEF\xBB\xBF", 0) == 0) return 0;
  IniTool again(hooks);
  reports = 0;
  again.LoadText(saved);
  // What a save writes is read back without a single complaint.
  FUZZ_CHECK(reports == 0);
  for (std::size_t s = 0; s < first.sections.size(); ++s) {
    const std::string& section = first.sections[s];
    for (std::size_t k = 0; k < first.keys[s].size(); ++k)
      FUZZ_CHECK(again.Read(section, first.keys[s][k], kAbsent) == first.values[s][k]);
  }
  FUZZ_CHECK(again.SaveText() == saved);

  // A write then reads back, and the saved text of it loads to the same value.
  if (!first.sections.empty()) {
    const std::string& section = first.sections.front();
    const std::string value = "v" + std::string(text.substr(0, std::min<std::size_t>(size, 8)));
    std::string oneLine = value;
    for (char& c : oneLine)
      if (c == '\n' || c == '\r') c = ' ';
    while (!oneLine.empty() && oneLine.back() == ' ') oneLine.pop_back();
    again.WriteKey(section, "FuzzKey", oneLine);
    FUZZ_CHECK(again.Read(section, "fuzzkey", kAbsent) == oneLine);
    IniTool third(hooks);
    third.LoadText(again.SaveText());
    FUZZ_CHECK(third.Read(section, "FUZZKEY", kAbsent) == oneLine);
    again.Remove(section, "fuzzKey");
    FUZZ_CHECK(again.Read(section, "FuzzKey", kAbsent) == kAbsent);
  }
  return 0;
}
