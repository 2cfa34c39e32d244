#include "xap/XapMessage.h"

#include <unordered_set>

namespace {

constexpr std::string_view kUnknown = "Unknown";
constexpr const char* kFromXap = "From XAP";

// Sections and their items are few; a plain scan beats hashing until a section grows past this.
constexpr std::size_t kLinearLimit = 16;

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  if (needle.size() > hay.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return true;
  }
  return false;
}

std::string_view TrimSpaces(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

std::string LowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

struct NoCaseHash {
  std::size_t operator()(std::string_view s) const {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : s) {
      h ^= static_cast<unsigned char>(LowerAscii(c));
      h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
  }
};

struct NoCaseEqual {
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};

using NameSet = std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual>;

}  // namespace

void XapMessage::Log(const char* source) const {
  if (!logSink_) return;
  try {
    logSink_(source, std::string());
  } catch (...) {
    // A failing log must not turn into a failure of the message.
  }
}

int XapMessage::AddHeader() {
  try {
    text_.Add("xap-header\n{\nv=12\nhop=1\nuid=");
    text_.Add(msgUID_);
    text_.Add("\nclass=");
    text_.Add(msgClass_);
    text_.Add("\nsource=");
    text_.Add(msgSource_);
    text_.Add("\n");
    if (!msgTarget_.empty()) {
      text_.Add("target=");
      text_.Add(msgTarget_);
      text_.Add("\n");
    }
    text_.Add("}\n");
    sectionOpen_ = false;
  } catch (...) {
    Log("Message AddHeader");
  }
  return 0;
}

int XapMessage::AddSection(std::string_view sSection) {
  if (sectionOpen_) text_.Add("}\n");
  text_.Add(sSection);
  text_.Add("\n{\n");
  sectionOpen_ = true;
  return 0;
}

int XapMessage::AddItem(std::string_view /*sSection*/, std::string_view sItem,
                        std::string_view sValue) {
  text_.Add(sItem);
  text_.Add("=");
  text_.Add(sValue);
  text_.Add("\n");
  return 0;
}

std::string XapMessage::ToXap() const { return text_.Value() + "}\n"; }

int XapMessage::Init(std::string_view /*sMessage*/) {
  text_.Reset();
  return 0;
}

int XapMessage::FromXap(std::string_view sRawMessage) {
  try {
    if (sRawMessage.empty()) return 0;
    // Windows senders end lines with CR LF; some senders start with one blank line.
    raw_.clear();
    raw_.reserve(sRawMessage.size());
    for (std::size_t i = 0; i < sRawMessage.size(); ++i) {
      if (sRawMessage[i] == '\r' && i + 1 < sRawMessage.size() && sRawMessage[i + 1] == '\n')
        continue;
      raw_.push_back(sRawMessage[i]);
    }
    if (!raw_.empty() && raw_[0] == '\n') raw_.erase(0, 1);
    ParseLines();
  } catch (...) {
    Log(kFromXap);
  }
  return 0;
}

void XapMessage::ParseLines() {
  const std::string_view text(raw_);
  const std::size_t n = text.size();
  auto lineEnd = [&](std::size_t from) {
    const std::size_t e = text.find('\n', from);
    return e == std::string_view::npos ? n : e;
  };

  std::size_t pos = 0;
  std::size_t end = lineEnd(0);
  if (!ContainsNoCase(text.substr(0, end), "xap-header")) return;

  // The first two lines are taken to be "xap-header" and "{".
  for (int skip = 0; skip < 2; ++skip) {
    if (end == n) return;
    pos = end + 1;
    end = lineEnd(pos);
  }

  sections_.reserve(4);
  items_.reserve(16);
  NameSet bigSections;
  NameSet bigItems;

  // Invariant: [pos, end) is the current line; it is the last line when end == n.
  for (;;) {
    const std::string_view line = text.substr(pos, end - pos);
    const bool last = end == n;

    if (line == "}") {
      if (!sections_.empty()) sections_.back().closed = true;
      // The closing brace of a block opens the next section, whose name is the next line.
      if (last) {
        Log(kFromXap);
        return;
      }
      pos = end + 1;
      end = lineEnd(pos);
      const Span name{pos, end - pos};
      const std::string_view nameText = text.substr(pos, end - pos);

      bool repeated = false;
      if (sections_.size() < kLinearLimit) {
        for (const Section& s : sections_) {
          if (EqualsNoCase(View(s.name), nameText)) {
            repeated = true;
            break;
          }
        }
      } else {
        if (sections_.size() == kLinearLimit) {
          bigSections.clear();
          for (const Section& s : sections_) bigSections.insert(View(s.name));
        }
        repeated = !bigSections.insert(nameText).second;
      }
      if (repeated) {
        Log(kFromXap);
        return;
      }
      sections_.push_back(Section{name, items_.size(), 0, false});

      if (end == n) return;
      pos = end + 1;
      end = lineEnd(pos);
      continue;
    }

    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      const std::string_view name = TrimSpaces(line.substr(0, eq));
      if (sections_.empty()) {
        const std::string_view value = TrimSpaces(line.substr(eq + 1));
        if (EqualsNoCase(name, "uid")) {
          msgUID_.assign(value);
        } else if (EqualsNoCase(name, "class")) {
          msgClass_.assign(value);
        } else if (EqualsNoCase(name, "source")) {
          msgSource_.assign(value);
        } else if (EqualsNoCase(name, "target")) {
          msgTarget_.assign(value);
        }
      } else {
        Section& sec = sections_.back();
        bool repeated = false;
        if (sec.itemCount < kLinearLimit) {
          for (std::size_t i = sec.firstItem; i < sec.firstItem + sec.itemCount; ++i) {
            if (EqualsNoCase(View(items_[i].name), name)) {
              repeated = true;
              break;
            }
          }
        } else {
          if (sec.itemCount == kLinearLimit) {
            bigItems.clear();
            for (std::size_t i = sec.firstItem; i < sec.firstItem + sec.itemCount; ++i) {
              bigItems.insert(View(items_[i].name));
            }
          }
          repeated = !bigItems.insert(name).second;
        }
        if (repeated) {
          Log(kFromXap);
          return;
        }
        const std::size_t namePos = static_cast<std::size_t>(name.data() - text.data());
        items_.push_back(Item{Span{namePos, name.size()}, Span{pos, end - pos}});
        ++sec.itemCount;
      }
    }

    if (last) return;
    pos = end + 1;
    end = lineEnd(pos);
  }
}

