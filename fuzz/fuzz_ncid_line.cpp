// Fuzz target: the NCID line reader, as both ends use it. The first byte of the input sets the
// cutter's line limit (1 to 64 when below 0x80, so that inputs within the fuzzer's length
// reach the dropping of long lines; otherwise the real 4096); the rest is cut at 0xFF bytes into
// receipts fed one by one to the line cutter; every line that comes out goes through the CID: line
// reader and the client-line classifier. The lines are checked against a plain model of the cutting
// rules over the whole input, and every call read is written back as a CID: line and read again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ncid/LineCutter.h"
#include "ncid/NcidProtocol.h"

namespace {

using ncid::LineCutter;

struct Model {
  std::vector<std::string> lines;
  int overlong = 0;
};

// Lines end in LF; one CR before it is dropped; a line over the limit is dropped; an
// unfinished rest counts as dropped once it is longer than the limit and a CR.
Model Cut(std::string_view text, std::size_t limit) {
  Model m;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      if (text.size() - pos > limit + 1) ++m.overlong;
      return m;
    }
    std::string_view line = text.substr(pos, lf - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > limit)
      ++m.overlong;
    else
      m.lines.emplace_back(line);
    pos = lf + 1;
  }
}

void CheckField(const std::string& value) {
  FUZZ_CHECK(value.size() <= ncid::kMaxField);
  for (char c : value) {
    const auto b = static_cast<unsigned char>(c);
    FUZZ_CHECK(b >= 0x20 && b != 0x7F && c != '*');
  }
  FUZZ_CHECK(value.empty() || (value.front() != ' ' && value.back() != ' '));
}

void CheckLine(std::string_view line, std::size_t limit) {
  FUZZ_CHECK(line.size() <= limit);
  FUZZ_CHECK(line.find('\n') == std::string_view::npos);
  ncid::ClassifyClientLine(ncid::CleanField(line));
  const auto call = ncid::ParseCidLine(line);
  if (!call) return;
  FUZZ_CHECK(line.substr(0, 4) == "CID:");
  CheckField(call->number);
  CheckField(call->name);

  ncid::CallFields f;
  f.date = "07052026";
  f.time = "2230";
  f.line = "-";
  f.number = call->number;
  f.name = call->name;
  std::string again = ncid::FormatCallLine("CID", f);
  FUZZ_CHECK(again.size() >= 2 && again.compare(again.size() - 2, 2, "\r\n") == 0);
  again.resize(again.size() - 2);
  FUZZ_CHECK(!fuzz::HasLineBreak(again));
  std::size_t stars = 0;
  for (char c : again) stars += c == '*';
  FUZZ_CHECK(stars == 13);
  const auto back = ncid::ParseCidLine(again);
  FUZZ_CHECK(back && back->number == call->number && back->name == call->name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  const unsigned b = fuzz::TakeByte(input);
  const std::size_t limit = b < 0x80 ? b % 64 + 1 : LineCutter::kMaxLine;
  LineCutter cutter(limit);
  std::vector<std::string> lines;
  int overlong = 0;
  std::string whole;
  for (std::string_view piece : fuzz::SplitChunks(input, '\xff')) {
    whole.append(piece);
    const LineCutter::FeedResult r = cutter.Feed(piece, [&](std::string_view line) {
      CheckLine(line, limit);
      lines.emplace_back(line);
    });
    FUZZ_CHECK(r.lines >= 0 && r.overlong >= 0);
    FUZZ_CHECK(cutter.Held() <= limit + 1);
    overlong += r.overlong;
  }
  const Model model = Cut(whole, limit);
  FUZZ_CHECK(lines == model.lines);
  FUZZ_CHECK(overlong == model.overlong);
  return 0;
}
