#include "lookup/Phonebook.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

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

namespace {

constexpr int kFields = 7;  // number, first, last, name, location, wav, icon
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kOwnBlockBytes = kBlockBytes / 4;  // larger records get a block of their own
constexpr int kOffsetBits = 18;                          // an offset inside a block
static_assert(kBlockBytes == std::size_t{1} << kOffsetBits);
constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kOffsetBits);

constexpr int kNameField = 3;

std::string JoinedName(std::string_view first, std::string_view last) {
  if (first.empty()) return std::string(last);
  if (last.empty()) return std::string(first);
  std::string out;
  out.reserve(first.size() + 1 + last.size());
  out.append(first).append(" ").append(last);
  return out;
}

// The bytes NumberKey keeps.
bool KeyChar(char c) { return c != '-' && c != '(' && c != ')' && c != ' '; }

struct Hasher {
  std::uint64_t h = 1469598103934665603ull;
  void Add(char c) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  std::uint64_t Value() const {
    std::uint64_t v = h ^ (h >> 32);
    v *= 0x9E3779B97F4A7C15ull;
    return v ^ (v >> 29);
  }
};

std::uint64_t RawHash(std::string_view key) {
  Hasher h;
  for (char c : key) h.Add(c);
  return h.Value();
}

// The hash of NumberKey(number), without building it.
std::uint64_t KeyHash(std::string_view number) {
  Hasher h;
  for (char c : number) {
    if (KeyChar(c)) h.Add(c);
  }
  return h.Value();
}

bool KeyEquals(std::string_view number, std::string_view key) {
  std::size_t k = 0;
  for (char c : number) {
    if (!KeyChar(c)) continue;
    if (k == key.size() || key[k] != c) return false;
    ++k;
  }
  return k == key.size();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Visits the digits of NationalNumber(text), without building it; false when there are none.
template <class Visit>
bool ForNationalDigits(std::string_view text, Visit visit) {
  std::size_t digits = 0;
  char first = 0;
  for (char c : text) {
    if (!IsDigit(c)) continue;
    if (digits == 0) first = c;
    ++digits;
  }
  bool skip = digits == 11 && first == '1';
  if (digits == 0) return false;
  for (char c : text) {
    if (!IsDigit(c)) continue;
    if (skip) {
      skip = false;
      continue;
    }
    visit(c);
  }
  return true;
}

std::uint64_t NationalHash(std::string_view text) {
  Hasher h;
  ForNationalDigits(text, [&](char c) { h.Add(c); });
  return h.Value();
}

bool NationalEquals(std::string_view number, std::string_view national) {
  std::size_t k = 0;
  bool same = true;
  const bool any = ForNationalDigits(number, [&](char c) {
    if (k >= national.size() || national[k] != c) same = false;
    ++k;
  });
  return any && same && k == national.size();
}

std::size_t VarintSize(std::size_t n) {
  std::size_t size = 1;
  while (n >= 0x80) {
    n >>= 7;
    ++size;
  }
  return size;
}

char* PutVarint(char* out, std::size_t n) {
  while (n >= 0x80) {
    *out++ = static_cast<char>((n & 0x7F) | 0x80);
    n >>= 7;
  }
  *out++ = static_cast<char>(n);
  return out;
}

const char* GetVarint(const char* in, std::size_t& n) {
  n = 0;
  int shift = 0;
  for (;;) {
    const auto b = static_cast<unsigned char>(*in++);
    n |= static_cast<std::size_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return in;
    shift += 7;
  }
}

// The fields of one packed record and its size in bytes. The name is stored as a
// length one more than its size, or as 0 when it is first and last name joined by a
// blank (as a contact's is), so that such a name takes no room.
struct Record {
  std::string_view field[kFields];
  bool joinedName = false;
  std::size_t bytes = 0;
};

Record Unpack(const char* at) {
  Record r;
  std::size_t length[kFields];
  const char* p = at;
  for (std::size_t& n : length) p = GetVarint(p, n);
  r.joinedName = length[kNameField] == 0;
  length[kNameField] = r.joinedName ? 0 : length[kNameField] - 1;
  for (int i = 0; i < kFields; ++i) {
    r.field[i] = std::string_view(p, length[i]);
    p += length[i];
  }
  r.bytes = static_cast<std::size_t>(p - at);
  return r;
}

std::string_view Number(const char* at) { return Unpack(at).field[0]; }

std::array<std::string_view, kFields> Fields(const Phonebook& e) {
  return {e.PhoneNumber(), e.FirstName(), e.LastName(), e.RawName(),
          e.Location(),    e.Wav(),       e.Icon()};
}

Phonebook ToEntry(const char* at) {
  const Record r = Unpack(at);
  Phonebook e;
  e.SetPhoneNumber(std::string(r.field[0]));
  e.SetFirstName(std::string(r.field[1]));
  e.SetLastName(std::string(r.field[2]));
  e.SetName(r.joinedName ? JoinedName(r.field[1], r.field[2]) : std::string(r.field[3]));
  e.SetLocation(std::string(r.field[4]));
  e.SetWav(std::string(r.field[5]));
  e.SetIcon(std::string(r.field[6]));
  return e;
}

}  // namespace

