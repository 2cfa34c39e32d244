// Speed of the xAP message model on a typical call announcement: reading a received
// CID.Incoming message (goal: well under 2 microseconds) and building the same message.
#include <benchmark/benchmark.h>

#include <string>

#include "xap/XapMessage.h"

namespace {

struct Item {
  const char* name;
  const char* value;
};

const Item kCidItems[] = {
    {"Type", "Voice"},
    {"DateTime", "20261205184512"},
    {"Phone", "2015551234"},
    {"RNNumber", "Available"},
    {"Formatted_Date", "Saturday, December 05, 2026"},
    {"Formatted_Time", "6:45:12 PM"},
    {"Name", "Jonathan Q. Smithers-Wellington from Hackensack, NJ"},
    {"RNName", "Available"},
    {"Formatted_Number", "(201) 555-1234"},
    {"Line", "1"},
};

void Build(XapMessage& m) {
  m.msgClass("CID.Incoming");
  m.msgSource("vyn.CID.LIVINGROOM-PC");
  m.msgTarget("vyn.Display.Kitchen");
  m.msgUID("FF008000");
  m.AddHeader();
  m.AddSection("CID.Incoming");
  for (const Item& item : kCidItems) m.AddItem("CID.Incoming", item.name, item.value);
}

std::string CidText() {
  XapMessage m;
  Build(m);
  return m.ToXap();
}

void BM_FromXapCidIncoming(benchmark::State& state) {
  const std::string text = CidText();
  for (auto _ : state) {
    XapMessage m;
    m.FromXap(text);
    benchmark::DoNotOptimize(m);
  }
  state.counters["msg_bytes"] = static_cast<double>(text.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FromXapCidIncoming);

// What the request handler does with a received call: parse, test the class, take two items.
void BM_FromXapAndReadCall(benchmark::State& state) {
  const std::string text = CidText();
  for (auto _ : state) {
    XapMessage m;
    m.FromXap(text);
    bool isCall = m.CompareClass("cid.incoming");
    std::string name = m.GetItem("CID.Incoming", "Name");
    std::string phone = m.GetItem("CID.Incoming", "Phone");
    benchmark::DoNotOptimize(isCall);
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(phone);
  }
  state.counters["msg_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_FromXapAndReadCall);

void BM_ToXapCidIncoming(benchmark::State& state) {
  for (auto _ : state) {
    XapMessage m;
    Build(m);
    std::string text = m.ToXap();
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ToXapCidIncoming);

}  // namespace
