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

bool PhonebookEntries::Add(std::string key, Phonebook entry) {
  auto [it, added] = emplace(std::move(key), std::move(entry));
  if (added) IndexNational(it->first);
  return added;
}

void PhonebookEntries::IndexNational(const std::string& key) {
  std::string national = NationalNumber(key);
  if (!national.empty()) national_.emplace(std::move(national), key);
}

const Phonebook* PhonebookEntries::FindNumber(const std::string& key) const {
  if (auto found = find(key); found != end()) return &found->second;
  if (national_.empty()) return nullptr;
  const std::string national = NationalNumber(key);
  if (national.empty()) return nullptr;
  auto n = national_.find(national);
  if (n == national_.end()) return nullptr;
  auto found = find(n->second);
  return found == end() ? nullptr : &found->second;
}

namespace {

std::string FullName(const std::string& first, const std::string& last) {
  if (first.empty()) return last;
  if (last.empty()) return first;
  return first + " " + last;
}

}  // namespace

bool AddHSP(PhonebookEntries& entries, const adr& record, std::string_view number,
            std::string_view kind) {
  std::string key = NumberKey(number);
  // A blank number would file every such record under one empty key.
  if (key.empty()) return false;

  auto* found = const_cast<Phonebook*>(entries.FindNumber(key));
  if (found != nullptr) {
    Phonebook& e = *found;
    const std::string full = FullName(record.First, record.Last);
    if (full.empty()) return true;
    if (!e.LastName().empty() && e.LastName() == record.Last && !e.FirstName().empty() &&
        !record.First.empty()) {
      e.SetFirstName(e.FirstName() + " or " + record.First);
      e.SetName(e.FirstName() + " " + e.LastName());
    } else if (e.Name().empty()) {
      e.SetName(full);
    } else {
      e.SetName(e.Name() + " or " + full);
    }
    return true;
  }

  Phonebook entry;
  entry.SetFirstName(record.First);
  entry.SetLastName(record.Last);
  entry.SetName(FullName(record.First, record.Last));
  entry.SetLocation(std::string(kind));
  entry.SetPhoneNumber(std::string(number));
  entry.SetWav(record.announce_local_wav);
  entries.Add(std::move(key), std::move(entry));
  return true;
}
