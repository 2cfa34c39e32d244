#include "lookup/NameLookup.h"

#include "lookup/NumberFormat.h"

LookupResult LookupName(const PhonebookEntries& entries, const AreaCodeTable& areaCodes,
                        const Settings& settings, std::string_view number, std::string_view name) {
  LookupResult r;
  r.key = NumberKey(number);
  r.display = FormatPhoneNumber(r.key, settings.StripPrefix);

  if (auto found = entries.find(r.key); found != entries.end()) {
    const Phonebook& e = found->second;
    r.known = true;
    r.namedBy = NamedBy::Phonebook;
    r.callerName = e.Name();
    if (!e.Location().empty() && settings.FormatSuffix) r.callerName += " from " + e.Location();
    return r;
  }

  r.callerName = (name.empty() || name == "O") ? std::string("Unknown") : std::string(name);
  if (r.callerName != "Unknown") r.contactName = r.callerName;
  r.namedBy = r.callerName == "Unknown" ? NamedBy::Withheld : NamedBy::CallerId;
  if (r.key.size() == 10) {
    // The area code's location names the caller; an area code without a location
    // text leaves the caller-ID name, so a call is never announced with no name.
    const std::string& location = areaCodes.AreaCodeName(AreaCodeIndex(r.key));
    if (!location.empty()) {
      r.callerName = location;
      r.namedBy = NamedBy::AreaCode;
    }
    r.reverseLookup = true;
  }
  return r;
}
