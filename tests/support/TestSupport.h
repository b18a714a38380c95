#pragma once
// Shared test helpers: a scratch folder per test that also serves as the program's home
// folder, and small file helpers. Every file a test needs is made by the test itself.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Environment variables for the program under test, on POSIX and Windows alike.
inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}
inline void UnsetEnv(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

// A fresh folder under the system's temp folder, removed again when the object dies.
// With setHome, TESSAVOR_HOME points at it for the object's lifetime.
class TempDir {
public:
  explicit TempDir(bool setHome = true) {
    std::random_device rd;
    for (;;) {
      m_path = std::filesystem::temp_directory_path() /
               ("tessavor-test-" + std::to_string(rd()) + std::to_string(rd()));
      if (std::filesystem::create_directory(m_path)) break;
    }
    if (setHome) {
      const char* old = std::getenv("TESSAVOR_HOME");
      m_hadHome = old != nullptr;
      if (old) m_oldHome = old;
      SetEnv("TESSAVOR_HOME", m_path.string());
      m_setHome = true;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    if (m_setHome) {
      if (m_hadHome)
        SetEnv("TESSAVOR_HOME", m_oldHome);
      else
        UnsetEnv("TESSAVOR_HOME");
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
  std::filesystem::path m_path;
  std::string m_oldHome;
  bool m_hadHome = false;
  bool m_setHome = false;
};

inline void WriteBytes(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Little-endian appenders for building binary fixtures byte by byte.
inline void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU32BE(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutF32(Bytes& b, float f) {
  uint32_t v;
  static_assert(sizeof v == sizeof f);
  std::memcpy(&v, &f, 4);
  PutU32(b, v);
}
inline void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

}  // namespace testsupport
