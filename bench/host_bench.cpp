// Host services: one settings read (fresh engine, file load included) and one
// settings write (load, write, backup copy, atomic save) on a realistic vynRinglet.ini.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/Homeseer.h"
#include "host/IniTool.h"

namespace {

const char kRinglet[] =
    "[General]\r\n"
    "XAPNode=vyn6\r\n"
    "XAPPID=FF008000\r\n"
    "InsertModemCrLf=1\r\n"
    "CIDCommPort=/dev/ttyACM0\r\n"
    "CIDPortString=9600,n,8,1\r\n"
    "CIDModemInitString=AT#CID=1\r\n"
    "CIDNumberPrefix=NMBR =\r\n"
    "CIDNamePrefix=NAME =\r\n"
    "FriendsLocation=/home/user/.config/xapvynCID/Data/\r\n"
    "Outlook=1\r\n"
    "OCID=1\r\n"
    "StripPrefix=0\r\n"
    "CIDIncoming=1\r\n"
    "MessageDisplay=1\r\n"
    "XapVoice=1\r\n"
    "FormatPrefix=Call from\r\n"
    "FormatSuffix=1\r\n";

class Folder {
 public:
  Folder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "host_bench_XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
    std::filesystem::create_directories(path_ + "/Config");
    std::ofstream(path_ + "/Config/vynRinglet.ini", std::ios::binary) << kRinglet;
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void BM_GetIniSetting(benchmark::State& state) {
  Folder folder;
  Homeseer hs(folder.path());
  for (auto _ : state) {
    benchmark::DoNotOptimize(hs.GetIniSetting("General", "FormatSuffix", "1", "vynRinglet.ini"));
  }
}
BENCHMARK(BM_GetIniSetting);

void BM_LoadAllSeventeenSettings(benchmark::State& state) {
  static const char* const kKeys[] = {"XAPNode",         "XAPPID",         "InsertModemCrLf",
                                      "CIDCommPort",     "CIDPortString",  "CIDModemInitString",
                                      "CIDNumberPrefix", "CIDNamePrefix",  "FriendsLocation",
                                      "Outlook",         "OCID",           "StripPrefix",
                                      "CIDIncoming",     "MessageDisplay", "XapVoice",
                                      "FormatPrefix",    "FormatSuffix"};
  Folder folder;
  Homeseer hs(folder.path());
  for (auto _ : state) {
    for (const char* key : kKeys)
      benchmark::DoNotOptimize(hs.GetIniSetting("General", key, "", "vynRinglet.ini"));
  }
}
BENCHMARK(BM_LoadAllSeventeenSettings);

void BM_ParseOnly(benchmark::State& state) {
  IniTool ini;
  for (auto _ : state) {
    ini.LoadText(kRinglet);
    benchmark::DoNotOptimize(ini.Read("General", "FormatSuffix", "1"));
  }
}
BENCHMARK(BM_ParseOnly);

void BM_SaveIniSetting(benchmark::State& state) {
  Folder folder;
  Homeseer hs(folder.path());
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        hs.SaveIniSetting("General", "CIDCommPort", (++i & 1) ? "1" : "2", "vynRinglet.ini"));
  }
}
BENCHMARK(BM_SaveIniSetting)->Unit(benchmark::kMicrosecond);

}  // namespace
