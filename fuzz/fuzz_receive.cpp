// Fuzz target: the receive path of the caller-ID link without its device. The input is cut
// at 0xFF bytes: the first piece picks the settings, every later piece is one receipt from
// the device, its first byte saying which timers fire around it. Each receipt goes through
// the traffic echo and the receive buffer as the link does it, with the parser behind the
// buffer and hooks that record what reaches the announcement.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "common/Settings.h"
#include "cid/CallerIdParser.h"
#include "cid/CallerRecord.h"
#include "cid/CommBuffer.h"
#include "cid/TrafficText.h"
#include "lookup/NumberFormat.h"

namespace {

struct Prefixes {
  const char* number;
  const char* name;
};
constexpr Prefixes kPrefixes[] = {
    {"NMBR =", "NAME ="}, {"NMBR=", "NAME="}, {"NUMBER:", "CALLER:"}, {"", ""}};

// Control bits of a receipt.
constexpr unsigned kTimer5Before = 1u << 0;  // Timer5 runs out before the receipt
constexpr unsigned kTimer5After = 1u << 1;   // ... or after it
constexpr unsigned kRestTimer = 1u << 2;     // the quiet-device timer runs out after it
constexpr unsigned kNested = 1u << 3;        // the next receipt arrives inside the first line

struct Rig {
  Settings settings;
  CallerRecord record;
  CallerIdParser parser{settings, record};
  CommBuffer buffer;
  TrafficText traffic;
  bool deferRest = false;

  bool timer5Running = false;
  bool restWaiting = false;
  int announced = 0;
  int sentried = 0;
  std::vector<std::string_view> pending;  // receipts fed from inside a line callback
  int depth = 0;

  Rig() {
    CallerIdParser::LinkHooks link;
    link.StartTimer5 = [this] { timer5Running = true; };
    link.StopTimer5 = [this] { timer5Running = false; };
    link.AppendCommData = [this](const std::string& text) { traffic.AppendCommData(text); };
    link.LogFailure = [](const std::string&, int, const std::string&) {
      // The hooks here never throw, so no routine may fail.
      FUZZ_CHECK(false);
    };
    link.CallReady = [this](const CallerIdCall& call) {
      ++announced;
      const std::string& name = call.name;
      const std::string& number = call.number;
      FUZZ_CHECK(!fuzz::HasLineBreak(name) && !fuzz::HasLineBreak(number));
      // Withheld-name codes never leave the parser.
      std::string upper = name;
      for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      FUZZ_CHECK(upper != "O" && upper != "P" && upper != "WITHHELD" && upper.rfind("OUT", 0) != 0);
      // The number is in display form already: formatting it again changes nothing.
      FUZZ_CHECK(FormatPhoneNumber(number, false) == number);
      ++sentried;
    };
    parser.SetLinkHooks(link);
  }

  CommBuffer::Rules BufferRules(bool defer) const {
    CommBuffer::Rules rules;
    rules.insertModemCrLf = settings.InsertModemCrLf;
    rules.numberPrefix = settings.CIDNumberPrefix;
    rules.namePrefix = settings.CIDNamePrefix;
    rules.deferRest = defer;
    return rules;
  }

  CommBuffer::Sink BufferSink() {
    CommBuffer::Sink sink;
    sink.line = [this](const std::string& line) {
      FUZZ_CHECK(!fuzz::HasLineBreak(line));
      // Another receipt may arrive while this line is handled (nested event processing).
      if (!pending.empty() && depth < 4) {
        const std::string_view next = pending.back();
        pending.pop_back();
        ProcessCommData(next);
      }
      parser.DoModem(line);
    };
    sink.frame = [this](const std::string& frame) {
      FUZZ_CHECK(!fuzz::HasLineBreak(frame));
      parser.DoModemNetCallerID(frame);
    };
    return sink;
  }

  void ProcessCommData(std::string_view text) {
    ++depth;
    traffic.AppendEventCode(2);
    traffic.AppendReceived(text, "12:34:56");
    FUZZ_CHECK(traffic.CommData().size() <= TrafficText::kLimit);
    FUZZ_CHECK(traffic.CommStatus().size() <= TrafficText::kLimit);
    const std::size_t before = buffer.Text().size();
    const CommBuffer::FeedResult fed = buffer.Feed(text, BufferRules(deferRest), BufferSink());
    if (fed.dropped > 0) FUZZ_CHECK(fed.dropped == before && before >= CommBuffer::kCapacity);
    FUZZ_CHECK(buffer.Text().size() < CommBuffer::kCapacity + text.size() || buffer.Text().empty());
    restWaiting = fed.restWaiting;
    --depth;
  }

  void Timer5() {
    if (!timer5Running) return;
    timer5Running = false;
    parser.Timer5Expired();
  }

  void RestTimer() {
    if (!restWaiting) return;
    restWaiting = false;
    buffer.TakeRest(BufferRules(false), BufferSink());
  }

  // What must hold whenever control is back in the event loop.
  void CheckIdle() const {
    FUZZ_CHECK(!(record.NameDetected && record.NumberDetected));
    FUZZ_CHECK(timer5Running == (record.NameDetected != record.NumberDetected));
    FUZZ_CHECK(announced == sentried);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> chunks = fuzz::SplitChunks(fuzz::AsText(data, size), '\xff');
  Rig rig;
  std::string_view options = chunks.front();
  const unsigned o = fuzz::TakeByte(options);
  rig.settings.InsertModemCrLf = (o & 1u) == 0;
  rig.settings.StripPrefix = (o & 2u) != 0;
  rig.deferRest = (o & 4u) != 0;
  const Prefixes& p = kPrefixes[(o >> 3) & 3u];
  rig.settings.CIDNumberPrefix = p.number;
  rig.settings.CIDNamePrefix = p.name;

  for (std::size_t i = 1; i < chunks.size(); ++i) {
    std::string_view text = chunks[i];
    const unsigned control = fuzz::TakeByte(text);
    if (control & kTimer5Before) rig.Timer5();
    rig.CheckIdle();
    if ((control & kNested) && i + 1 < chunks.size()) {
      // Handed to the first line callback; fed afterwards when no line comes.
      std::string_view next = chunks[++i];
      fuzz::TakeByte(next);
      rig.pending.push_back(next);
    }
    rig.ProcessCommData(text);
    if (!rig.pending.empty()) {
      const std::string_view next = rig.pending.back();
      rig.pending.pop_back();
      rig.ProcessCommData(next);
    }
    rig.CheckIdle();
    if (control & kTimer5After) rig.Timer5();
    if (control & kRestTimer) rig.RestTimer();
    rig.CheckIdle();
  }
  // The device goes quiet: every timer runs out.
  rig.RestTimer();
  rig.Timer5();
  rig.CheckIdle();
  FUZZ_CHECK(!rig.record.NameDetected && !rig.record.NumberDetected);
  return 0;
}
