#pragma once
// The program's 32-bit checksum: reflected polynomial 0xEDB88320, register started at 0,
// no final inversion. This is not the ZIP/PNG CRC: those start at 0xFFFFFFFF and invert
// the result. Check values: "" -> 0, "abc" -> 0xCA6598D0, "123456789" -> 0x2DFD2D88.

#include <cstdint>
#include <string>
#include <string_view>

// Checksum of `count` bytes at `data`; a count below 1 gives 0 without reading.
uint32_t Crc32Buffer(const void* data, int64_t count);

// Continues a checksum over more bytes (register in, register out).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t count);

// Checksum of the string's bytes, without terminator or case change. Strings longer than
// 255 characters are checksummed over their first 255 (the size of the work buffer names
// were copied into).
uint32_t StrCrc32(std::string_view s);

// Checksum of a whole file. A missing or unreadable file raises EInOutError naming it.
uint32_t FileCrc32(const std::string& fileName);
