#pragma once
// LookupName: the decision at the heart of HSPAddressBookLookup, without its side
// work. Given the number and caller-ID name of a completed call it gives the display
// number and the caller name:
// - a phonebook entry wins (found by its key, or else by its national number): its Name() ("&" read as "and"), with " from " and its
//   Location appended when the location is not empty and FormatSuffix is on;
// - otherwise a ten-character key is named by its area-code location (with
//   AreaCodeNames on, even when the caller-ID service sent a name; with it off
//   only when there is no caller-ID name; an area code without a location text
//   keeps the caller-ID name);
// - otherwise the caller-ID name, "Unknown" when it is empty or exactly "O".
// It also says what the caller must do for an unknown caller: create a contact
// (contactName not empty: the caller-ID name, when it is not "Unknown") and start
// the reverse lookup (reverseLookup: the key is exactly ten characters long).
// Pure C++, no Qt; at most three dictionary probes.
#include <string>
#include <string_view>

#include "common/CompletedCall.h"
#include "common/Settings.h"
#include "lookup/AreaCodes.h"
#include "lookup/Phonebook.h"

struct LookupResult {
  std::string key;
  std::string display;      // the display number of the call
  std::string callerName;   // the name the call is announced under
  bool known = false;       // the key is in the phonebook
  std::string contactName;  // unknown caller with a usable name: the name for a new contact
  bool reverseLookup = false;
  NamedBy namedBy = NamedBy::CallerId;  // where callerName came from

  // display + " : " + callerName
  std::string Answer() const { return display + " : " + callerName; }
};

LookupResult LookupName(const PhonebookEntries& entries, const AreaCodeTable& areaCodes,
                        const Settings& settings, std::string_view number, std::string_view name);
