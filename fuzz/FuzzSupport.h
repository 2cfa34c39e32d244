#pragma once
// Small helpers shared by the fuzz targets: a check that stays on in release builds (assert
// is compiled out under NDEBUG), and the cutting of one input into chunks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Aborts with the failed condition, so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzz {

// The fuzzer's input as 8-bit text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return size == 0 ? std::string_view()
                   : std::string_view(reinterpret_cast<const char*>(data), size);
}

// Cuts text at every delimiter byte; n delimiters give n + 1 chunks (empty ones kept).
inline std::vector<std::string_view> SplitChunks(std::string_view text, char delimiter) {
  std::vector<std::string_view> chunks;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(delimiter, pos);
    if (hit == std::string_view::npos) {
      chunks.push_back(text.substr(pos));
      return chunks;
    }
    chunks.push_back(text.substr(pos, hit - pos));
    pos = hit + 1;
  }
}

// Takes the first byte of a chunk as a control byte (0 when the chunk is empty).
inline unsigned TakeByte(std::string_view& chunk) {
  if (chunk.empty()) return 0;
  const auto b = static_cast<unsigned char>(chunk.front());
  chunk.remove_prefix(1);
  return b;
}

inline bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace fuzz
