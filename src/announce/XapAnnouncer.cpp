#include "announce/XapAnnouncer.h"

#include <exception>

#include "host/LocalClock.h"

void XapAnnouncer::OnCallCompleted(const CompletedCall& call) {
  Send(call.callerIdName, call.name, call.number, call.source == CallSource::Xap, call.time);
}

void XapAnnouncer::OnCallUpdated(const CompletedCall& call) {
  Send(call.name, call.name, call.displayNumber, false, std::chrono::system_clock::now());
}

void XapAnnouncer::Send(const std::string& name, const std::string& callerName,
                        const std::string& number, bool fromXap,
                        std::chrono::system_clock::time_point when) {
  try {
    const AnnounceOptions o{settings_.CIDIncoming, settings_.MessageDisplay, settings_.XapVoice,
                            settings_.FormatPrefix};
    const std::tm now = LocalTm(std::chrono::system_clock::to_time_t(when));
    bool first = true;
    AnnounceCall(name, callerName, number, o, fromXap, now,
                 [&](const std::string& target, const std::string& msgClass,
                     const std::string& section, XapItemList items) {
                   send_(target, msgClass, section, items);
                   if (!first) return;
                   first = false;
                   yield_();
                 });
  } catch (const std::exception& e) {
    if (failure_) failure_(e.what());
  } catch (...) {
    if (failure_) failure_("unknown error");
  }
}
