#pragma once
// One value of a settings file in the editor's format (Qt's INI format, as "model.ini" is
// written), for programs that do not load Qt: "[group]" lines, "key=value" lines, ";" and
// "#" comment lines. A value in double quotes takes the escapes \\ \" \t \n \r \0 and
// \xHHHH (a code point, written as UTF-8); outside quotes the value is trimmed. A key or
// group written with other characters than letters, digits, '_', '-', '.' and '/' (which
// Qt writes %-escaped) is not found. The file is read whole, at most kMaxIniBytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr uint64_t kMaxIniBytes = 1 << 20;

// The value of `key` in `group` of the text; nullopt when there is none.
std::optional<std::string> IniTextValue(std::string_view text, std::string_view group,
                                        std::string_view key);
// The same from a file; nullopt also when the file does not exist. Raises EInOutError for
// a file that exists but cannot be read.
std::optional<std::string> IniFileValue(const std::string& path, std::string_view group,
                                        std::string_view key);
