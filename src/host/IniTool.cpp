#include "host/IniTool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <locale>
#include <regex>
#include <system_error>

#include "host/CreateFolders.h"
#include "host/FileIo.h"
#include "host/GeneralDate.h"

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void AppendUpper(std::string& out, std::string_view text) {
  const std::size_t start = out.size();
  out.append(text);
  for (std::size_t i = start; i < out.size(); ++i) out[i] = AsciiUpper(out[i]);
}

std::string Upper(std::string_view text) {
  std::string out;
  AppendUpper(out, text);
  return out;
}

std::string ValueKey(std::string_view header, std::string_view key) {
  std::string out;
  out.reserve(header.size() + key.size() + 1);
  AppendUpper(out, header);
  out += '~';
  AppendUpper(out, key);
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Whether the line key + "=" + value, read back, gives this key again: a key part that holds
// "=", begins with a blank or ";", or starts a line that reads as "[section]" would not.
bool ReadsBackAsKey(std::string_view key, std::string_view value) {
  if (key.find('=') != std::string_view::npos) return false;
  if (key.empty()) return true;
  if (key.front() == ' ' || key.front() == ';') return false;
  const std::string_view tail = TrimBlanks(value);
  return !(key.front() == '[' && !tail.empty() && tail.back() == ']');
}

// Where a table key splits into the section and key of its file line. A section name may
// itself hold "~" (or "=" and ";"), so the first "~" is taken unless its line would read back
// as a different entry; then the first later "~" whose line reads back the same.
std::size_t SaveSplit(std::string_view tableKey, std::string_view value) {
  const std::size_t first = tableKey.find('~');
  for (std::size_t t = first; t != std::string_view::npos; t = tableKey.find('~', t + 1)) {
    if (ReadsBackAsKey(tableKey.substr(t + 1), value)) return t;
  }
  return first;
}

bool HasRegexMeta(std::string_view text) {
  return text.find_first_of("\\^$.|?*+()[]{}") != std::string_view::npos;
}

// Case-insensitive ECMAScript pattern under the classic locale, so that case folding
// does not depend on the process locale. Throws std::regex_error for a bad pattern.
std::regex MakeRegex(const std::string& pattern,
                     std::regex::flag_type extra = std::regex::flag_type{}) {
  std::regex re;
  re.imbue(std::locale::classic());
  re.assign(pattern, std::regex::ECMAScript | std::regex::icase | extra);
  return re;
}

}  // namespace

// ---- Table -------------------------------------------------------------------

const IniTool::Entry* IniTool::Table::Find(const std::string& key) const {
  auto it = index.find(key);
  return it == index.end() ? nullptr : &entries[it->second];
}

bool IniTool::Table::AddIfMissing(std::string key, std::string_view value) {
  auto [it, added] = index.try_emplace(std::move(key), entries.size());
  if (added) entries.push_back(Entry{it->first, std::string(value)});
  return added;
}

void IniTool::Table::Set(std::string key, std::string_view value) {
  auto [it, added] = index.try_emplace(std::move(key), entries.size());
  if (added)
    entries.push_back(Entry{it->first, std::string(value)});
  else
    entries[it->second].value.assign(value);
}

void IniTool::Table::Erase(const std::string& key) {
  auto it = index.find(key);
  if (it == index.end()) return;
  const std::size_t pos = it->second;
  index.erase(it);
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(pos));
  for (auto& [k, i] : index)
    if (i > pos) --i;
}

void IniTool::Table::Clear() {
  entries.clear();
  index.clear();
}

// ---- Engine ------------------------------------------------------------------

IniTool::IniTool(HostHooks hooks) : hooks_(std::move(hooks)) {}

HostStatus IniTool::Load(const std::string& fPath) {
  Clear();
  path_ = fPath;

  std::string bytes;
  HostStatus status = ReadWholeFile(fPath, bytes);
  if (status) {
    LoadText(bytes);
    return status;
  }
  // A path through a plain file (ENOTDIR) names no file either.
  if (status.code != ENOENT && status.code != ENOTDIR) return status;

  if (CreateFoldersResult made = CreateFolders(fPath); !made)
    hooks_.Report("xapvynCID", " CreateFolders " + made.folder, 0, made.description);
  const int fd = ::open(fPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return HostStatus::Fail(3, std::strerror(errno));
  ::close(fd);
  return {};
}

void IniTool::LoadText(std::string_view bytes) {
  // A UTF-8 byte-order mark (editors on Windows write one) is no part of the first line.
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  Clear();
  std::string sectionUpper;
  while (!bytes.empty()) {
    const std::size_t nl = bytes.find('\n');
    std::string_view line = bytes.substr(0, nl);
    bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ParseLine(line, sectionUpper);
  }
}

void IniTool::ParseLine(std::string_view line, std::string& sectionUpper) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() == ';') return;
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    const std::string_view name = line.substr(1, line.size() - 2);
    sectionUpper = Upper(name);
    sections_.AddIfMissing(sectionUpper, name);
    return;
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    hooks_.Report("IniTool", " Equal sign not found on line " + std::string(line));
    return;
  }
  std::string key;
  key.reserve(sectionUpper.size() + eq + 1);
  key += sectionUpper;
  key += '~';
  AppendUpper(key, line.substr(0, eq));
  values_.AddIfMissing(std::move(key), line.substr(eq + 1));
}

