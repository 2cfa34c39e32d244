#include "lookup/CallerIdentifier.h"

#include <exception>
#include <utility>

#include "common/ControlBytes.h"
#include "lookup/ContactBook.h"
#include "lookup/NumberFormat.h"
#include "lookup/InternetLookup.h"
#include "lookup/NameLookup.h"
#include "lookup/PhonebookBuild.h"
#include "lookup/ReverseLookup.h"

namespace {
constexpr const char* kType = "xapvynCID";
}

CallerIdentifier::CallerIdentifier(const Settings& settings, Hooks hooks, QObject* parent)
    : QObject(parent),
      settings_(settings),
      hooks_(std::move(hooks)),
      reverse_(new ReverseLookup(this)) {
  log_.logEvent = hooks_.LogEvent;
  log_.setError = hooks_.SetError;
  areaCodes_.LoadAreaCodes();
  reverse_->SetAnswerHandler(
      [this](const std::string& page, const std::string& number) { InetAnswer(page, number); });
}

CallerIdentifier::~CallerIdentifier() = default;

void CallerIdentifier::Report(const std::string& text, int location,
                              const std::string& description) {
  log_.Report(kType, text, location, description);
}

void CallerIdentifier::SetInetTimerInterval(int ms) { reverse_->SetInetTimerInterval(ms); }

bool CallerIdentifier::LookupBusy() const { return reverse_->Busy(); }

void CallerIdentifier::CancelLookup() { reverse_->Cancel(); }

void CallerIdentifier::BuildPhonebook() {
  try {
    ::BuildPhonebook(entries_, settings_, log_);
  } catch (const std::exception& e) {
    Report("BuildPhonebook ", 1, e.what());
  }
}

bool CallerIdentifier::MayCreateContact(const std::string& number) {
  const std::string key = NumberKey(number);
  std::string national = NationalNumber(key);
  if (national.empty()) national = key;
  if (entries_.FindNumber(key).has_value() || contactNumbers_.count(national) > 0) return false;
  const auto now = std::chrono::steady_clock::now();
  while (!contactTimes_.empty() && now - contactTimes_.front() >= std::chrono::minutes(1)) {
    contactTimes_.pop_front();
  }
  if (contactTimes_.size() >= kContactsPerMinute) return false;
  contactTimes_.push_back(now);
  contactNumbers_.insert(std::move(national));
  return true;
}

std::string CallerIdentifier::HSPAddressBookLookup(const std::string& number,
                                                   const std::string& name, bool fromNetwork) {
  std::string answer = NameCall(number, name, fromNetwork);
  FinishCall();
  return answer;
}

std::string CallerIdentifier::NameCall(const std::string& number, const std::string& name,
                                       bool fromNetwork) {
  followUp_ = FollowUp{};
  try {
    LookupResult r = LookupName(entries_, areaCodes_, settings_, number, name);
    lookupNumber_ = r.display;
    lastNamedBy_ = r.namedBy;
    if (!r.known && (!fromNetwork || settings_.LearnFromNetworkCalls))
      followUp_ = FollowUp{r.contactName, r.key, r.display, r.reverseLookup};
    return r.Answer();
  } catch (const std::exception& e) {
    Report("HSPAddressBookLookup ", 1, e.what());
    return {};
  }
}

void CallerIdentifier::FinishCall() {
  const FollowUp f = std::exchange(followUp_, FollowUp{});
  int step = 2;
  try {
    if (!f.contactName.empty() && ConnectOutlook(settings_) && MayCreateContact(f.key)) {
      NewContact contact;
      auto [first, last] =
          SplitAtFirstSpace(CutName(WithControlBytesBlanked(f.contactName), kMaxContactName));
      contact.FirstName = std::move(first);
      contact.LastName = std::move(last);
      contact.HomeTelephoneNumber = f.display;
      // A contact that cannot be written must not cost the call its name.
      if (CreatedContact made = CreateContact(settings_.ContactBookFolder, contact);
          !made.status) {
        Report("HSPAddressBookLookup ", made.status.location, made.status.description);
      }
    }
    step = 3;
    if (f.reverseLookup) GetURL(f.key, f.display);
  } catch (const std::exception& e) {
    Report("HSPAddressBookLookup ", step, e.what());
  }
}

void CallerIdentifier::GetURL(const std::string& key, const std::string& displayNumber) {
  std::string url;
  try {
    url = ReverseLookupURL(settings_.ReverseLookupBaseURL, key);
  } catch (const std::exception& e) {
    Report("GetURL", 1, e.what());
    return;
  }
  if (url.empty()) return;
  if (!reverse_->GetURL(url, displayNumber)) {
    Report("TCPClient GetURL " + url, 1, "the URL is not a valid http address");
  }
}

void CallerIdentifier::InetAnswer(const std::string& page, const std::string& number) {
  std::string name;
  try {
    name = InternetLookup(page);
  } catch (const std::exception& e) {
    Report("InternetLookup", 1, e.what());
  }
  int step = 4;
  try {
    lastFoundName_ = name;
    if (name.empty()) return;
    step = 6;
    if (hooks_.Renamed) hooks_.Renamed(name, number);
    if (!settings_.Outlook) return;
    step = 9;
    auto [first, last] = SplitAtFirstSpace(CutName(name, kMaxContactName));
    step = 10;
    if (ConnectOutlook(settings_) && MayCreateContact(number)) {
      NewContact contact;
      contact.FirstName = first;
      contact.LastName = last;
      contact.HomeTelephoneNumber = number;
      if (CreatedContact made = CreateContact(settings_.ContactBookFolder, contact); !made.status) {
        Report("Inet State_Changed", made.status.location, made.status.description);
        return;
      }
    }
    step = 11;
    adr record;
    record.First = std::move(first);
    record.Last = std::move(last);
    AddHSP(entries_, record, number, "home");
  } catch (const std::exception& e) {
    Report("Inet State_Changed", step, e.what());
  }
}
