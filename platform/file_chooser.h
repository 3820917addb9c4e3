#pragma once
// The common file chooser, in the wide-character form of the desktop platform's call.
//
// The record mirrors the fields the program fills: the filter list as NUL-separated
// description/mask pairs ending in two NULs, the 1-based filter index, the file-name buffer
// (in: the initial name; out: the chosen path, or with OFN_ALLOWMULTISELECT the folder followed
// by the names, each NUL-terminated, then one more NUL) and its capacity in characters
// including the terminator, the start folder, the title and the flags.
//
// GetOpenFileName / GetSaveFileName show the chooser through the attached display and return
// true when the user picked a file that fits the buffer (and, with OFN_PATHMUSTEXIST, lies in
// an existing folder). Cancel, a headless display, a path that does not fit, or a missing
// folder give false and leave `file` empty. With OFN_NOCHANGEDIR the process's current
// directory is the same afterwards, whatever the chooser did.

#include <cstddef>
#include <string>

#include "platform/types.h"

namespace platform {

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_LONGNAMES = 0x00200000;

struct OPENFILENAME {
    HWND owner = 0;
    std::u16string filter;
    int filter_index = 1;
    std::u16string file;
    std::size_t max_file = 256;
    std::u16string initial_dir;
    std::u16string title;
    DWORD flags = 0;
};

bool GetOpenFileName(OPENFILENAME* ofn);
bool GetSaveFileName(OPENFILENAME* ofn);

}  // namespace platform