PhonebookEntries::PhonebookEntries(const PhonebookEntries& other) { *this = other; }

PhonebookEntries& PhonebookEntries::operator=(const PhonebookEntries& other) {
  if (this == &other) return *this;
  PhonebookEntries copy;
  copy.records_.reserve(other.records_.size());
  for (std::uint32_t id : other.records_) copy.records_.push_back(copy.Store(ToEntry(other.RecordAt(id))));
  copy.keySlots_ = other.keySlots_;
  copy.nationalSlots_ = other.nationalSlots_;
  copy.nationalCount_ = other.nationalCount_;
  *this = std::move(copy);
  return *this;
}

const char* PhonebookEntries::RecordIn(const std::vector<Block>& blocks, std::uint32_t id) {
  return blocks[id >> kOffsetBits].bytes.get() + (id & ((1u << kOffsetBits) - 1));
}

std::uint32_t PhonebookEntries::Store(const Phonebook& entry) {
  auto fields = Fields(entry);
  const bool joined = !fields[kNameField].empty() && (!fields[1].empty() || !fields[2].empty()) &&
                      fields[kNameField] == JoinedName(fields[1], fields[2]);
  if (joined) fields[kNameField] = std::string_view();
  std::size_t length[kFields];
  for (int i = 0; i < kFields; ++i) length[i] = fields[i].size();
  length[kNameField] = joined ? 0 : length[kNameField] + 1;
  std::size_t bytes = 0;
  for (int i = 0; i < kFields; ++i) bytes += VarintSize(length[i]) + fields[i].size();

  const bool own = bytes > kOwnBlockBytes;
  if (own || filling_ == kNoBlock || blocks_[filling_].size - blocks_[filling_].used < bytes) {
    if (blocks_.size() >= kMaxBlocks) throw std::length_error("phonebook full");
    const std::size_t size = own ? bytes : kBlockBytes;
    blocks_.push_back({std::make_unique<char[]>(size), size, 0});
    if (!own) filling_ = blocks_.size() - 1;
  }
  const std::size_t blockIndex = own ? blocks_.size() - 1 : filling_;
  Block& block = blocks_[blockIndex];
  char* at = block.bytes.get() + block.used;
  const auto id = static_cast<std::uint32_t>((blockIndex << kOffsetBits) | block.used);
  block.used += bytes;
  char* out = at;
  for (std::size_t n : length) out = PutVarint(out, n);
  for (std::string_view f : fields) {
    if (!f.empty()) std::memcpy(out, f.data(), f.size());
    out += f.size();
  }
  liveBytes_ += bytes;
  return id;
}

void PhonebookEntries::Insert(std::vector<std::uint32_t>& slots, std::uint32_t index,
                              std::uint64_t hash) {
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots[i] == 0) {
      slots[i] = index + 1;
      return;
    }
  }
}

void PhonebookEntries::Grow(std::vector<std::uint32_t>& slots, bool national) {
  std::vector<std::uint32_t> old = std::move(slots);
  slots.assign(std::max<std::size_t>(16, old.size() * 2), 0);
  for (std::uint32_t s : old) {
    if (s == 0) continue;
    const std::string_view number = Number(RecordAt(records_[s - 1]));
    Insert(slots, s - 1, national ? NationalHash(number) : KeyHash(number));
  }
}

bool PhonebookEntries::Add(const Phonebook& entry) {
  const std::string_view number = entry.PhoneNumber();
  if (!std::any_of(number.begin(), number.end(), KeyChar)) return false;
  if (FindExact(NumberKey(number))) return false;
  if (records_.size() >= UINT32_MAX - 1) throw std::length_error("phonebook full");

  const auto index = static_cast<std::uint32_t>(records_.size());
  records_.push_back(Store(entry));
  if ((records_.size()) * 4 > keySlots_.size() * 3) Grow(keySlots_, false);
  Insert(keySlots_, index, KeyHash(number));

  // The national index holds only numbers whose key is not already their national
  // number; those are found through the key index (IndexOf tries both).
  if (const std::string national = NationalNumber(number);
      !national.empty() && !KeyEquals(number, national) && !FindNational(national) &&
      !FindExact(national)) {
    ++nationalCount_;
    if (nationalCount_ * 4 > nationalSlots_.size() * 3) Grow(nationalSlots_, true);
    Insert(nationalSlots_, index, NationalHash(national));
  }
  return true;
}

