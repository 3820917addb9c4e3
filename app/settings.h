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

#include <string>
#include <string_view>

namespace kadro {

std::string GETPVPROFSTRING(std::string_view cSectionName, std::string_view cKeyName,
                            std::string_view cDefaultValue, std::string_view cIniPath);

bool WRITEPPROSTRING(std::string_view cSectionName, std::string_view cKeyName,
                     std::string_view cValue, std::string_view cIniPath);

}  // namespace kadro
