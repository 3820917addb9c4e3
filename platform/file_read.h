#pragma once
// Reading an existing file without disturbing anyone else who has it open.
//
// Contract:
//  - ReadOnlyFile::open(path) opens the file at the native path `path` (a name the person chose
//    may hold any byte, backslashes included). The path is the program's text; it reaches the
//    file system as platform/text.h describes. The file is opened for reading only, shared: other
//    readers and writers may hold it open at the same time, and a file another process is writing
//    can still be read. Opening never blocks (a FIFO without a writer does not wait for one) and
//    never creates anything.
//  - Only regular files open. A directory, FIFO, device or socket is reported as
//    OpenFailure::kNotRegularFile and its descriptor is closed again at once.
//  - The result either holds an open file or the reason it could not be opened, never a
//    half-open file: the kind of failure and the system's own text for it (for a file that
//    opened but is no regular file, a text of the same style naming what it is, such as
//    "Is a directory" or "Is a FIFO"). The handle closes itself when destroyed; it can be moved,
//    not copied. A moved-from handle has size 0 and reads nothing.
//  - size() is the size found when the file was opened. Reads never go past the point the
//    file actually ends when they run: if it has shrunk meanwhile they deliver less, and they
//    never deliver bytes beyond the size found at open even if it has grown.
//  - read_byte_at fails (empty optional) at or beyond the end and on an input/output error.
//  - read_from_start(count) delivers up to `count` bytes from the beginning: fewer when the
//    file ends early or an input/output error stops the read (the bytes read so far are kept).
//    It allocates `count` bytes up front; when that is impossible it throws std::bad_alloc.
//  - read_at(offset, count) is the checked form of both: up to `count` bytes from `offset`, and
//    when an input/output error stopped the read, the system's text for it in `error` (the
//    bytes read before it are kept). A file that ends early is no error. Allocates like
//    read_from_start.
//
// ReplaceFileContents(path, contents) contract (the writing counterpart settings files need):
//  - Makes the file at NativePath(path) (program text, converted as platform/text.h says)
//    hold exactly `contents`, all or nothing: the data goes to a new temporary file in the same
//    folder, is flushed to disk, and is renamed over the original. Readers see either the old
//    or the new file, never a mixture, also after a crash.
//  - An existing file keeps its permission bits (and, where allowed, its owner); a new file
//    gets the usual permissions for new files. A symbolic link is followed and its target
//    replaced, so the link stays a link.
//  - Returns false when the file exists but may not be written (its own permission bits
//    count, not only the folder's), the path names something other than a regular file, the folder
//    is missing or refuses new files, or any write, flush or rename fails; the original is then
//    untouched and the temporary file removed.
//  - Temporary files of this same pattern for the same file whose writing process no longer
//    runs (killed before its rename) are removed before the new one is made; nothing else in
//    the folder is touched.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_handle.h"

namespace platform {

enum class OpenFailure {
    kNone,            // opened
    kNotFound,        // no such file (or a folder on the way is missing)
    kNotRegularFile,  // a directory, FIFO, device, socket...
    kAccessDenied,    // exists, but this process may not read it
    kOther,           // any other failure of the system call
};

struct ReadOnlyFileResult;

struct FileReadResult {
    std::string data;
    std::string error;  // the system's text for an input/output error; empty when none
};

bool ReplaceFileContents(std::string_view path, std::string_view contents);

class ReadOnlyFile : public FileHandle {
  public:
    static ReadOnlyFileResult open(std::string_view path);

    std::optional<unsigned char> read_byte_at(std::uint64_t offset) const;
    std::string read_from_start(std::uint64_t count) const;
    FileReadResult read_at(std::uint64_t offset, std::uint64_t count) const;

  private:
    ReadOnlyFile(std::intptr_t handle, std::uint64_t size) : FileHandle(handle, size) {}
    // One read of up to `size` bytes at `offset` into `buffer`, the part each system does its own
    // way: the count read, 0 at the end of the file; empty on an input/output error, with the
    // system's text for it in *error.
    static std::optional<std::size_t> read_once_at(std::intptr_t handle, char* buffer,
                                                   std::size_t size, std::uint64_t offset,
                                                   std::string* error);
};

struct ReadOnlyFileResult {
    std::optional<ReadOnlyFile> file;  // engaged exactly when failure == kNone
    OpenFailure failure = OpenFailure::kNone;
    std::string reason;  // the system's text for the failure; empty when opened
};

}  // namespace platform
