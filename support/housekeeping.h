#pragma once
// Start-up and exit housekeeping of the general library: the process-wide defaults, the user
// variables, the removal of leftover temporary files (names that begin with the byte 0x7F), the
// log-in state the exit procedure looks at, and the process error mode.
//
// Everything here runs on the interface thread; none of it is safe to call from another thread.
//
// INIT$() — run once at start-up, after the error handler is installed and before MAIN:
//  1. sets the defaults of RuntimeDefaults (see its comment for the values);
//  2. creates the user variables ACS_USER "USER", ACS_TEMP "", ACS_PASSWD "", ACS_LEVEL 1;
//  3. deletes, in the current folder, every plain file whose name begins with 0x7F and that is
//     not hidden (a name beginning with '.'); failures are ignored;
//  4. in the TEMP folder (TempSearchFolder()), for every folder whose name begins with 0x7F:
//     DELDIR on it, then removes it when that left it empty. A plain file there stays.
//  5. SETERRORMODE(1).
// EXIT$() — run once at the end: CLOSEALL(); then, only when a log-in is recorded
// (LoginState::name not blank), closes the log-in lock file, deletes the plain files of the
// log-in temporary folder and removes that folder, and deletes "<name>.USR" in the current
// folder when the shared lock table file kNetworkLockTable exists. Every failure is ignored.
// CLOSEALL() — there is no table layer to close; selects work area 1 and deletes the leftover
// view indexes: plain files of the log-in temporary folder (the current folder when it is "")
// named 0x7F "VIEW" ... ".NTX" (letters compared without regard to case). Failures ignored.
// DELDIR(cDir) — deletes the plain files of cDir (hidden ones included) in listing order and
// stops silently at the first one that cannot be deleted. Subfolders are never entered.
// REMOVEDIR(cDir) — removes an empty folder; true on success, false otherwise.
// SUNLOCK() — releases the multi-user locks of a log-in; there is no log-in and no lock table in
// this program, so there is never anything to release.
// SETERRORMODE(n) — sets the process error mode (platform::SetErrorMode: the system's on
// Windows; only recorded on POSIX, which has no system error boxes) and returns the previous
// one (0 at first).
//
// Safety of the clean-up: only plain files and empty folders found by name are removed. Symbolic
// links, devices, pipes and sockets are never deleted and never followed, so a link named like a
// leftover cannot lead the clean-up out of the folder being cleaned; a folder reached through a
// link is not listed. Paths given to DELDIR and REMOVEDIR go through platform::NativePath.
//
// The file-name case setting ("UPPER") is recorded only: on a case-sensitive file system it must
// not change which file a name opens, so nothing applies it to file names.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/file_system.h"

namespace kadro {

// Defaults of the runtime. Only file_name_case concerns this program; the rest is kept for the
// layers (tables, typed input, printing) that would read them.
struct RuntimeDefaults {
    std::string default_driver;   // INIT$: "DBFCDX"
    int lock_scheme = 0;          // INIT$: 4
    std::string memo_extension;   // INIT$: ".DBT"
    bool century = false;         // INIT$: on
    bool confirm = false;         // INIT$: on
    std::string date_format;      // INIT$: "dd/mm/yyyy" (follows century)
    bool hide_deleted = false;    // INIT$: on
    int epoch = 1900;             // INIT$: 1980
    std::string file_name_case;   // INIT$: "UPPER" (recorded, never applied)
    int printer_left_margin = 0;  // INIT$: 5
    int work_area = 0;            // CLOSEALL selects 1
};
RuntimeDefaults& CurrentRuntimeDefaults();

// User variables, readable and writable by name from anywhere in the program. Names compare
// without regard to case.
using UserValue = std::variant<std::string, long long, bool>;
void SetUserVariable(std::string_view name, UserValue value);
// The value, or nullopt when no variable of that name exists.
std::optional<UserValue> GetUserVariable(std::string_view name);

// Log-in state of the library. Nothing in this program logs in, so it keeps its initial values.
struct LoginState {
    std::string name = std::string(8, ' ');  // blank: no log-in
    std::string temp_dir;                    // with a trailing separator, "" when none
    platform::UniqueFd lock_file;            // lock file kept open in temp_dir, or none
};
LoginState& CurrentLoginState();

// The shared lock table whose presence makes EXIT$ remove the user's ".USR" file.
inline constexpr std::string_view kNetworkLockTable = "/QIRA/NET";

// The folder INIT$ searches for leftover folders: $TEMP as program text, or the root folder "/"
// when TEMP is unset, empty or has no program text (see platform/text.h).
std::string TempSearchFolder();

void INIT$();
void EXIT$();
void CLOSEALL();
void DELDIR(std::string_view cDir);
bool REMOVEDIR(std::string_view cDir);
void SUNLOCK();
unsigned SETERRORMODE(unsigned nMode);

}  // namespace kadro
