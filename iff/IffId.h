#pragma once
// A 4-byte IFF identifier (chunk identifier or FORM type), and the 32-bit values that
// stand beside identifiers in files. Identifiers are compared as raw bytes, case-sensitive;
// zero and high bytes are allowed. In messages an identifier is shown as its bytes up to
// the first zero byte, control bytes escaped as every text from a file is (Text()).

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "util/StrTools.h"

// 32-bit values as they stand in a file: big-endian (IFF sizes) or little-endian (the
// game's data inside chunks).
inline uint32_t GetBE(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint32_t GetLE(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void PutBE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void PutLE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

struct TIffId {
  std::array<uint8_t, 4> Bytes{};

  constexpr TIffId() = default;
  // "VERT", "PAL ": the first four characters; a shorter text is padded with zero bytes.
  constexpr TIffId(std::string_view text) {  // NOLINT: implicit on purpose, ids are written as text
    for (size_t i = 0; i < 4 && i < text.size(); ++i) Bytes[i] = static_cast<uint8_t>(text[i]);
  }
  constexpr TIffId(const char* text) : TIffId(std::string_view(text)) {}         // NOLINT
  constexpr TIffId(const std::string& text) : TIffId(std::string_view(text)) {}  // NOLINT
  // The four bytes of `value` in memory order, least significant first.
  static TIffId FromInt(uint32_t value) {
    TIffId id;
    for (int i = 0; i < 4; ++i) id.Bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return id;
  }
  static TIffId FromBytes(const void* p) {
    TIffId id;
    std::memcpy(id.Bytes.data(), p, 4);
    return id;
  }

  // The bytes up to the first zero byte, for a message: a control byte (an escape
  // sequence planted in a file) becomes "\xNN" (QuoteForMessage).
  std::string Text() const {
    size_t n = 0;
    while (n < 4 && Bytes[n] != 0) ++n;
    return QuoteForMessage(std::string_view(reinterpret_cast<const char*>(Bytes.data()), n));
  }
  friend constexpr bool operator==(const TIffId&, const TIffId&) = default;
};
