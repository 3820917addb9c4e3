#pragma once
// POPMSG, the one way the program tells the operator something or asks a question, and the
// text preparation it applies.
//
// POPMSG(cText, nType, cTitle, lUpdate, nMin, nMax, nPos, lPrint, lNextPage); every argument may
// be left out (nullopt).
//
// Text preparation, whenever cText is given and before anything else: O2A (the six accented
// letters in their DOS code, 0x85 0x8A 0x82 0x8D 0x95 0x97, become 0xE0 0xE8 0xE9 0xEC 0xF2 0xF9;
// no other byte changes), then every ';' becomes CR LF.
//
// Typed box (nType given), in this order: the caption defaults to "Attenzione"; an open wait box
// is closed as by POPMSG() (so the window it disabled is enabled again); types 2 to 6 sound
// platform::Beep(880, 54); the message box is shown with the style of the table, owned by the
// window active at that moment (none when no window is active); pending messages are pumped
// (SYSREFRESH); the result comes back:
//   type  style  buttons (default)              result
//   1      64    OK                             nil
//   2      33    OK, Cancel (OK)                true on OK, else false
//   3      35    Yes, No, Cancel (Yes)          the button number: 6, 7 or 2
//   4      36    Yes, No (Yes)                  true on Yes, else false
//   5     292    Yes, No (No)                   true on Yes, else false
//   6      17    OK, Cancel (OK)                true on OK, else false
//   other  no box, no tone                      nil (an open wait box is still closed)
// A box that cannot be shown answers 0: false for types 2, 4, 5, 6 and 0 for type 3.
//
// Wait-box modes (nType left out): see wait_box.h; when no wait box can be built (see there)
// these modes only pump messages. Every wait-box mode ends with SYSREFRESH and returns nil.
//
// CURMSG(): the text the open wait box was created with ("" when that text was blank); nullopt
// when no box is open or the open one is the print variant.
//
// Interface thread only. No error is raised: an absent active window is not an error, and a box
// that cannot be shown counts as not confirmed.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/types.h"

namespace kadro {

// nil, a logical, or a button number.
using PopResult = std::variant<std::monostate, bool, int>;

PopResult POPMSG(
    std::optional<std::string> cText = std::nullopt, std::optional<int> nType = std::nullopt,
    std::optional<std::string> cTitle = std::nullopt, std::optional<bool> lUpdate = std::nullopt,
    std::optional<double> nMin = std::nullopt, std::optional<double> nMax = std::nullopt,
    std::optional<double> nPos = std::nullopt, std::optional<bool> lPrint = std::nullopt,
    std::optional<bool> lNextPage = std::nullopt);

std::optional<std::string> CURMSG();

// The DOS-to-Windows replacement of the six accented letters.
std::string O2A(std::string_view cText);
// O2A, then ';' -> CR LF.
std::string PrepareMessageText(std::string_view cText);
// The message box style of a type; nullopt for a type outside 1 to 6.
std::optional<platform::UINT> MessageBoxStyleOf(int nType);
// The result of a type given the button the box answered (0 when it could not be shown).
PopResult TypedBoxResult(int nType, int nButton);

}  // namespace kadro
