#include "lookup/PhonebookBuild.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "host/FileIo.h"
#include "lookup/ContactBook.h"
#include "lookup/NumberFormat.h"
#include "lookup/PhonebookReaders.h"

namespace {

constexpr const char* kType = "xapvynCID";
constexpr std::uintmax_t kMaxVCardBytes = 1u << 20;             // one contact file
constexpr std::uintmax_t kMaxListBytes = 200ull * 1000 * 1000;  // Friends.txt, CSV

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Reads a source file unless it is larger than limit; a refusal or failure costs one log line.
bool ReadSource(const HostHooks& hooks, const std::string& routine, const std::string& path,
                std::uintmax_t limit, std::string& bytes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > limit) {
    hooks.Report(kType,
                 routine + path + " skipped: larger than " + std::to_string(limit) + " bytes");
    return false;
  }
  if (HostStatus read = ReadWholeFile(path, bytes); !read) {
    hooks.Report(kType, routine + path + " skipped", read.location, read.description);
    bytes = std::string();
    return false;
  }
  return true;
}

std::size_t AfterLastLineEnd(std::string_view text) {
  const std::size_t nl = text.rfind('\n');
  return nl == std::string_view::npos ? 0 : nl + 1;
}

// Reads a text file piece by piece, each piece ending where rowsEnd says its last
// complete record ends (the last piece may not), and hands each over with the number of
// its first line, so a large file is never held whole. A record that would run past a
// few pieces is cut at a line end instead. A refusal or failure costs one log line.
bool ReadLinesInPieces(const HostHooks& hooks, const std::string& routine, const std::string& path,
                       std::uintmax_t limit,
                       const std::function<void(std::string_view, int)>& onPiece,
                       std::size_t (*rowsEnd)(std::string_view) = &AfterLastLineEnd) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > limit) {
    hooks.Report(kType,
                 routine + path + " skipped: larger than " + std::to_string(limit) + " bytes");
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    hooks.Report(kType, routine + path + " skipped", 1, std::strerror(errno));
    return false;
  }
  constexpr std::size_t kPiece = 1 << 20;
  std::string buffer;
  std::size_t kept = 0;  // bytes of an unfinished line carried into the next read
  int line = 1;
  std::uintmax_t total = 0;
  for (;;) {
    buffer.resize(kept + kPiece);
    const std::size_t got = std::fread(buffer.data() + kept, 1, kPiece, file.get());
    if (std::ferror(file.get())) {
      hooks.Report(kType, routine + path + " stopped", line, std::strerror(errno));
      return false;
    }
    total += got;
    if (total > limit) {
      hooks.Report(kType,
                   routine + path + " stopped: larger than " + std::to_string(limit) + " bytes");
      return false;
    }
    const std::size_t filled = kept + got;
    const bool last = got == 0;
    const std::string_view text(buffer.data(), filled);
    std::size_t cut = last ? filled : rowsEnd(text);
    if (cut == 0 && filled > 4 * kPiece) cut = AfterLastLineEnd(text);
    if (cut > 0) {
      const std::string_view piece(buffer.data(), cut);
      onPiece(piece, line);
      line += static_cast<int>(std::count(piece.begin(), piece.end(), '\n'));
    }
    if (last) return true;
    buffer.erase(0, cut);
    kept = filled - cut;
  }
}

// The text up to the end of the header row: leading empty lines and the row itself.
std::string_view HeaderRow(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == '\n' || text.substr(start, 2) == "\r\n")) {
    start += text[start] == '\n' ? 1 : 2;
  }
  const std::size_t nl = text.find('\n', start);
  // A header row has no quoted line end; its first line end ends it.
  return nl == std::string_view::npos ? text : text.substr(0, nl + 1);
}

void ReportSkipped(const HostHooks& hooks, const std::string& routine, const std::string& file,
                   const std::vector<SkippedRecord>& skipped) {
  for (const SkippedRecord& s : skipped) {
    hooks.Report(kType,
                 routine + file + " line " + std::to_string(s.line) + " skipped: " + s.reason);
  }
}

bool HasVcfExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return ext == ".vcf";
}

}  // namespace

std::string FriendsFolder(const std::string& friendsLocation) {
  if (friendsLocation.empty() || friendsLocation.back() == '/') return friendsLocation;
  return friendsLocation + "/";
}

void BuildFriendsPhonebook(PhonebookEntries& entries, const Settings& settings,
                           const HostHooks& hooks) {
  const std::string folder = FriendsFolder(settings.FriendsLocation);
  if (folder.empty()) return;
  const std::string path = folder + "Friends.txt";
  if (!IsFile(path)) return;

  Phonebook entry;
  ReadLinesInPieces(hooks, "BuildFriendsPhonebook ", path, kMaxListBytes,
                    [&](std::string_view piece, int firstLine) {
                      ReadFriends(
                          piece, folder,
                          [&](FriendsEntry&& f) {
                            // The first line for a number wins: Add refuses a taken key.
                            entry.SetName(std::move(f.Name));
                            entry.SetWav(std::move(f.Wav));
                            entry.SetPhoneNumber(std::move(f.PhoneNumber));
                            entries.Add(entry);
                          },
                          [&](SkippedRecord&& s) {
                            s.line += firstLine - 1;
                            ReportSkipped(hooks, "BuildFriendsPhonebook ", path, {s});
                          });
                    });
}

