#pragma once
// A file the program adds lines to (the wire trace), and the rename that sets a full one aside.
//
// Contract:
//  - AppendFile::open(path) opens the file at NativePath(path) (the program's text, reaching the
//    file system as platform/text.h says) for writing at its end, creating it with the usual
//    permissions for new files when it is missing; what it holds stays. Only a regular file (or
//    a link to one) opens: a folder, FIFO, device or socket is refused without blocking and
//    without a byte written. The result holds either the open file or the system's text for why
//    it could not be opened (for something that is no regular file, a text of the same style
//    such as "Is a directory"), never a half-open file.
//  - append(data) writes every byte of `data` at the end of the file, with one system call
//    unless the system takes less; it returns "" when all went, otherwise the system's text for
//    the failure (the bytes written before it stay). Other processes may read the file
//    meanwhile, and another writer's bytes are never overwritten.
//  - size() is the file's size when it was opened plus what append() wrote since.
//  - The file closes itself when destroyed; it can be moved, not copied. A moved-from file has
//    size 0 and refuses to append.
//  - RenameReplacing(from, to) gives the file `from` the name `to` in one step, replacing a file
//    of that name; both are program text and NativePath'd. "" on success, otherwise the
//    system's text, and then both names are as they were. The file must not be open through an
//    AppendFile (Windows refuses to rename an open file).
// Nothing here raises; std::bad_alloc only from building the texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_handle.h"

namespace platform {

struct AppendFileResult;

class AppendFile : public FileHandle {
  public:
    static AppendFileResult open(std::string_view path);

    std::string append(std::string_view data);

  private:
    AppendFile(std::intptr_t handle, std::uint64_t size) : FileHandle(handle, size) {}
    // One write of `data` at the end, the part each system does its own way: the count taken,
    // or nullopt with the system's text in *error.
    static std::optional<std::size_t> write_once(std::intptr_t handle, std::string_view data,
                                                 std::string* error);
};

struct AppendFileResult {
    std::optional<AppendFile> file;  // engaged exactly when `reason` is empty
    std::string reason;
};

std::string RenameReplacing(std::string_view from, std::string_view to);

}  // namespace platform
