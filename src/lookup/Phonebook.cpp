#include "lookup/Phonebook.h"

#include "lookup/NumberFormat.h"

std::string Phonebook::Key() const { return NumberKey(PhoneNumber_); }

std::string Phonebook::Name() const {
  if (Name_.find('&') == std::string::npos) return Name_;
  std::string out;
  out.reserve(Name_.size() + 8);
  for (char c : Name_) {
    if (c == '&') {
      out += "and";
    } else {
      out += c;
    }
  }
  return out;
}

bool AddHSP(PhonebookEntries& entries, const adr& record, std::string_view number,
            std::string_view kind) {
  std::string key = NumberKey(number);
  // A blank number would file every such record under one empty key.
  if (key.empty()) return false;

  auto found = entries.find(key);
  if (found != entries.end()) {
    Phonebook& e = found->second;
    if (e.LastName() == record.Last) {
      e.SetFirstName(e.FirstName() + " or " + record.First);
      e.SetName(e.FirstName() + " " + e.LastName());
    } else {
      e.SetName(e.Name() + " or " + record.First + " " + record.Last);
    }
    return true;
  }

  Phonebook entry;
  entry.SetFirstName(record.First);
  entry.SetLastName(record.Last);
  entry.SetName(record.First + " " + record.Last);
  entry.SetLocation(std::string(kind));
  entry.SetPhoneNumber(std::string(number));
  entry.SetWav(record.announce_local_wav);
  entries.emplace(std::move(key), std::move(entry));
  return true;
}