std::optional<std::uint32_t> PhonebookEntries::FindExact(std::string_view key) const {
  if (keySlots_.empty()) return std::nullopt;
  const std::size_t mask = keySlots_.size() - 1;
  for (std::size_t i = RawHash(key) & mask; keySlots_[i] != 0; i = (i + 1) & mask) {
    const std::uint32_t index = keySlots_[i] - 1;
    if (KeyEquals(Number(RecordAt(records_[index])), key)) return index;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> PhonebookEntries::FindNational(std::string_view national) const {
  if (nationalSlots_.empty()) return std::nullopt;
  const std::size_t mask = nationalSlots_.size() - 1;
  for (std::size_t i = RawHash(national) & mask; nationalSlots_[i] != 0; i = (i + 1) & mask) {
    const std::uint32_t index = nationalSlots_[i] - 1;
    if (NationalEquals(Number(RecordAt(records_[index])), national)) return index;
  }
  return std::nullopt;
}

std::optional<std::size_t> PhonebookEntries::IndexOf(std::string_view key) const {
  if (auto exact = FindExact(key)) return *exact;
  const std::string national = NationalNumber(key);
  if (national.empty()) return std::nullopt;
  if (auto found = FindNational(national)) return *found;
  if (auto found = FindExact(national)) return *found;
  return std::nullopt;
}

std::optional<Phonebook> PhonebookEntries::Find(std::string_view key) const {
  if (auto index = FindExact(key)) return ToEntry(RecordAt(records_[*index]));
  return std::nullopt;
}

std::optional<Phonebook> PhonebookEntries::FindNumber(std::string_view key) const {
  if (auto index = IndexOf(key)) return ToEntry(RecordAt(records_[*index]));
  return std::nullopt;
}

Phonebook PhonebookEntries::At(std::size_t index) const {
  return ToEntry(RecordAt(records_.at(index)));
}

void PhonebookEntries::Replace(std::size_t index, const Phonebook& entry) {
  const char* old = RecordAt(records_.at(index));
  const std::size_t oldBytes = Unpack(old).bytes;
  liveBytes_ -= oldBytes;
  if (filling_ != kNoBlock &&
      old + oldBytes == blocks_[filling_].bytes.get() + blocks_[filling_].used) {
    // The newest record in the block being filled: written again where it was.
    blocks_[filling_].used -= oldBytes;
  } else {
    deadBytes_ += oldBytes;
  }
  records_[index] = Store(entry);
  if (deadBytes_ > liveBytes_ && deadBytes_ > kBlockBytes) Compact();
}

void PhonebookEntries::Compact() {
  std::vector<Block> old = std::move(blocks_);
  blocks_.clear();
  filling_ = kNoBlock;
  liveBytes_ = 0;
  deadBytes_ = 0;
  for (std::uint32_t& id : records_) {
    id = Store(ToEntry(RecordIn(old, id)));
  }
}

void PhonebookEntries::ForEach(const std::function<void(const Phonebook&)>& visit) const {
  for (std::uint32_t id : records_) visit(ToEntry(RecordAt(id)));
}

void PhonebookEntries::ShrinkToFit() {
  records_.shrink_to_fit();
  if (filling_ == kNoBlock) return;
  Block& block = blocks_[filling_];
  if (block.used < block.size && block.used > 0) {
    // The block being filled keeps its place (records name it by index) at its exact size.
    auto exact = std::make_unique<char[]>(block.used);
    std::memcpy(exact.get(), block.bytes.get(), block.used);
    block.bytes = std::move(exact);
    block.size = block.used;
  }
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
  const std::string key = NumberKey(number);
  // A blank number would file every such record under one empty key.
  if (key.empty()) return false;

  if (const auto index = entries.IndexOf(key)) {
    const std::string full = FullName(record.First, record.Last);
    if (full.empty()) return true;
    Phonebook e = entries.At(*index);
    if (!e.LastName().empty() && e.LastName() == record.Last && !e.FirstName().empty() &&
        !record.First.empty()) {
      e.SetFirstName(e.FirstName() + " or " + record.First);
      e.SetName(e.FirstName() + " " + e.LastName());
    } else if (e.Name().empty()) {
      e.SetName(full);
    } else {
      e.SetName(e.Name() + " or " + full);
    }
    entries.Replace(*index, e);
    return true;
  }

  Phonebook entry;
  entry.SetFirstName(record.First);
  entry.SetLastName(record.Last);
  entry.SetName(FullName(record.First, record.Last));
  entry.SetLocation(std::string(kind));
  entry.SetPhoneNumber(std::string(number));
  entry.SetWav(record.announce_local_wav);
  entries.Add(entry);
  return true;
}
