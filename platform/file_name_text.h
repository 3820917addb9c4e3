#pragma once
// File names between the program's narrow text and a file system that names files in UTF-8.
//
// The program holds names as byte strings in its code page (Windows-1252, see text_encoding.h),
// except that the file chooser hands back a path holding a character beyond 255 in UTF-8
// (see ui/file_chooser.h). Both forms must reach the same file.
//
// FileNameToUtf8(name): the UTF-8 spelling of a name in the program's text. A name that is valid
// UTF-8 and holds at least one character beyond U+00FF is the chooser's UTF-8 form and is kept
// as it is; every other name is read byte by byte in the code page. Pure ASCII is unchanged.
// Never fails. The one ambiguous case, a code-page name whose bytes happen to form such UTF-8
// (for instance "Ä¡", bytes C4 A1), is read as UTF-8.
//
// FileNameFromUtf8(name): the program's text for a name found on disk, such that FileNameToUtf8
// gives `name` back: the code-page bytes when every character has one, else the UTF-8 bytes
// unchanged. nullopt when no program text leads back to the name: bytes that are not UTF-8
// (a name written in some other encoding), a name of C1 control characters the code page lacks,
// or a name hit by the ambiguity above. Listings leave such names out, so the program never
// acts on a file it could not name again.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::string FileNameToUtf8(std::string_view name);
std::optional<std::string> FileNameFromUtf8(std::string_view name);

}  // namespace platform
