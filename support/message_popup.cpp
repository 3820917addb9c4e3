#include "support/message_popup.h"

#include <array>
#include <utility>

#include "platform/message_box.h"
#include "platform/window.h"
#include "support/wait_box.h"
#include "ui/message_pump.h"

namespace kadro {
namespace {

constexpr unsigned kToneHz = 880;
constexpr unsigned kToneMs = 54;  // one clock tick of 1/18.2 s

// The six accented letters: their DOS code, their Windows code.
constexpr std::array<std::pair<unsigned char, unsigned char>, 6> kAccentedLetters = {{
    {0x85, 0xE0},
    {0x8A, 0xE8},
    {0x82, 0xE9},
    {0x8D, 0xEC},
    {0x95, 0xF2},
    {0x97, 0xF9},
}};

// The message box style of each type, from 1.
constexpr std::array<platform::UINT, 6> kBoxStyles = {
    platform::MB_ICONINFORMATION | platform::MB_OK,
    platform::MB_ICONQUESTION | platform::MB_OKCANCEL,
    platform::MB_ICONQUESTION | platform::MB_YESNOCANCEL,
    platform::MB_ICONQUESTION | platform::MB_YESNO,
    platform::MB_ICONQUESTION | platform::MB_YESNO | platform::MB_DEFBUTTON2,
    platform::MB_ICONHAND | platform::MB_OKCANCEL,
};

}  // namespace

std::string O2A(std::string_view cText) {
    std::string result(cText);
    for (char& c : result) {
        for (const auto& [dos, windows] : kAccentedLetters) {
            if (static_cast<unsigned char>(c) == dos) {
                c = static_cast<char>(windows);
                break;
            }
        }
    }
    return result;
}

std::string PrepareMessageText(std::string_view cText) {
    std::string converted = O2A(cText);
    std::string result;
    result.reserve(converted.size());
    for (char c : converted) {
        if (c == ';') {
            result += "\r\n";
        } else {
            result += c;
        }
    }
    return result;
}

std::optional<platform::UINT> MessageBoxStyleOf(int nType) {
    if (nType < 1 || nType > static_cast<int>(kBoxStyles.size())) {
        return std::nullopt;
    }
    return kBoxStyles[static_cast<std::size_t>(nType - 1)];
}

PopResult TypedBoxResult(int nType, int nButton) {
    switch (nType) {
        case 2:
        case 6:
            return nButton == platform::IDOK;
        case 3:
            return nButton;
        case 4:
        case 5:
            return nButton == platform::IDYES;
        default:
            return std::monostate{};
    }
}

PopResult POPMSG(std::optional<std::string> cText, std::optional<int> nType,
                 std::optional<std::string> cTitle, std::optional<bool> lUpdate,
                 std::optional<double> nMin, std::optional<double> nMax, std::optional<double> nPos,
                 std::optional<bool> lPrint, std::optional<bool> lNextPage) {
    if (cText) {
        cText = PrepareMessageText(*cText);
    }
    if (!nType) {
        WaitBoxCall(cText, cTitle, lUpdate, nMin, nMax, nPos, lPrint.value_or(false),
                    lNextPage.value_or(false));
        SYSREFRESH();
        return std::monostate{};
    }

    std::string title = cTitle.value_or("Attenzione");
    // Exactly as POPMSG() would: the box's posted close request is handled before the message
    // box comes up.
    CloseWaitBox();
    SYSREFRESH();
    PopResult result;
    if (std::optional<platform::UINT> style = MessageBoxStyleOf(*nType)) {
        if (*nType >= 2) {
            platform::Beep(kToneHz, kToneMs);
        }
        int button =
            platform::MessageBox(platform::GetActiveWindow(), cText.value_or(""), title, *style);
        result = TypedBoxResult(*nType, button);
    }
    SYSREFRESH();
    return result;
}

std::optional<std::string> CURMSG() {
    return WaitBoxRecordedText();
}

}  // namespace kadro
