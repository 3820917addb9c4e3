#include "ui/file_chooser.h"

#include "platform/file_chooser.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "platform/window.h"

namespace kadro {
namespace {

constexpr std::size_t kFilterChars = 399;
constexpr std::size_t kTextChars = 255;
constexpr std::size_t kMultiSelectCapacity = 30768;
constexpr std::int64_t kDefaultFlags = 0x80C;

bool has_high_byte(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

std::u16string to_wide(const std::optional<std::string>& text, std::size_t max_chars) {
    if (!text) {
        return {};
    }
    std::u16string wide = has_high_byte(*text) && platform::IsValidUtf8(*text)
                              ? platform::Utf8ToUtf16(*text)
                              : platform::AnsiToUtf16(*text);
    if (wide.size() > max_chars) {
        wide.resize(max_chars);
    }
    return wide;
}

std::string to_result(std::u16string_view wide) {
    bool narrow = true;
    for (char16_t c : wide) {
        narrow = narrow && c < 256;
    }
    if (!narrow) {
        return platform::Utf16ToUtf8(wide);
    }
    std::string bytes;
    bytes.reserve(wide.size());
    for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c));
    }
    return bytes;
}

// Whether the file calls, given `path`, reach the file the chooser named `chosen`.
bool reads_back_as(const std::string& path, std::u16string_view chosen) {
    return platform::Utf8ToUtf16(platform::TextToUtf8(path)) == chosen;
}

// The operator learns why nothing opens; the name is shown with '?' where the code page lacks
// a character.
void tell_unusable_name(std::u16string_view chosen) {
    platform::MessageBox(platform::GetActiveWindow(),
                         "Il nome del file scelto contiene caratteri che KADRO non pu\xF2 "
                         "usare:\r\n" +
                             platform::Utf16ToAnsi(chosen) +
                             "\r\nRinominare il file o sceglierne un altro.",
                         "Attenzione", platform::MB_OK | platform::MB_ICONHAND);
}

}  // namespace

CGetFileResult CGETFILE(const CGetFileArgs& args) {
    bool any = args.cFilter || args.cTitle || args.nFilterIndex || args.cInitDir || args.lSave ||
               args.lLongNames || args.nFlags || args.cInitFile;
    if (!any) {
        return std::string();
    }
    int filter_index = static_cast<int>(args.nFilterIndex.value_or(1) & 0xFF);
    if (filter_index == 0) {
        filter_index = 1;
    }
    bool save = args.lSave.has_value() ? *args.lSave : args.cInitFile.has_value();
    bool long_names = args.lLongNames.value_or(false);
    std::int64_t given_flags = args.nFlags.value_or(kDefaultFlags);
    platform::DWORD flags = 0;
    if (given_flags != 0) {
        flags = static_cast<platform::DWORD>(given_flags);
    } else {
        flags = platform::OFN_PATHMUSTEXIST | platform::OFN_NOCHANGEDIR;
        if (save) {
            flags |= platform::OFN_HIDEREADONLY;
        }
        if (long_names) {
            flags |= platform::OFN_LONGNAMES;
        }
    }
    bool multiple = (flags & platform::OFN_ALLOWMULTISELECT) != 0;

    platform::OPENFILENAME ofn;
    ofn.owner = platform::GetActiveWindow();
    ofn.title = to_wide(args.cTitle ? args.cTitle : std::optional<std::string>("Select the file"),
                        kTextChars);
    ofn.initial_dir = to_wide(args.cInitDir, kTextChars);
    ofn.file = to_wide(args.cInitFile, kTextChars);
    ofn.filter = to_wide(args.cFilter, kFilterChars);
    for (char16_t& c : ofn.filter) {
        if (c == u'|') {
            c = u'\0';
        }
    }
    ofn.filter.append(2, u'\0');
    ofn.filter_index = filter_index;
    ofn.max_file = multiple ? kMultiSelectCapacity : kTextChars + 1;
    ofn.flags = flags;

    bool chosen = save ? platform::GetSaveFileName(&ofn) : platform::GetOpenFileName(&ofn);
    if (!chosen) {
        return std::string();
    }
    if (multiple && !save) {
        std::vector<std::string> parts;
        std::u16string_view rest(ofn.file);
        while (!rest.empty()) {
            std::size_t end = rest.find(u'\0');
            std::u16string_view part = rest.substr(0, end);
            if (part.empty()) {
                break;
            }
            parts.push_back(to_result(part));
            if (end == std::u16string_view::npos) {
                break;
            }
            rest.remove_prefix(end + 1);
        }
        return parts;
    }
    std::u16string_view path(ofn.file);
    path = path.substr(0, path.find(u'\0'));
    std::string result = to_result(path);
    if (!reads_back_as(result, path)) {
        tell_unusable_name(path);
        return std::string();
    }
    return result;
}

std::string ChosenPath(const CGetFileResult& result) {
    const std::string* path = std::get_if<std::string>(&result);
    return path != nullptr ? *path : std::string();
}

}  // namespace kadro
