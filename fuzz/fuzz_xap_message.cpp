// Fuzz target: the xAP reader. FromXap on any bytes, then every read operation, each checked
// against a plain line-by-line model of the same rules; the address match is checked against
// a literal model on the two halves of the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "xap/XapMessage.h"

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::string Trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

std::vector<std::string> Split(std::string_view s, char at) {
  std::vector<std::string> parts;
  for (std::string_view chunk : fuzz::SplitChunks(s, at)) parts.emplace_back(chunk);
  return parts;
}

// The reading rules written out the slow, obvious way.
struct Model {
  std::string cls = "Unknown", src = "Unknown", tgt = "Unknown", uid = "Unknown";
  std::vector<std::pair<std::string, XapMessage::ItemCollection>> sections;
  int stops = 0;

  void Parse(std::string_view raw) {
    if (raw.empty()) return;
    // CR LF reads as LF, and one leading blank line is skipped.
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i)
      if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
    if (!text.empty() && text[0] == '\n') text.erase(0, 1);
    if (text.empty()) return;
    const std::vector<std::string> lines = Split(text, '\n');
    if (Lower(lines[0]).find("xap-header") == std::string::npos) return;
    bool inBody = false;
    for (std::size_t i = 2; i < lines.size(); ++i) {
      if (lines[i] == "}") {
        inBody = true;
        if (++i >= lines.size()) {
          ++stops;
          return;
        }
        const std::string name = Lower(lines[i]);
        for (const auto& s : sections)
          if (s.first == name) {
            ++stops;
            return;
          }
        sections.push_back({name, {}});
        continue;
      }
      const std::size_t eq = lines[i].find('=');
      if (eq == std::string::npos) continue;
      const std::string name = Lower(Trim(std::string_view(lines[i]).substr(0, eq)));
      if (!inBody) {
        const std::string value = Trim(std::string_view(lines[i]).substr(eq + 1));
        if (name == "uid")
          uid = value;
        else if (name == "class")
          cls = value;
        else if (name == "source")
          src = value;
        else if (name == "target")
          tgt = value;
        continue;
      }
      auto& items = sections.back().second;
      for (const auto& item : items)
        if (item.first == name) {
          ++stops;
          return;
        }
      items.push_back({name, lines[i]});
    }
  }
};

bool ModelAddressMatch(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return false;
  const std::vector<std::string> pa = Split(Lower(a), '.');
  const std::vector<std::string> pb = Split(Lower(b), '.');
  for (std::size_t i = 0; i < std::min(pa.size(), pb.size()); ++i) {
    if (pa[i] == ">" || pb[i] == ">") return true;
    if (pa[i] != "*" && pb[i] != "*" && pa[i] != pb[i]) return false;
  }
  return pa.size() == pb.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  int stops = 0;
  XapMessage m([&](const std::string& source, const std::string& detail) {
    FUZZ_CHECK(source == "From XAP" && detail.empty());
    ++stops;
  });
  FUZZ_CHECK(m.FromXap(text) == 0);

  Model model;
  model.Parse(text);
  FUZZ_CHECK(m.msgClass() == model.cls);
  FUZZ_CHECK(m.msgSource() == model.src);
  FUZZ_CHECK(m.msgTarget() == model.tgt);
  FUZZ_CHECK(m.msgUID() == model.uid);
  FUZZ_CHECK(stops == model.stops);

  const std::vector<std::string> names = m.msgSection();
  if (model.sections.empty()) {
    FUZZ_CHECK(names == std::vector<std::string>{""});
  } else {
    FUZZ_CHECK(names.size() == model.sections.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto& [sectionName, items] = model.sections[i];
      FUZZ_CHECK(names[i] == sectionName);
      const auto collection = m.msgCollection(static_cast<int>(i));
      FUZZ_CHECK(collection && *collection == items);
      for (const auto& [itemName, line] : items)
        FUZZ_CHECK(m.GetItem(sectionName, itemName) == line.substr(line.find('=') + 1));
    }
  }
  FUZZ_CHECK(!m.msgCollection(static_cast<int>(model.sections.size())));
  FUZZ_CHECK(!m.msgCollection(-1));

  // Reads the program makes on every incoming message.
  FUZZ_CHECK(m.GetItem("no such section", "x") == "Unknown");
  (void)m.GetItem("CID.Incoming", "Phone");
  (void)m.GetItem("xapvynCID.request", "Query");
  (void)m.GetItem("", "");
  FUZZ_CHECK(m.CompareClass(m.msgClass()));
  FUZZ_CHECK(m.CompareClass(Lower(m.msgClass())));
  // An address matches itself; an empty one matches nothing.
  FUZZ_CHECK(m.CompareTarget(m.msgTarget()) == !m.msgTarget().empty());
  FUZZ_CHECK(m.CompareSource(m.msgSource()) == !m.msgSource().empty());
  (void)m.CompareTarget("vyn.xapvynCID.*");
  (void)m.CompareSource("*.*.>");

  // Address match on pieces of the input: the two halves, and the first two lines.
  const std::string_view a = text.substr(0, size / 2);
  const std::string_view b = text.substr(size / 2);
  const bool expect = ModelAddressMatch(a, b);
  FUZZ_CHECK(m.CompareAddress(a, b) == expect);
  FUZZ_CHECK(m.CompareAddress(b, a) == expect);
  if (!a.empty()) FUZZ_CHECK(m.CompareAddress(a, a));
  const std::vector<std::string> lines = Split(text, '\n');
  if (lines.size() >= 2) {
    FUZZ_CHECK(m.CompareAddress(lines[0], lines[1]) == ModelAddressMatch(lines[0], lines[1]));
    FUZZ_CHECK(m.CompareClass(lines[0]) == (Lower(lines[0]) == Lower(m.msgClass())));
  }
  return 0;
}