std::string IniTool::Read(std::string_view Header, std::string_view Key,
                          std::string_view defaultvalue) const {
  const Entry* e = values_.Find(ValueKey(Header, Key));
  if (e == nullptr || e->value.empty()) return std::string(defaultvalue);
  return e->value;
}

void IniTool::WriteKey(std::string_view Header, std::string_view Key, std::string_view newValue) {
  sections_.AddIfMissing(Upper(Header), Header);
  values_.Set(ValueKey(Header, Key), newValue);
}

void IniTool::Remove(std::string_view Header, std::string_view Key) {
  values_.Erase(ValueKey(Header, Key));
}

std::vector<std::string> IniTool::Headers() const {
  std::vector<std::string> out;
  out.reserve(sections_.entries.size());
  for (const Entry& e : sections_.entries) out.push_back(e.value);
  return out;
}

std::vector<std::string> IniTool::Keys(std::string_view Header) const {
  std::vector<std::string> out;
  auto take = [&out](std::string_view name) {
    if (name.find_first_not_of(' ') != std::string_view::npos) out.emplace_back(name);
  };

  if (!HasRegexMeta(Header)) {
    // A plain name: the pattern is a case-insensitive prefix, no regex needed.
    std::string prefix = Upper(Header);
    prefix += '~';
    for (const Entry& e : values_.entries)
      if (e.key.compare(0, prefix.size(), prefix) == 0)
        take(std::string_view(e.key).substr(prefix.size()));
  } else {
    try {
      const std::regex re = MakeRegex("^" + std::string(Header) + "~", std::regex::nosubs);
      for (const Entry& e : values_.entries)
        if (std::regex_search(e.key, re)) take(std::string_view(e.key).substr(e.key.find('~') + 1));
    } catch (const std::regex_error&) {
      out.clear();
    }
  }
  if (out.empty()) out.emplace_back();
  return out;
}

void IniTool::Clear() {
  sections_.Clear();
  values_.Clear();
}

std::string IniTool::SaveText() const {
  struct Row {
    std::string_view section;
    std::string_view key;
    const std::string* value;
  };
  std::vector<Row> rows;
  rows.reserve(values_.entries.size());
  std::size_t size = 0;
  for (const Entry& e : values_.entries) {
    const std::size_t tilde = SaveSplit(e.key, e.value);
    const std::string_view k(e.key);
    rows.push_back(Row{k.substr(0, tilde), k.substr(tilde + 1), &e.value});
    size += e.key.size() + e.value.size() + 8;
  }
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    const int c = a.section.compare(b.section);
    return c != 0 ? c < 0 : a.key < b.key;
  });

  std::string out;
  out.reserve(size);
  std::string_view previous;
  for (const Row& r : rows) {
    if (r.section != previous) {
      out += '[';
      out += r.section;
      out += "]\r\n";
      previous = r.section;
    }
    out += r.key;
    out += '=';
    out += *r.value;
    out += "\r\n";
  }
  return out;
}

HostStatus IniTool::Save() {
  HostStatus status;
  std::error_code ec;
  if (path_.empty()) {
    status = HostStatus::Fail(kWriteCreateTemp, "No file path");
  } else if (std::filesystem::exists(path_, ec)) {
    // The backup is replaced the way the file itself is (copied beside it, flushed,
    // renamed over it): a crash in the middle of the copy leaves the previous backup
    // whole instead of an empty or half one.
    const std::string backup = path_ + "_bck";
    const std::string temp = backup + ".tmp";
    std::filesystem::copy_file(path_, temp, std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec) {
      const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || ::fsync(fd) != 0) ec = std::error_code(errno, std::generic_category());
      if (fd >= 0) ::close(fd);
    }
    if (!ec) std::filesystem::rename(temp, backup, ec);
    if (ec) {
      status = HostStatus::Fail(kSaveBackup, ec.message(), ec.value());
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
    }
  }
  if (status) status = WriteFileAtomic(path_, SaveText());
  if (!status)
    hooks_.Report("xapvynCID", "IniTool Save " + path_, status.location, status.description);
  return status;
}

// ---- Install operations ------------------------------------------------------

