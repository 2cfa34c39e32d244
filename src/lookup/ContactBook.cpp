#include "lookup/ContactBook.h"

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <random>

#include "host/FileIo.h"

namespace {

bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n + 1;
  }
  return true;
}

std::string EscapeText(std::string_view raw) {
  const std::string s = ToUtf8(raw);
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case ',':
        out += "\\,";
        break;
      case ';':
        out += "\\;";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Appends one content line, folded so no physical line exceeds 75 bytes; a fold never
// falls inside a UTF-8 sequence.
void AppendLine(std::string& out, std::string_view line) {
  constexpr std::size_t kMax = 75;
  std::size_t limit = kMax;
  while (line.size() > limit) {
    std::size_t cut = limit;
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line.substr(0, cut)).append("\r\n ");
    line.remove_prefix(cut);
    limit = kMax - 1;  // the continuation's leading space counts
  }
  out.append(line).append("\r\n");
}

}  // namespace

std::string ToUtf8(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string CutName(std::string_view name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return std::string(name);
  std::size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut));
}

bool ConnectOutlook(const Settings& settings) {
  if (!settings.Outlook || settings.ContactBookFolder.empty()) return false;
  struct stat st {};
  return ::stat(settings.ContactBookFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::pair<std::string, std::string> SplitAtFirstSpace(std::string_view name) {
  const std::size_t space = name.find(' ');
  if (space == std::string_view::npos) return {std::string(name), std::string()};
  return {std::string(name.substr(0, space)), std::string(name.substr(space + 1))};
}

std::string NewUuid() {
  static std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::array<std::uint8_t, 16> b{};
  for (std::size_t i = 0; i < b.size(); i += 8) {
    const std::uint64_t v = engine();
    for (std::size_t j = 0; j < 8; ++j) b[i + j] = static_cast<std::uint8_t>(v >> (8 * j));
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(36);
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += kHex[b[i] >> 4];
    out += kHex[b[i] & 0x0F];
  }
  return out;
}

std::string ContactVCard(const NewContact& c, std::string_view uid) {
  std::string fn = ToUtf8(c.FirstName);
  if (!c.LastName.empty()) fn += (fn.empty() ? "" : " ") + ToUtf8(c.LastName);
  std::string out;
  AppendLine(out, "BEGIN:VCARD");
  AppendLine(out, "VERSION:3.0");
  AppendLine(out, "UID:" + std::string(uid));
  AppendLine(out, "N:" + EscapeText(c.LastName) + ";" + EscapeText(c.FirstName) + ";;;");
  AppendLine(out, "FN:" + EscapeText(fn));
  AppendLine(out, "TEL;TYPE=HOME:" + EscapeText(c.HomeTelephoneNumber));
  AppendLine(out, "ADR;TYPE=HOME:;;" + EscapeText(c.HomeAddress) + ";;;;");
  AppendLine(out, "CATEGORIES:New Caller");
  AppendLine(out, "END:VCARD");
  return out;
}

CreatedContact CreateContact(const std::string& folder, const NewContact& contact) {
  CreatedContact created;
  const std::string uid = NewUuid();
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += uid + ".vcf";
  created.status = WriteFileAtomic(path, ContactVCard(contact, uid));
  if (created.status) created.path = std::move(path);
  return created;
}
