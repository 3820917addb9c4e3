#pragma once
// The program's access to its settings file (".\\KADRO.INI": section "Impostazioni", key
// "Porta", written as "COM1" when missing or blank).
//
// GETPVPROFSTRING: the value of cKeyName in cSectionName of the file cIniPath, at most 4094
// bytes of it (read through a 4096-byte buffer declared as 4095 bytes long); cDefaultValue,
// cut the same way, when the file, section or key is missing; "" when the value is empty.
// Never creates the file. Allocation failure throws std::bad_alloc.
//
// WRITEPPROSTRING: sets cKeyName in cSectionName of cIniPath to cValue (creating the file or
// section when needed) and returns whether the file now holds it; on false the file is as it
// was. See platform/profile.h for the file format and for the names and values that are
// refused.

#include <optional>
#include <string>
#include <string_view>

namespace kadro {

// The settings file, as the program names it.
inline constexpr std::string_view kSettingsFile = ".\\KADRO.INI";

// The settings file cIniPath as the operator would look for it: the absolute path, in the
// system's spelling (/home/anna/KADRO/KADRO.INI, C:\Users\Anna\Documents\KADRO\KADRO.INI),
// in the program's code page ('?' for a character it lacks). cIniPath itself when the current
// directory cannot be found. Never fails, except std::bad_alloc.
std::string SettingsFileFullPath(std::string_view cIniPath);

// When the settings file cIniPath exists but cannot be read (no permission, not a plain file,
// too large, or any other failure to open it), the Italian message that tells the operator so,
// naming the file and the reason; nullopt when it is readable or missing. GETPVPROFSTRING
// gives the default for such a file, which must not be taken for a missing entry.
std::optional<std::string> SettingsFileProblem(std::string_view cIniPath);

std::string GETPVPROFSTRING(std::string_view cSectionName, std::string_view cKeyName,
                            std::string_view cDefaultValue, std::string_view cIniPath);

bool WRITEPPROSTRING(std::string_view cSectionName, std::string_view cKeyName,
                     std::string_view cValue, std::string_view cIniPath);

}  // namespace kadro
