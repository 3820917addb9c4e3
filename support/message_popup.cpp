#include "support/message_popup.h"

#include "platform/message_box.h"
#include "platform/window.h"
#include "support/wait_box.h"
#include "ui/message_pump.h"

namespace kadro {
namespace {

constexpr unsigned kToneHz = 880;
constexpr unsigned kToneMs = 54;  // one clock tick of 1/18.2 s

}  // namespace

std::string O2A(std::string_view cText) {
    std::string result(cText);
    for (char& c : result) {
        switch (static_cast<unsigned char>(c)) {
            case 0x85:
                c = static_cast<char>(0xE0);
                break;
            case 0x8A:
                c = static_cast<char>(0xE8);
                break;
            case 0x82:
                c = static_cast<char>(0xE9);
                break;
            case 0x8D:
                c = static_cast<char>(0xEC);
                break;
            case 0x95:
                c = static_cast<char>(0xF2);
                break;
            case 0x97:
                c = static_cast<char>(0xF9);
                break;
            default:
                break;
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
    using namespace platform;
    switch (nType) {
        case 1:
            return MB_ICONINFORMATION | MB_OK;
        case 2:
            return MB_ICONQUESTION | MB_OKCANCEL;
        case 3:
            return MB_ICONQUESTION | MB_YESNOCANCEL;
        case 4:
            return MB_ICONQUESTION | MB_YESNO;
        case 5:
            return MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2;
        case 6:
            return MB_ICONHAND | MB_OKCANCEL;
        default:
            return std::nullopt;
    }
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
