#pragma once
// The byte layout the editor and its model reader and writer programs exchange: values as
// their bytes, and arrays and texts after a count of type TCount. The reader takes bytes that
// came from another process, so every count is checked against its limit and against the
// bytes really left before anything is allocated.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

template <typename TCount>
class TByteWriter {
public:
  template <typename T>
  void Put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    m_out.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  template <typename T>
  void PutArray(const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>);
    Put(static_cast<TCount>(values.size()));
    m_out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
  }
  void PutText(const std::string& text) {
    Put(static_cast<TCount>(text.size()));
    m_out += text;
  }
  void Append(const std::string& bytes) { m_out += bytes; }
  std::string Take() { return std::move(m_out); }

private:
  std::string m_out;
};

// `bad(what)` throws the caller's error for a damaged stream; `cutShort` is its text for
// bytes that end too early.
template <typename TCount, typename TBad>
class TByteReader {
public:
  TByteReader(std::string_view bytes, TBad bad, const char* cutShort)
      : m_bytes(bytes), m_bad(std::move(bad)), m_cutShort(cutShort) {}

  [[noreturn]] void Bad(const std::string& what) const {
    m_bad(what);
    std::abort();  // `bad` throws
  }
  template <typename T>
  T Get() {
    static_assert(std::is_trivially_copyable_v<T>);
    if (m_bytes.size() - m_at < sizeof(T)) Bad(m_cutShort);
    T value;
    std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
    m_at += sizeof value;
    return value;
  }
  // A count of at most `limit` items of `itemSize` bytes that the bytes left can hold.
  size_t Count(size_t limit, size_t itemSize, const char* what) {
    const auto n = Get<TCount>();
    if (n > limit) Bad(std::to_string(n) + " " + what + ", more than " + std::to_string(limit));
    if (itemSize > 0 && n > (m_bytes.size() - m_at) / itemSize) Bad(m_cutShort);
    return static_cast<size_t>(n);
  }
  template <typename T>
  std::vector<T> GetArray(size_t limit, const char* what) {
    const size_t n = Count(limit, sizeof(T), what);
    std::vector<T> values(n);
    if (n > 0) std::memcpy(values.data(), m_bytes.data() + m_at, n * sizeof(T));
    m_at += n * sizeof(T);
    return values;
  }
  std::string GetText(size_t limit, const char* what = "bytes in a name") {
    const size_t n = Count(limit, 1, what);
    std::string text(m_bytes.substr(m_at, n));
    m_at += n;
    return text;
  }
  bool AtEnd() const { return m_at == m_bytes.size(); }

private:
  std::string_view m_bytes;
  size_t m_at = 0;
  TBad m_bad;
  const char* m_cutShort;
};