std::string IniTool::WriteInstallLog(const std::string& filename, const std::string& name,
                                     HostStatus& status) {
  std::chrono::system_clock::time_point modified;
  status = FileModifiedTime(path_, modified);
  if (!status) return {};
  const std::string modifiedText = GeneralDateText(modified);

  // The log sits beside the INI file, named after the INI file up to its first ".".
  std::error_code ec;
  const std::string full = std::filesystem::absolute(path_, ec).string();
  const std::size_t slash = full.rfind('/');
  const std::size_t dot = full.find('.', slash == std::string::npos ? 0 : slash + 1);
  if (dot != std::string::npos) {
    const std::string logPath = full.substr(0, dot) + "_IniLog.txt";
    std::string text;
    if (HostStatus read = ReadWholeFile(logPath, text); !read) {
      if (read.code != ENOENT) {
        status = read;
        return {};
      }
      text =
          "Run Date   /   Ini File   /   Date of Ini File    /   File Modified    /  Header "
          "Modified\r\n";
    }
    text += GeneralDateText(hooks_.Now());
    text += '\t';
    text += path_;
    text += '\t';
    text += modifiedText;
    text += '\t';
    text += filename;
    text += '\t';
    text += name;
    text += "\r\n";
    status = WriteFileAtomic(logPath, text);
    if (!status) return {};
  }
  return "\t'Installed From .ini dated " + modifiedText;
}

HostStatus IniTool::RewriteFile(const std::string& filename, const std::vector<Rewrite>& rewrites) {
  std::string text;
  if (HostStatus status = ReadWholeFile(filename, text); !status) return status;

  try {
    for (const Rewrite& rw : rewrites) {
      const std::regex re = MakeRegex(rw.pattern);
      std::size_t pos = 0;
      std::smatch m;
      while (pos <= text.size() &&
             std::regex_search(text.cbegin() + static_cast<std::ptrdiff_t>(pos), text.cend(), m, re,
                               pos > 0 ? std::regex_constants::match_prev_avail
                                       : std::regex_constants::match_default)) {
        const std::size_t end = pos + static_cast<std::size_t>(m.position(0) + m.length(0));
        // The line end is kept as it is: CR LF or a lone LF.
        std::size_t eol = text.find('\n', end);
        if (eol == std::string::npos)
          eol = text.size();
        else if (eol > end && text[eol - 1] == '\r')
          --eol;
        text.replace(end, eol - end, rw.insert);
        pos = end + rw.insert.size();
        if (m.length(0) == 0) ++pos;
      }
    }
  } catch (const std::regex_error& e) {
    return HostStatus::Fail(4, std::string("Bad pattern: ") + e.what());
  }
  return WriteFileAtomic(filename, text);
}

HostStatus IniTool::InstallKeys(const std::string& filename, const std::string& HeaderName) {
  HostStatus status;
  const std::string comment = WriteInstallLog(filename, HeaderName, status);
  if (!status) return status;
  std::vector<Rewrite> rewrites;
  for (const std::string& key : Keys(HeaderName)) {
    if (key.empty()) continue;
    const std::string insert = " " + Read(HeaderName, key, "") + comment;
    rewrites.push_back({"(Const) *(" + key + ") *(=)", insert});
    rewrites.push_back({"\\n\\s*(" + key + ") *(=)", insert});
  }
  return RewriteFile(filename, rewrites);
}

HostStatus IniTool::InstallConstant(const std::string& filename, const std::string& KeyName,
                                    const std::string& KeyValue) {
  HostStatus status;
  const std::string comment = WriteInstallLog(filename, KeyName, status);
  if (!status) return status;
  std::vector<Rewrite> rewrites;
  if (!KeyName.empty()) {
    const std::string insert = " " + KeyValue + comment;
    rewrites.push_back({"(Const) *(" + KeyName + ") *(=)", insert});
    rewrites.push_back({"\\n\\s*(" + KeyName + ") *(=)", insert});
  }
  return RewriteFile(filename, rewrites);
}

HostStatus IniTool::InstallStrings(const std::string& filename, const std::string& HeaderName) {
  HostStatus status;
  WriteInstallLog(filename, HeaderName, status);
  if (!status) return status;
  std::vector<Rewrite> rewrites;
  for (const std::string& key : Keys(HeaderName)) {
    if (key.empty()) continue;
    rewrites.push_back({"\\n\\s*(" + key + ")", Read(HeaderName, key, "")});
  }
  return RewriteFile(filename, rewrites);
}

HostStatus IniTool::InstallArray(const std::string& filename, const std::string& HeaderName,
                                 const std::string& Array1Name, const std::string& Array2Name) {
  HostStatus status;
  const std::string comment = WriteInstallLog(filename, HeaderName, status);
  if (!status) return status;
  std::string names = "(";
  std::string values = "(";
  bool first = true;
  for (const std::string& key : Keys(HeaderName)) {
    if (key.empty()) continue;
    if (!first) {
      names += ',';
      values += ',';
    }
    first = false;
    names += '"' + key + '"';
    const std::string read = Read(HeaderName, key, "");
    std::string_view value = TrimBlanks(read);
    value = TrimBlanks(value.substr(0, value.find('\'')));
    values += value;
  }
  names += ')';
  values += ')';
  return RewriteFile(filename, {{"(" + Array1Name + ") *(=) *(Array)", names + comment},
                                {"(" + Array2Name + ") *= *Array", values + comment}});
}