bool XapMessage::SectionClosed(std::string_view sSection) const {
  const Section* sec = FindSection(sSection);
  return sec && sec->closed;
}

const XapMessage::Section* XapMessage::FindSection(std::string_view name) const {
  for (const Section& s : sections_) {
    if (EqualsNoCase(View(s.name), name)) return &s;
  }
  return nullptr;
}

std::string XapMessage::GetItem(std::string_view sSection, std::string_view sItem) const {
  try {
    const Section* sec = FindSection(sSection);
    if (sec == nullptr) return std::string(kUnknown);
    for (std::size_t i = sec->firstItem; i < sec->firstItem + sec->itemCount; ++i) {
      if (!EqualsNoCase(View(items_[i].name), sItem)) continue;
      const std::string_view line = View(items_[i].line);
      // Stored lines always hold an "=".
      return std::string(line.substr(line.find('=') + 1));
    }
    return std::string(kUnknown);
  } catch (...) {
    Log("GetItem");
    return std::string();
  }
}

bool XapMessage::CompareClass(std::string_view sClass) const {
  return EqualsNoCase(sClass, msgClass_);
}

bool XapMessage::CompareAddress(std::string_view sItem1, std::string_view sItem2) const {
  if (sItem1.empty() || sItem2.empty()) return false;
  std::size_t p1 = 0;
  std::size_t p2 = 0;
  for (;;) {
    const std::size_t e1 = sItem1.find('.', p1);
    const std::size_t e2 = sItem2.find('.', p2);
    const std::string_view part1 =
        sItem1.substr(p1, e1 == std::string_view::npos ? std::string_view::npos : e1 - p1);
    const std::string_view part2 =
        sItem2.substr(p2, e2 == std::string_view::npos ? std::string_view::npos : e2 - p2);
    if (part1 == ">" || part2 == ">") return true;
    if (part1 != "*" && part2 != "*" && !EqualsNoCase(part1, part2)) return false;
    const bool end1 = e1 == std::string_view::npos;
    const bool end2 = e2 == std::string_view::npos;
    // Every part of the shorter address matched: equal only when both end together.
    if (end1 || end2) return end1 && end2;
    p1 = e1 + 1;
    p2 = e2 + 1;
  }
}

std::vector<std::string> XapMessage::msgSection() const {
  std::vector<std::string> names;
  if (sections_.empty()) {
    names.emplace_back();
    return names;
  }
  names.reserve(sections_.size());
  for (const Section& s : sections_) names.push_back(LowerCopy(View(s.name)));
  return names;
}

std::optional<XapMessage::ItemCollection> XapMessage::msgCollection(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= sections_.size()) return std::nullopt;
  const Section& sec = sections_[static_cast<std::size_t>(index)];
  ItemCollection items;
  items.reserve(sec.itemCount);
  for (std::size_t i = sec.firstItem; i < sec.firstItem + sec.itemCount; ++i) {
    items.emplace_back(LowerCopy(View(items_[i].name)), std::string(View(items_[i].line)));
  }
  return items;
}
