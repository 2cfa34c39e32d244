#pragma once
// IniTool: the INI-file engine. It loads a whole INI file into an in-memory table,
// answers reads with the caller's default, takes writes and writes the whole table
// back, sorted, after copying the old file aside. The host object makes a fresh
// engine for every single access (load, one read or one write-and-save, discard).
//
// What callers may rely on:
//  - Names are compared without regard to letter case: every section and key name is
//    folded to upper case with plain ASCII upper-casing (only a-z change; every other
//    byte, including bytes 128-255, stays as it is), whatever the process locale.
//  - The table keeps two kinds of entry, each in insertion order: sections (upper-case
//    name -> name as first given, reported by Headers) and values (upper(section) +
//    "~" + upper(key) -> value exactly as read or written, not trimmed). Values that
//    come before the first section line belong to the empty section name.
//  - Reading a file (Load / LoadText): lines end in CR LF or LF alike; each line is
//    trimmed of blanks (not tabs); ";" starts a comment; "[name]" starts a section;
//    other lines split at the first "=" into key and value, neither trimmed; of two
//    lines with the same section and key the first wins. A line without "=" is
//    skipped and reported: logEvent("IniTool", " Equal sign not found on line " +
//    trimmed line).
//  - Load of a missing file creates its folders (CreateFolders; a failure is reported
//    as logEvent("xapvynCID", " CreateFolders " + folder)) and an empty file. Any
//    failure to create or read the file is returned, not reported.
//  - Save writes upper-case names, sections sorted, keys sorted within a section
//    (byte order), values of the empty section first without a section line, no
//    comments or blank lines, every line ending in CR LF. A table key splits into
//    section and key at its first "~", unless a section name holding "~" makes that
//    line read back as another entry; then at the first "~" that reads back the same,
//    so a saved file always loads to the same values. Names of any length are
//    written in full: nothing is cut or dropped. Sections without values are not
//    written. The old file is first copied to path + "_bck" (through path + "_bck.tmp",
//    flushed and renamed over the backup); the new text is written to path + ".tmp" in
//    the same folder, flushed to disk and renamed over the path, so a save that fails
//    or is killed at any point leaves the old file and the old backup whole. A failure is
//    reported as setError(location, reason) then logEvent("xapvynCID", "IniTool Save
//    " + path) and returned; locations: 1 backup copy, 2 create temporary file,
//    3 write, 4 flush to disk, 5 rename.
//  - Keys(Header) matches table keys against the regular expression "^" + Header +
//    "~" (case-insensitive, Header taken verbatim); a header that is not a valid
//    pattern gives the empty-name list. The install operations put key and array
//    names into their patterns verbatim too; an invalid pattern is returned as an
//    error before anything is written to the source file.
//  - The install operations keep a change log beside the INI file: its file name
//    with the part from the first "." replaced by "_IniLog.txt" (vynRinglet.ini ->
//    vynRinglet_IniLog.txt); a file name without "." gets no log.
//  - Nothing throws.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/HostHooks.h"

class IniTool {
 public:
  // Save's failure locations.
  static constexpr int kSaveBackup = 1;

  explicit IniTool(HostHooks hooks = {});

  // Install operations: rewrite constant definitions in the source-text file
  // `filename` from the values of one section, and add a line to the change log.
  // Each reads the whole file, rewrites it in memory and writes it back (atomically),
  // even when nothing matched. Each rewritten line keeps its line end (CR LF or LF);
  // the old text behind the match up to the line end is dropped.
  //  InstallKeys: for every key K of HeaderName, occurrences of "(Const) *(K) *(=)"
  //    and "\n\s*(K) *(=)" get " " + value + comment behind the "=".
  //  InstallConstant: the same for the one name KeyName with KeyValue; an empty
  //    KeyName rewrites nothing.
  //  InstallStrings: "\n\s*(K)" gets the value verbatim behind the key name, no comment.
  //  InstallArray: "(Array1Name) *(=) *(Array)" gets ("NAME1","NAME2",...) + comment,
  //    "(Array2Name) *= *Array" gets (value1,value2,...) + comment; each value trimmed,
  //    cut before its first "'" and trimmed again.
  // The comment is "\t'Installed From .ini dated " + the INI file's modified time.
  HostStatus InstallKeys(const std::string& filename, const std::string& HeaderName);
  HostStatus InstallConstant(const std::string& filename, const std::string& KeyName,
                             const std::string& KeyValue);
  HostStatus InstallStrings(const std::string& filename, const std::string& HeaderName);
  HostStatus InstallArray(const std::string& filename, const std::string& HeaderName,
                          const std::string& Array1Name, const std::string& Array2Name);

  // Empties the table, remembers fPath and reads the file (see above).
  HostStatus Load(const std::string& fPath);
  // Empties the table and reads INI text from bytes; the remembered path stays.
  void LoadText(std::string_view bytes);
  void DumpHashTable() {}

  // The value of the entry; defaultvalue when there is none or it is empty.
  std::string Read(std::string_view Header, std::string_view Key,
                   std::string_view defaultvalue) const;
  // Adds the section (name as given) when missing; sets the value in place, or adds
  // it at the end of the table.
  void WriteKey(std::string_view Header, std::string_view Key, std::string_view newValue);
  // Deletes the value if present; the section stays.
  void Remove(std::string_view Header, std::string_view Key);
  // Section names as first given, in table order (empty when there is none).
  std::vector<std::string> Headers() const;
  // Upper-case key names of one section, in table order, names that are empty or all
  // blanks left out; never empty: no key gives one empty name.
  std::vector<std::string> Keys(std::string_view Header) const;
  // Empties the table; the remembered path stays.
  void Clear();
  // Writes the table to the remembered path (see above).
  HostStatus Save();
  // The exact bytes Save writes.
  std::string SaveText() const;

  const std::string& Path() const { return path_; }

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Table {
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> index;

    const Entry* Find(const std::string& key) const;
    // Adds at the end unless present; returns whether it was added.
    bool AddIfMissing(std::string key, std::string_view value);
    void Set(std::string key, std::string_view value);
    void Erase(const std::string& key);
    void Clear();
  };
  struct Rewrite {
    std::string pattern;
    std::string insert;  // replaces the text from the end of the match to the line end
  };

  std::string WriteInstallLog(const std::string& filename, const std::string& name,
                              HostStatus& status);
  HostStatus RewriteFile(const std::string& filename, const std::vector<Rewrite>& rewrites);
  void ParseLine(std::string_view line, std::string& sectionUpper);

  HostHooks hooks_;
  std::string path_;
  Table sections_;
  Table values_;
};
