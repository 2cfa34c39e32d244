// Memory of the phonebook built from large sources: a 50 MB Friends.txt, a 40 MB CSV
// address book and a 100 MB contact folder of files under 1 MB each (goal: peak under 3
// times the source size, settled under 2 times). The sources are generated into a
// temporary folder; each is then built by BuildPhonebook in a process of its own (this
// program run again with --measure), so that the peak (VmHWM) of one source is not the
// peak of another. Growth is measured from the resident size before the build; "settled"
// is the resident size with the phonebook still held, after malloc_trim(0).
//
// Run: build/bench/phonebook_memory [scale]   (scale 1 = the sizes above; 0.1 for a quick look)
#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "lookup/PhonebookBuild.h"

namespace {

namespace fs = std::filesystem;

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') {
      return std::stol(line.substr(n + 1));
    }
  }
  return -1;
}

std::string Digits(long long n, int width) {
  std::string s = std::to_string(n);
  return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
}

std::string Number(long long n) {
  const std::string d = "2" + Digits(n % 1000000000LL, 9);
  return "(" + d.substr(0, 3) + ") " + d.substr(3, 3) + "-" + d.substr(6);
}

std::uintmax_t WriteFriends(const fs::path& path, std::uintmax_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::uintmax_t written = 0;
  for (long long i = 0; written < bytes; ++i) {
    std::string line = Number(i * 7) + "\tCaller Number " + std::to_string(i);
    if (i % 4 == 0) line += "\tsounds/caller" + std::to_string(i) + ".wav";
    line += "\r\n";
    out << line;
    written += line.size();
  }
  return written;
}

std::uintmax_t WriteCsv(const fs::path& path, std::uintmax_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::string header = "First,Last,home_phone,cell_phone,business_phone,announce_local_wav\r\n";
  out << header;
  std::uintmax_t written = header.size();
  for (long long i = 0; written < bytes; ++i) {
    std::string row = "\"First" + std::to_string(i) + "\",\"Last, " + std::to_string(i) + "\"," +
                      Number(300000000LL + i) + "," + Number(400000000LL + i) + ",," +
                      (i % 3 == 0 ? "ring.wav" : "") + "\r\n";
    out << row;
    written += row.size();
  }
  return written;
}

std::uintmax_t WriteVCards(const fs::path& folder, std::uintmax_t bytes) {
  fs::create_directories(folder);
  constexpr std::uintmax_t kFileBytes = 1000 * 1000;  // under the 1 MB limit per file
  std::uintmax_t written = 0;
  long long card = 0;
  for (int file = 0; written < bytes; ++file) {
    std::ofstream out(folder / (Digits(file, 6) + "-contacts.vcf"), std::ios::binary);
    std::uintmax_t inFile = 0;
    while (inFile + 400 < kFileBytes && written + inFile < bytes) {
      const std::string i = std::to_string(card);
      std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + Digits(card, 10) + "\r\n" +
                         "N:Family" + i + ";Given" + i + ";;;\r\n" + "FN:Given" + i + " Family" +
                         i + "\r\n" + "TEL;TYPE=WORK,VOICE:" + Number(500000000LL + card) + "\r\n" +
                         "TEL;TYPE=HOME:" + Number(600000000LL + card) + "\r\n" + "item1.TEL:+1 " +
                         Number(700000000LL + card) + "\r\n" + "ADR;TYPE=HOME:;;" + i +
                         " Long Street;Springfield;;12345;\r\n" + "END:VCARD\r\n";
      out << text;
      inFile += text.size();
      ++card;
    }
    written += inFile;
  }
  return written;
}

// The child: builds one source and prints "entries peak_kb settled_kb base_kb".
int Measure(const std::string& source, const std::string& dir) {
  Settings settings;
  settings.Outlook = false;
  if (source == "friends") settings.FriendsLocation = dir + "/";
  if (source == "csv") settings.AddressBookFile = dir + "/addressbook.csv";
  if (source == "vcard") {
    settings.ContactBookFolder = dir + "/contacts";
    settings.Outlook = true;
  }
  const long base = StatusKb("VmRSS");
  PhonebookEntries entries;
  BuildPhonebook(entries, settings, HostHooks());
  const long peak = StatusKb("VmHWM");
  malloc_trim(0);
  const long settled = StatusKb("VmRSS");
  std::printf("%zu %ld %ld %ld\n", entries.size(), peak, settled, base);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--measure") return Measure(argv[2], argv[3]);
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const auto mb = [&](double n) { return static_cast<std::uintmax_t>(n * scale * 1000 * 1000); };

  std::string tmpl = (fs::temp_directory_path() / "phonebook_memory_XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = tmpl;
  struct Source {
    const char* name;
    std::uintmax_t bytes;
  };
  std::vector<Source> sources = {{"friends", WriteFriends(dir / "Friends.txt", mb(50))},
                                 {"csv", WriteCsv(dir / "addressbook.csv", mb(40))},
                                 {"vcard", WriteVCards(dir / "contacts", mb(100))}};

  std::printf("%-8s %10s %9s %11s %6s %13s %6s\n", "source", "size MB", "entries", "peak+ MB", "x",
              "settled+ MB", "x");
  for (const Source& s : sources) {
    const std::string command =
        fs::read_symlink("/proc/self/exe").string() + " --measure " + s.name + " " + dir.string();
    FILE* child = ::popen(command.c_str(), "r");
    std::size_t entries = 0;
    long peak = 0, settled = 0, base = 0;
    if (child == nullptr ||
        std::fscanf(child, "%zu %ld %ld %ld", &entries, &peak, &settled, &base) != 4) {
      std::printf("%-8s measurement failed\n", s.name);
      if (child != nullptr) ::pclose(child);
      continue;
    }
    ::pclose(child);
    const double size = static_cast<double>(s.bytes) / 1e6;
    const double peakMb = static_cast<double>(peak - base) * 1024 / 1e6;
    const double settledMb = static_cast<double>(settled - base) * 1024 / 1e6;
    std::printf("%-8s %10.1f %9zu %11.1f %6.2f %13.1f %6.2f\n", s.name, size, entries, peakMb,
                peakMb / size, settledMb, settledMb / size);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
