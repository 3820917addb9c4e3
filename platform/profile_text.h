#pragma once
// The text side of profile files, without any file: finding a value and changing one in the
// text of a whole file. platform/profile.h states the format (line ends, byte-order mark,
// NUL, names, values, comments) and where an update puts its lines; these functions are that
// format, and the file functions there only add the reading and the atomic replacement.
//
// FindProfileValue: the value of `key` in `section` (names trimmed and matched without regard
// to ASCII letter case; the first section of that name and its first entry of that key count),
// trimmed and unquoted, as a view into `text`; nullopt when the section or key is missing.
//
// UpdateProfileText: `text` with `key` in `section` set to `value`, changing nothing else;
// nullopt, without looking at `text`, for names or a value that would not read back as given
// (see WritePrivateProfileString). Neither function fails otherwise, except std::bad_alloc.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key);

std::optional<std::string> UpdateProfileText(std::string text, std::string_view section,
                                             std::string_view key, std::string_view value);

}  // namespace platform
