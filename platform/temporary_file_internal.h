#pragma once
// Private to platform/ (both system backends use it): the temporary file that
// ReplaceFileContents (file_read.h) writes beside the file it replaces, the same on every system.
// Each system's file_read_<system>.cpp supplies the calls as a `System` class:
//   Handle, Path (a string of Char)    an open file, a native path
//   kMark                               the character that begins a temporary file's name
//   kSeparators                         the characters that end a path's folder part
//   no_handle()                         the Handle of no file
//   close(handle) -> bool               closes; false when the system reports a failure
//   remove(path)                        deletes the file, quietly
//   process_id() -> std::uint32_t       this process
//   remove_leftovers(folder, name)      deletes the temporary files made for `name` in `folder`
//                                       whose writing process has ended (see TemporaryFileWriter)
//   create_new(path, &taken) -> Handle  creates and opens a file that must not exist yet;
//                                       no_handle() on failure, with `taken` true when trying
//                                       another name may succeed
//
// A temporary file is named "<mark><name>.<process id>.<counter>.tmp".
//
// TemporaryFileName(mark, name, process, counter): that name.
// TemporaryFileWriter(entry, mark, name): the process id in `entry` when it is such a name made
// for `name` (both numbers 1 to 9 digits), else 0.
//
// TemporaryFile: closed always (close() may also be called early, to see its result), removed
// unless keep() was called once it was moved into place.
//
// CreateTemporaryNextTo(target): removes the leftovers for `target`, then makes a new temporary
// file in its folder, trying up to 100 names; empty when none could be made.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform::detail {

template <typename Char>
std::basic_string<Char> TemporaryFileName(Char mark, std::basic_string_view<Char> name,
                                          std::uint32_t process, unsigned counter) {
    std::basic_string<Char> result(1, mark);
    result.append(name);
    for (const std::string& number : {std::to_string(process), std::to_string(counter)}) {
        result.push_back(Char('.'));
        result.append(number.begin(), number.end());
    }
    for (char c : std::string_view(".tmp")) {
        result.push_back(Char(c));
    }
    return result;
}

template <typename Char>
std::uint32_t TemporaryFileWriter(std::basic_string_view<Char> entry, Char mark,
                                  std::basic_string_view<Char> name) {
    using View = std::basic_string_view<Char>;
    std::basic_string<Char> prefix(1, mark);
    prefix.append(name).push_back(Char('.'));
    constexpr Char kSuffix[] = {Char('.'), Char('t'), Char('m'), Char('p')};
    const View suffix(kSuffix, 4);
    // The prefix and the suffix may share their dot ("<mark><name>.tmp"): such a name holds no
    // numbers, and taking both off would run past its start.
    if (entry.size() < prefix.size() + suffix.size() || !entry.starts_with(prefix) ||
        !entry.ends_with(suffix)) {
        return 0;
    }
    entry.remove_prefix(prefix.size());
    entry.remove_suffix(suffix.size());
    const std::size_t dot = entry.find(Char('.'));
    const auto all_digits = [](View digits) {
        return !digits.empty() && digits.size() <= 9 &&
               std::all_of(digits.begin(), digits.end(),
                           [](Char c) { return c >= Char('0') && c <= Char('9'); });
    };
    if (dot == View::npos || !all_digits(entry.substr(0, dot)) ||
        !all_digits(entry.substr(dot + 1))) {
        return 0;
    }
    std::uint32_t process = 0;
    for (Char c : entry.substr(0, dot)) {
        process = process * 10 + static_cast<std::uint32_t>(c - Char('0'));
    }
    return process;
}

template <typename System>
class TemporaryFile {
  public:
    using Handle = typename System::Handle;
    using Path = typename System::Path;

    TemporaryFile(Handle handle, Path path) : m_handle(handle), m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        close();
        if (!m_kept) {
            System::remove(m_path);
        }
    }

    Handle handle() const { return m_handle; }
    const Path& path() const { return m_path; }
    bool close() {
        if (m_handle == System::no_handle()) {
            return true;
        }
        return System::close(std::exchange(m_handle, System::no_handle()));
    }
    void keep() { m_kept = true; }

  private:
    Handle m_handle;
    Path m_path;
    bool m_kept = false;
};

template <typename System>
std::optional<TemporaryFile<System>> CreateTemporaryNextTo(const typename System::Path& target) {
    using Path = typename System::Path;
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of(System::kSeparators);
    const Path folder = slash == Path::npos ? Path() : target.substr(0, slash + 1);
    const Path name = target.substr(slash == Path::npos ? 0 : slash + 1);
    System::remove_leftovers(folder, name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Path path =
            folder + TemporaryFileName<typename Path::value_type>(
                         System::kMark, name, System::process_id(), counter.fetch_add(1));
        bool taken = false;
        const typename System::Handle handle = System::create_new(path, &taken);
        if (handle != System::no_handle()) {
            return std::optional<TemporaryFile<System>>(std::in_place, handle, path);
        }
        if (!taken) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace platform::detail
