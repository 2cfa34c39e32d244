#include "lookup/NameLookup.h"

#include "lookup/NumberFormat.h"

LookupResult LookupName(const PhonebookEntries& entries, const AreaCodeTable& areaCodes,
                        const Settings& settings, std::string_view number, std::string_view name) {
  LookupResult r;
  r.key = NumberKey(number);
  r.display = FormatPhoneNumber(r.key, settings.StripPrefix);

  if (const std::optional<Phonebook> found = entries.FindNumber(r.key)) {
    const Phonebook& e = *found;
    r.known = true;
    r.namedBy = NamedBy::Phonebook;
    r.callerName = e.Name();
    if (!e.Location().empty() && settings.FormatSuffix) r.callerName += " from " + e.Location();
    return r;
  }

  r.callerName = (name.empty() || name == "O") ? std::string("Unknown") : std::string(name);
  if (r.callerName != "Unknown") r.contactName = r.callerName;
  r.namedBy = r.callerName == "Unknown" ? NamedBy::Withheld : NamedBy::CallerId;
  // With AreaCodeNames off, a caller-ID name is kept and the location only stands in for none.
  const bool useLocation = settings.AreaCodeNames || r.namedBy == NamedBy::Withheld;
  if (r.key.size() == 10 && useLocation) {
    // The area code's location names the caller; an area code without a location
    // text leaves the caller-ID name, so a call is never announced with no name.
    const std::string& location = areaCodes.AreaCodeName(AreaCodeIndex(r.key));
    if (!location.empty()) {
      r.callerName = location;
      r.namedBy = NamedBy::AreaCode;
    }
  }
  r.reverseLookup = r.key.size() == 10;
  return r;
}
