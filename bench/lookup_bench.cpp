// Speed of caller identification: building the phonebook at start-up from a Friends.txt of
// 100 000 lines, a CSV address book of 10 000 records and a vCard folder of 10 000 files
// (goal: under 1 s together, peak memory under 100 MB), and one name lookup for a known and
// an unknown number (goal: under 1 microsecond); a number in each spelling against a
// phonebook of 150 000 entries (goal: under 2 microseconds). The sources are generated once into a
// temporary folder, which is removed at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "lookup/NameLookup.h"
#include "lookup/NumberFormat.h"
#include "lookup/PhonebookBuild.h"

namespace {

constexpr int kFriendsLines = 100000;
constexpr int kCsvRecords = 10000;
constexpr int kVCards = 10000;

std::string Digits(long long n, int width) {
  std::string s = std::to_string(n);
  return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
}

// A ten-digit number in a valid-looking area code, written as people write it.
std::string Number(long long n) {
  const std::string d = "2" + Digits(n, 9);
  return "(" + d.substr(0, 3) + ") " + d.substr(3, 3) + "-" + d.substr(6);
}

class Sources {
 public:
  Sources() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lookup_bench_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) return;
    dir_ = tmpl;
    settings.FriendsLocation = dir_ + "/";
    settings.AddressBookFile = dir_ + "/addressbook.csv";
    settings.ContactBookFolder = dir_ + "/contacts";
    settings.Outlook = true;
    std::filesystem::create_directories(settings.ContactBookFolder);

    std::ofstream friends(dir_ + "/Friends.txt", std::ios::binary);
    for (int i = 0; i < kFriendsLines; ++i) {
      if (i % 100 == 0) friends << "; callers from list " << i / 100 << "\r\n";
      friends << Number(i * 7) << "\tCaller Number " << i << "\tsounds/caller" << i << ".wav\r\n";
    }

    // One address-book record in ten shares its home number with a Friends.txt line.
    std::ofstream csv(settings.AddressBookFile, std::ios::binary);
    csv << "First,Last,home_phone,cell_phone,business_phone,announce_local_wav\r\n";
    for (int i = 0; i < kCsvRecords; ++i) {
      const long long home = i % 10 == 0 ? i * 7 : 800000000LL + i;
      csv << "\"First" << i << "\",\"Last, " << i << "\"," << Number(home) << ","
          << Number(810000000LL + i) << ",," << (i % 3 == 0 ? "ring.wav" : "") << "\r\n";
    }

    for (int i = 0; i < kVCards; ++i) {
      std::ofstream card(settings.ContactBookFolder + "/" + Digits(i, 8) + "-contact.vcf",
                         std::ios::binary);
      card << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" << Digits(i, 8) << "\r\n"
           << "N:Family" << i << ";Given" << i << ";;;\r\n"
           << "FN:Given" << i << " Family" << i << "\r\n"
           << "TEL;TYPE=WORK,VOICE:" << Number(820000000LL + i) << "\r\n"
           << "TEL;TYPE=HOME:" << Number(830000000LL + i) << "\r\n"
           << "TEL;TYPE=CELL:" << Number(840000000LL + i) << "\r\n"
           << "ADR;TYPE=HOME:;;" << i << " Long Street;Springfield;;12345;\r\n"
           << "END:VCARD\r\n";
    }
  }
  ~Sources() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  bool Ok() const { return !dir_.empty(); }

  Settings settings;

 private:
  std::string dir_;
};

Sources& TheSources() {
  static Sources sources;
  return sources;
}

template <void (*Build)(PhonebookEntries&, const Settings&, const HostHooks&)>
void BM_Source(benchmark::State& state) {
  Sources& s = TheSources();
  if (!s.Ok()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const HostHooks hooks;
  std::size_t size = 0;
  for (auto _ : state) {
    PhonebookEntries entries;
    Build(entries, s.settings, hooks);
    size = entries.size();
    benchmark::DoNotOptimize(entries);
  }
  state.counters["entries"] = static_cast<double>(size);
}

BENCHMARK(BM_Source<BuildPhonebook>)->Name("BM_BuildPhonebook")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Source<BuildFriendsPhonebook>)
    ->Name("BM_BuildFriendsPhonebook")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Source<BuildHSPPhonebook>)
    ->Name("BM_BuildHSPPhonebook")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Source<BuildOutlookPhonebook>)
    ->Name("BM_BuildOutlookPhonebook")
    ->Unit(benchmark::kMillisecond);

void Lookup(benchmark::State& state, const std::string& number, const std::string& name) {
  Sources& s = TheSources();
  static PhonebookEntries entries;
  if (entries.empty()) BuildPhonebook(entries, s.settings, HostHooks());
  static const AreaCodeTable areaCodes = [] {
    AreaCodeTable t;
    t.LoadAreaCodes();
    return t;
  }();
  for (auto _ : state) {
    std::string answer = LookupName(entries, areaCodes, s.settings, number, name).Answer();
    benchmark::DoNotOptimize(answer);
  }
}

// A known contact-book number (suffix " from home") and an unknown number named by its area code.
void BM_LookupKnown(benchmark::State& state) { Lookup(state, Number(830000123), "Unknown"); }
void BM_LookupUnknown(benchmark::State& state) { Lookup(state, "(212) 555-0199", "JOHN DOE"); }
BENCHMARK(BM_LookupKnown);
BENCHMARK(BM_LookupUnknown);

// One number in each way people write it, against a phonebook of 150 000 entries
// (goal: under 2 microseconds). The entry is stored as "(555) 987-6543"; the call's
// text goes through NumberKey first, as a call's number does.
const PhonebookEntries& LargePhonebook() {
  static const PhonebookEntries entries = [] {
    PhonebookEntries e;
    for (long long i = 0; i < 150000; ++i) {
      Phonebook entry;
      entry.SetPhoneNumber(Number(i * 13));
      entry.SetName("Caller Number " + std::to_string(i));
      entry.SetLocation(i % 2 == 0 ? "home" : "work");
      e.Add(entry);
    }
    Phonebook known;
    known.SetPhoneNumber("(555) 987-6543");
    known.SetName("John Smith");
    e.Add(known);
    e.ShrinkToFit();
    return e;
  }();
  return entries;
}

void BM_FindNumber(benchmark::State& state, const char* spelling) {
  const PhonebookEntries& entries = LargePhonebook();
  for (auto _ : state) {
    std::optional<Phonebook> found = entries.FindNumber(NumberKey(spelling));
    if (!found) state.SkipWithError("not found");
    benchmark::DoNotOptimize(found);
  }
  state.counters["entries"] = static_cast<double>(entries.size());
}
BENCHMARK_CAPTURE(BM_FindNumber, ExactKey, "5559876543");
BENCHMARK_CAPTURE(BM_FindNumber, PlusOneSpaces, "+1 555 987 6543");
BENCHMARK_CAPTURE(BM_FindNumber, Dots, "555.987.6543");
BENCHMARK_CAPTURE(BM_FindNumber, OneDashes, "1-555-987-6543");

}  // namespace
