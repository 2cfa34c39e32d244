#pragma once
// FastString: a growing text buffer. Pieces are kept in a list that grows in
// steps of 100 entries, so long texts are built without copying the whole text
// on every append. Value() joins the pieces in order, without separator.
#include <string>
#include <string_view>
#include <vector>

class FastString {
 public:
  void Add(std::string_view strValue) {
    if (pieces_.size() == pieces_.capacity()) pieces_.reserve(pieces_.capacity() + 100);
    pieces_.emplace_back(strValue);
    length_ += strValue.size();
  }
  std::string Value() const {
    std::string out;
    out.reserve(length_);
    for (const auto& p : pieces_) out += p;
    return out;
  }
  void Reset() {
    pieces_.clear();
    length_ = 0;
  }

 private:
  std::vector<std::string> pieces_;
  std::size_t length_ = 0;
};
