#include "support/housekeeping.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kadro {
namespace {

constexpr char kLeftoverMark = '\x7F';

bool StartsWithMark(std::string_view name) {
    return !name.empty() && name.front() == kLeftoverMark;
}

// 0x7F "VIEW" <anything> ".NTX", the library's leftover view indexes.
bool IsViewIndex(std::string_view name) {
    std::string upper = platform::AsciiUpper(name);
    std::string_view view = upper;
    return view.size() >= 9 && view.starts_with("\x7FVIEW") && view.ends_with(".NTX");
}

std::map<std::string, UserValue>& user_variables() {
    static std::map<std::string, UserValue> variables;
    return variables;
}

// The log-in temporary folder without its trailing separator ("" for the current folder).
std::string LoginFolder() {
    std::string folder = platform::NativePath(CurrentLoginState().temp_dir);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

RuntimeDefaults& CurrentRuntimeDefaults() {
    static RuntimeDefaults defaults;
    return defaults;
}

void SetUserVariable(std::string_view name, UserValue value) {
    user_variables()[platform::AsciiUpper(name)] = std::move(value);
}

std::optional<UserValue> GetUserVariable(std::string_view name) {
    auto& variables = user_variables();
    auto found = variables.find(platform::AsciiUpper(name));
    if (found == variables.end()) {
        return std::nullopt;
    }
    return found->second;
}

LoginState& CurrentLoginState() {
    static LoginState state;
    return state;
}

std::string TempSearchFolder() {
    // The environment holds the file system's spelling; the file calls take the program's text.
    std::optional<std::string> text = platform::FileNameFromEnvironment("TEMP");
    if (!text || text->empty()) {
        return "/";
    }
    return platform::NativePath(*text);
}

void INIT$() {
    RuntimeDefaults& defaults = CurrentRuntimeDefaults();
    defaults.default_driver = "DBFCDX";
    defaults.lock_scheme = 4;
    defaults.memo_extension = ".DBT";
    defaults.century = true;
    defaults.confirm = true;
    defaults.date_format = defaults.century ? "dd/mm/yyyy" : "dd/mm/yy";
    defaults.hide_deleted = true;
    defaults.epoch = 1980;
    defaults.file_name_case = "UPPER";
    defaults.printer_left_margin = 5;

    SetUserVariable("ACS_USER", std::string("USER"));
    SetUserVariable("ACS_TEMP", std::string());
    SetUserVariable("ACS_PASSWD", std::string());
    SetUserVariable("ACS_LEVEL", 1LL);

    platform::DeletePlainFiles("", StartsWithMark, platform::HiddenFiles::kSkip,
                               platform::OnFailure::kContinue);
    platform::RemoveLeftoverFolders(TempSearchFolder(), std::string_view(&kLeftoverMark, 1));

    SETERRORMODE(1);
}

void CLOSEALL() {
    // No table layer exists in this program, so there are no tables to close.
    CurrentRuntimeDefaults().work_area = 1;
    platform::DeletePlainFiles(LoginFolder(), IsViewIndex, platform::HiddenFiles::kSkip,
                               platform::OnFailure::kContinue);
}

void EXIT$() {
    CLOSEALL();
    LoginState& login = CurrentLoginState();
    if (platform::IsBlank(login.name)) {
        return;
    }
    login.lock_file.reset();
    std::string folder = LoginFolder();
    if (!folder.empty()) {
        platform::DeletePlainFiles(
            folder, [](std::string_view) { return true; }, platform::HiddenFiles::kSkip,
            platform::OnFailure::kContinue);
        platform::RemoveEmptyFolder(folder);
    }
    if (platform::IsPlainFile(kNetworkLockTable)) {
        platform::DeletePlainFile(login.name + ".USR");
    }
}

void DELDIR(std::string_view cDir) {
    platform::DeletePlainFiles(
        platform::NativePath(cDir), [](std::string_view) { return true; },
        platform::HiddenFiles::kInclude, platform::OnFailure::kStop);
}

bool REMOVEDIR(std::string_view cDir) {
    return platform::RemoveEmptyFolder(platform::NativePath(cDir));
}

void SUNLOCK() {
    // The multi-user lock table belongs to the log-in code, which this program does not carry:
    // without a log-in there is nothing to release, and no log-in can be made.
}

unsigned SETERRORMODE(unsigned nMode) {
    return platform::SetErrorMode(nMode);
}

}  // namespace kadro
