#pragma once
// Settings files of "[Section]" headers and "Key=Value" entries, read and written the way the
// program's original desktop platform does it for its private profile files.
//
// File path: used as given after NativePath (".\\KADRO.INI" is KADRO.INI in the current
// directory). Only regular files count; anything else at that path reads as missing.
//
// Text of the file: lines end with CR LF, LF or a CR alone; a UTF-8 byte-order mark at the
// start of the file is skipped; a NUL ends the line's text (a value, a name) and what follows
// it up to the line end is ignored. A file larger than kMaxProfileFileBytes is not read at
// all (it reads as missing and is never rewritten), so memory stays bounded whatever lies at
// the path.
//
// GetPrivateProfileString contract:
//  - Copies the value of `key` in `section` to `buffer`, or `default_value` (unchanged) when the
//    file, the section or the key is missing or unreadable (CheckProfileFile tells which).
//    Reading never creates anything.
//  - Section and key names match without regard to ASCII letter case; blanks and tabs around
//    names are ignored. The first section of that name and its first entry of that key count.
//    Entries before the first section header belong to no section and never match.
//  - A value is the text after the first '=' of its line with blanks and tabs removed at both
//    ends; one enclosing pair of matching single or double quotation marks is removed.
//  - Lines whose first non-blank character is ';' are comments.
//  - At most buffer_size - 1 bytes are copied, followed by a NUL; the rest is cut off.
//    Returns the number of bytes copied, NUL not counted. With no buffer or buffer_size < 1
//    nothing is written and 0 is returned.
//  - Allocation failure while reading the file throws std::bad_alloc.
//
// WritePrivateProfileString contract:
//  - Sets `key` in `section` to `value` and returns true when the file on disk holds the new
//    value.
//  - A missing file is created holding exactly "[Section]\r\nKey=Value\r\n".
//  - A missing section is appended at the end of the file; a missing key is added right after
//    the last entry of its section (after the header when the section has none), so comments
//    and blank lines that close the section stay after it; an existing entry keeps everything
//    up to and including the '=' and the blanks after it, and gets the new value. Every other
//    byte of the file stays as it was, including the line ends of untouched lines. New lines
//    end with CR LF; a last line without a line end gets one before anything is appended.
//  - The file is replaced as a whole: the new contents go to a temporary file in the same
//    folder, which is flushed to disk and then renamed over the original, keeping its
//    permission bits. A symbolic link is followed and its target is replaced. Temporary files
//    that an interrupted earlier write left beside the file are removed (see
//    ReplaceFileContents).
//  - Returns false, leaving the original untouched and no temporary file behind, when: the
//    file exists but cannot be read completely (or is not a regular file, or is larger than
//    kMaxProfileFileBytes); the folder cannot
//    take the new file; any write, flush or rename fails; or the names or value would not read
//    back as given — an empty section or key name, a section name containing ']', a key
//    containing '=' or starting with ';' or '[', or a line break or NUL anywhere (such text
//    would otherwise inject extra lines or sections into the file).
//  - Writes from threads of this process are serialised; concurrent writers in other
//    processes are not coordinated (the last rename wins).

#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr std::uint64_t kMaxProfileFileBytes = std::uint64_t{1} << 20;

// Whether the file at a profile path can be read, and if not, why.
enum class ProfileFileAccess {
    kReadable,
    kMissing,         // nothing there (or a folder on the way is missing)
    kAccessDenied,    // exists, but this process may not read it
    kNotRegularFile,  // a directory, FIFO, device...
    kTooLarge,        // more than kMaxProfileFileBytes
    kOther,           // any other failure to open it
};

// Looks at the file without reading its contents. Never fails otherwise; never creates anything.
ProfileFileAccess CheckProfileFile(std::string_view file_path);

int GetPrivateProfileString(std::string_view section, std::string_view key,
                            std::string_view default_value, char* buffer, int buffer_size,
                            std::string_view file_path);

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, std::string_view file_path);

}  // namespace platform