void BuildHSPPhonebook(PhonebookEntries& entries, const Settings& settings,
                       const HostHooks& hooks) {
  const std::string& path = settings.AddressBookFile;
  if (path.empty() || !IsFile(path)) return;

  // Read in pieces that end at a row end; every piece after the first is read behind a
  // copy of the header row, so it names the same columns.
  std::string header;
  int headerLines = 0;
  bool refused = false;
  std::string text;
  ReadLinesInPieces(
      hooks, "BuildHSPPhonebook ", path, kMaxListBytes,
      [&](std::string_view piece, int firstLine) {
        if (refused) return;
        const bool first = firstLine == 1;
        std::string_view bytes = piece;
        if (!first) {
          text.assign(header).append(piece);
          bytes = text;
        }
        std::string headerError;
        const bool headerValid = ReadAddressBook(
            bytes,
            [&](AddressRecord&& r) {
              if (!r.home_phone.empty()) AddHSP(entries, r.person, r.home_phone, "home");
              if (!r.cell_phone.empty()) AddHSP(entries, r.person, r.cell_phone, "cell");
              if (!r.business_phone.empty()) AddHSP(entries, r.person, r.business_phone, "work");
            },
            [&](SkippedRecord&& s) {
              s.line += first ? 0 : firstLine - 1 - headerLines;
              ReportSkipped(hooks, "BuildHSPPhonebook ", path, {s});
            },
            headerError);
        if (first) {
          if (!headerValid) {
            refused = true;
            hooks.Report(kType, "BuildHSPPhonebook " + path + " skipped: " + headerError);
            return;
          }
          header = std::string(HeaderRow(piece));
          if (header.empty() || header.back() != '\n') header += '\n';
          headerLines = static_cast<int>(std::count(header.begin(), header.end(), '\n'));
        }
      },
      &CsvCompleteRows);
}

void BuildOutlookPhonebook(PhonebookEntries& entries, const Settings& settings,
                           const HostHooks& hooks) {
  if (!ConnectOutlook(settings)) return;
  namespace fs = std::filesystem;

  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(settings.ContactBookFolder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!HasVcfExtension(name)) continue;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc)) continue;
    names.push_back(std::move(name));
  }
  if (ec) {
    hooks.Report(kType, "BuildOutlookPhonebook ", 1, ec.message());
    return;
  }
  std::sort(names.begin(), names.end());

  std::string folder = settings.ContactBookFolder;
  if (folder.back() != '/') folder += '/';
  adr record;
  auto add = [&](const VCardContact& c) {
    record.First = c.FirstName;
    record.Last = c.LastName;
    record.announce_local_wav.clear();
    for (const VCardNumber& n : c.numbers) AddHSP(entries, record, n.number, n.kind);
  };
  // The user's own contacts first, then the ones this program created, each in
  // file-name order, so the user's name wins a shared number on every run.
  std::vector<VCardContact> created;
  std::string bytes;
  for (const std::string& name : names) {
    const std::string path = folder + name;
    try {
      if (!ReadSource(hooks, "BuildOutlookPhonebook ", path, kMaxVCardBytes, bytes)) continue;
      VCardReadResult cards = ReadVCards(bytes);
      ReportSkipped(hooks, "BuildOutlookPhonebook ", path, cards.skipped);
      if (cards.contacts.empty() && cards.skipped.empty()) {
        hooks.Report(kType, "BuildOutlookPhonebook " + path + " skipped: no vCard in the file");
      }
      for (VCardContact& c : cards.contacts) {
        if (c.createdByProgram) {
          created.push_back(std::move(c));
        } else {
          add(c);
        }
      }
    } catch (const std::exception& e) {
      hooks.Report(kType, "BuildOutlookPhonebook " + path + " skipped", 1, e.what());
    }
  }
  bytes = std::string();
  for (const VCardContact& c : created) add(c);
}

void BuildPhonebook(PhonebookEntries& entries, const Settings& settings, const HostHooks& hooks) {
  entries = PhonebookEntries();
  // A failure in one source (memory exhaustion included) never costs the others.
  for (auto* build : {&BuildFriendsPhonebook, &BuildHSPPhonebook, &BuildOutlookPhonebook}) {
    try {
      build(entries, settings, hooks);
    } catch (const std::exception& e) {
      hooks.Report(kType, "BuildPhonebook ", 1, e.what());
    }
  }
  entries.ShrinkToFit();
}
