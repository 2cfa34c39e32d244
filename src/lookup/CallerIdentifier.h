#pragma once
// CallerIdentifier: names the callers. It owns the phonebook (PhonebookEntries), the
// area-code table and the reverse lookup, reads its options from the program's
// Settings on every call, and reaches the rest of the program only through the hooks
// it is given.
//
// - BuildPhonebook(): empties the phonebook and reads Friends.txt, the CSV address
//   book and the vCard contact folder again; names learned at run time are dropped.
//   Malformed records cost one log line each and never end the build.
// - HSPAddressBookLookup(number, name): "display number : caller name" (see
//   LookupName), and for an unknown caller the side work: a new contact in the
//   contact folder for a caller-ID name (Outlook setting on, folder present) and, for
//   a ten-character key, a reverse-lookup request when [ReverseLookup] BaseURL is set.
//   A contact is written only for a number no contact holds (the phonebook read
//   from the folder, and the contacts written since), at most kContactsPerMinute a
//   minute, with the name cut to kMaxContactName bytes.
//   Sets LookupNumber() to the display number and LastNamedBy() to where the name
//   came from. A failure is logged with
//   "HSPAddressBookLookup " and the answer is then empty; a failed contact write is
//   logged the same way but does not spoil the answer.
// - When a reverse-lookup answer names someone, for the number of that very request:
//   Renamed(name, display number) (the program announces the new name) and, with the
//   Outlook setting on, a contact (when the folder exists) and a phonebook entry
//   (always) named first + " " + last with Location "home". No name, no answer, a
//   network error or the watchdog: nothing happens and nothing is logged.
// Hooks may be left empty; an empty hook does nothing. All on the event-loop thread.
#include <QObject>
#include <chrono>
#include <deque>
#include <functional>
#include <unordered_set>
#include <string>

#include "common/CompletedCall.h"
#include "common/Settings.h"
#include "host/HostHooks.h"
#include "lookup/AreaCodes.h"
#include "lookup/Phonebook.h"

class ReverseLookup;

class CallerIdentifier : public QObject {
  Q_OBJECT
 public:
  struct Hooks {
    // The event log: pending error first (location, description), then the line.
    std::function<void(const std::string& type, const std::string& text)> LogEvent;
    std::function<void(int location, const std::string& description)> SetError;
    // The reverse lookup named the caller of an earlier call.
    std::function<void(const std::string& name, const std::string& displayNumber)> Renamed;
  };

  // settings must outlive the object. The area-code table is loaded here.
  CallerIdentifier(const Settings& settings, Hooks hooks, QObject* parent = nullptr);
  ~CallerIdentifier() override;

  void BuildPhonebook();
  void LoadAreaCodes() { areaCodes_.LoadAreaCodes(); }
  // fromNetwork: the call came from another device on the xAP network; it creates
  // no contact and starts no reverse lookup unless LearnFromNetworkCalls is on.
  std::string HSPAddressBookLookup(const std::string& number, const std::string& name,
                                   bool fromNetwork = false);
  // HSPAddressBookLookup in two halves, so a call is announced before the slow half:
  // NameCall gives the same answer and only notes what the lookup goes on to do (write
  // the caller's contact, start the reverse lookup); FinishCall does it.
  std::string NameCall(const std::string& number, const std::string& name,
                       bool fromNetwork = false);
  void FinishCall();

  // Most contacts written in one minute, and the longest name written into one.
  static constexpr std::size_t kContactsPerMinute = 10;
  static constexpr std::size_t kMaxContactName = 64;

  // The display number of the most recent lookup.
  const std::string& LookupNumber() const { return lookupNumber_; }
  NamedBy LastNamedBy() const { return lastNamedBy_; }
  // The name read from the most recent reverse-lookup answer (empty when none).
  const std::string& LastFoundName() const { return lastFoundName_; }
  const PhonebookEntries& Entries() const { return entries_; }
  const AreaCodeTable& AreaCodes() const { return areaCodes_; }

  // The reverse lookup's watchdog interval (45 s by default).
  void SetInetTimerInterval(int ms);
  bool LookupBusy() const;
  // Abandons a reverse lookup under way (for shutdown); nothing is announced for it.
  void CancelLookup();

 private:
  void GetURL(const std::string& key, const std::string& displayNumber);
  void InetAnswer(const std::string& page, const std::string& number);
  void Report(const std::string& text, int location = 0, const std::string& description = {});
  // True when a contact may be written for the number now (and counts it as written).
  bool MayCreateContact(const std::string& number);

  const Settings& settings_;
  Hooks hooks_;
  HostHooks log_;
  PhonebookEntries entries_;
  AreaCodeTable areaCodes_;
  ReverseLookup* reverse_;
  std::string lookupNumber_;
  NamedBy lastNamedBy_ = NamedBy::CallerId;
  std::string lastFoundName_;
  struct FollowUp {
    std::string contactName;  // a contact to write for this number (empty: none)
    std::string key, display;
    bool reverseLookup = false;
  };
  FollowUp followUp_;  // what the last NameCall left for FinishCall
  std::unordered_set<std::string> contactNumbers_;  // numbers given a contact at run time
  std::deque<std::chrono::steady_clock::time_point> contactTimes_;
};
