#include "support/wait_box.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/progress_control.h"
#include "platform/text.h"
#include "platform/window.h"
#include "support/close_confirmation.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/message_pump.h"
#include "ui/window_layer_state.h"

namespace kadro {
namespace {

using namespace platform;

constexpr int kWrapColumns = 79;
constexpr int kTabWidth = 4;
constexpr int kFontHeight = 15;  // Arial at height -15: a character height of 15 pixels
constexpr int kExclamationIcon = 32515;
constexpr DWORD kBoxStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;
constexpr int kPrintPicture = 101;
constexpr int kPrintPage = 102;
constexpr int kPrintCancel = 201;

// ---- the box window ----

// What a box window needs after creation, kept per window so that a close request posted by End
// still finds it after the TMsgBox object is gone.
struct BoxWindowState {
    std::function<bool()> valid;  // empty: closing is allowed
};

std::map<HWND, BoxWindowState>& box_windows() {
    static std::map<HWND, BoxWindowState> windows;
    return windows;
}

// Layout handed to the dialog's initialisation.
struct BoxLayout {
    bool print = false;
    std::string text;
    int lines = 1;
    int text_width = 0;
    std::optional<std::pair<int, int>> range;
    HFONT font = 0;
    HWND bar = 0;  // filled in by the initialisation: the progress bar, when there is one
};

// Every close request goes through the box's close check.
void RequestClose(HWND dialog) {
    auto found = box_windows().find(dialog);
    if (found == box_windows().end()) {
        return;
    }
    if (found->second.valid && !found->second.valid()) {
        return;
    }
    DestroyWindow(dialog);
}

HWND Child(HWND dialog, const char* cls, const std::string& text, DWORD style, int id, RECT r) {
    return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.width(),
                          r.height(), dialog, id);
}

RECT Rect(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

void InitialiseOrdinary(HWND dialog, BoxLayout& layout) {
    // Appended, not "#" + std::to_string(...): that draws a false -Wrestrict from GCC 12 at
    // -O3 in the string's inlined insert.
    std::string icon_name(1, '#');
    icon_name.append(std::to_string(kExclamationIcon));
    Child(dialog, "Static", icon_name, SS_ICON, -1, Rect(8, 7, 32, 32));
    HWND text = Child(dialog, "Static", layout.text, SS_LEFT, -1, Rect(0, 0, 0, 0));
    SendMessage(text, WM_SETFONT, layout.font, 0);
    HWND bar = 0;
    if (layout.range && EnsureProgressControlClass()) {
        bar = Child(dialog, PROGRESS_CLASS, "", 0, -1, Rect(0, 0, 0, 0));
        layout.bar = bar;
    }

    RECT frame{};
    GetWindowRect(dialog, &frame);
    const int width = layout.text_width + 110;
    const int height = (layout.lines + 5) * kFontHeight;
    MoveWindow(dialog, frame.left, frame.top, width, height, false);
    MoveWindow(text, 65, 20, width - 90, height - 80, false);
    if (bar != 0) {
        MoveWindow(bar, 15, height - 60, width - 35, 20, false);
        SendMessage(bar, PBM_SETRANGE32, static_cast<WPARAM>(layout.range->first),
                    layout.range->second);
    }
    box_windows()[dialog].valid = [] { return !GETASYNCKEY(VK_ESCAPE) && !GETASYNCKEY(VK_F4); };
    WNDCENTER(dialog, 0);
}

void InitialisePrint(HWND dialog) {
    auto du = [](int left, int top, int width, int height) {
        return DialogUnitsToPixels(Rect(left, top, width, height));
    };
    Child(dialog, "Button", "", BS_GROUPBOX, -1, du(10, 5, 160, 35));
    Child(dialog, "Static", "PRINT", SS_BITMAP, kPrintPicture, du(20, 17, 16, 15));
    Child(dialog, "Static", "Sto stampando la pagina n.:", SS_LEFT, -1, du(45, 20, 95, 10));
    Child(dialog, "Static", "", SS_LEFT, kPrintPage, du(140, 20, 20, 10));
    HWND cancel = Child(dialog, "Button", "&Annulla", WS_TABSTOP, kPrintCancel, du(70, 45, 40, 15));

    RECT frame{};
    GetWindowRect(dialog, &frame);
    MoveWindow(dialog, frame.left, frame.top, frame.width(), frame.height() - 33, false);
    WNDCENTER(dialog, 0);
    ShowWindow(cancel, SW_HIDE);
}

std::intptr_t BoxProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_INITDIALOG: {
            auto* layout = reinterpret_cast<BoxLayout*>(lparam);
            // Until the initialisation replaces it, the box closes as any dialog that asks
            // nothing.
            box_windows()[hwnd].valid = [] { return !CloseConfirmationRunning(); };
            if (layout->print) {
                InitialisePrint(hwnd);
            } else {
                InitialiseOrdinary(hwnd, *layout);
            }
            return 0;
        }
        case WM_CLOSE:
            RequestClose(hwnd);
            return 1;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) {
                RequestClose(hwnd);
            }
            return 1;
        case WM_DESTROY:
            box_windows().erase(hwnd);
            UnregisterModelessDialog(hwnd);
            return 0;
        default:
            return 0;
    }
}

// A template with no items: the box creates its controls itself while it initialises.
std::string BoxTemplate(DWORD style, short cx, short cy) {
    std::string bytes;
    auto put16 = [&](std::uint16_t v) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>(v >> 8);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v & 0xFFFF));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    put32(style);
    put32(0);  // extended style
    put16(0);  // items
    put16(0);  // x
    put16(0);  // y
    put16(static_cast<std::uint16_t>(cx));
    put16(static_cast<std::uint16_t>(cy));
    put16(0);  // menu
    put16(0);  // class
    put16(0);  // title, set afterwards
    return bytes;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if (text[i] == '\n') {
            lines.push_back(std::move(current));
            current.clear();
        } else {
            current += text[i];
        }
    }
    lines.push_back(std::move(current));
    return lines;
}

std::string ExpandTabs(std::string_view line) {
    std::string result;
    for (char c : line) {
        if (c == '\t') {
            result.append(kTabWidth - result.size() % kTabWidth, ' ');
        } else {
            result += c;
        }
    }
    return result;
}

// Word wrap at kWrapColumns: a long line breaks at its last blank within the limit (the blank
// goes), or at the limit when there is none.
std::vector<std::string> Wrap(std::string line) {
    std::vector<std::string> pieces;
    while (line.size() > static_cast<std::size_t>(kWrapColumns)) {
        std::size_t blank = line.rfind(' ', kWrapColumns);
        if (blank == std::string::npos || blank == 0) {
            pieces.push_back(line.substr(0, kWrapColumns));
            line.erase(0, kWrapColumns);
        } else {
            pieces.push_back(line.substr(0, blank));
            line.erase(0, blank + 1);
        }
    }
    pieces.push_back(std::move(line));
    return pieces;
}

std::unique_ptr<TMsgBox>& open_box() {
    static std::unique_ptr<TMsgBox> box;
    return box;
}

}  // namespace

WaitBoxTextSize MeasureWaitBoxText(std::string_view cText) {
    if (IsBlank(cText)) {
        return {1, static_cast<int>(cText.size()) - 100};
    }
    WaitBoxTextSize size{0, 0};
    const Display& display = CurrentDisplay();
    for (const std::string& line : SplitLines(cText)) {
        for (std::string piece : Wrap(ExpandTabs(line))) {
            piece.erase(piece.find_last_not_of(' ') + 1);
            ++size.lines;
            size.width = std::max(size.width, display.text_width(piece));
        }
    }
    return size;
}

std::unique_ptr<TMsgBox> TMsgBox::New(std::optional<std::string> cText,
                                      std::optional<std::string> cTitle, std::optional<double> nMin,
                                      std::optional<double> nMax, bool lPrint) {
    std::unique_ptr<TMsgBox> box(new TMsgBox());
    box->m_print = lPrint;
    BoxLayout layout;
    layout.print = lPrint;
    std::string title = "Attendere";
    std::string tmpl;
    if (lPrint) {
        box->nPag = 1;
        tmpl = BoxTemplate(kBoxStyle, 180, 65);
    } else {
        title = cTitle.value_or("Attendere");
        const std::string text = cText.value_or("");
        WaitBoxTextSize size = MeasureWaitBoxText(text);
        box->m_recorded = IsBlank(text) ? std::string() : text;
        layout.text = text;
        layout.lines = size.lines;
        layout.text_width = size.width;
        if (nMin) {
            layout.lines += 1;
            layout.text_width += 5;
            layout.range = std::pair{static_cast<int>(std::lround(*nMin)),
                                     static_cast<int>(std::lround(nMax.value_or(0)))};
        }
        box->m_font = TFont::New("Arial", 0, -kFontHeight);
        layout.font = box->m_font->hFont;
        tmpl = BoxTemplate(kBoxStyle, 0, 0);
    }
    box->hWnd = GetActiveWindow();

    HWND dialog =
        CreateDialogIndirectParam(tmpl, box->hWnd, BoxProc, reinterpret_cast<LPARAM>(&layout));
    if (dialog != 0) {
        SetWindowText(dialog, title);
        box->oDlg = dialog;
        box->oPrg = layout.bar;
        RegisterModelessDialog(dialog);
        PostMessage(dialog, WM_SETFOCUS, 0, 0);
    }
    if (box->hWnd != 0) {
        EnableWindow(box->hWnd, false);
    }
    return box;
}

TMsgBox::~TMsgBox() {
    if (m_ended) {
        return;
    }
    // Dropped without End: leave nothing disabled or on screen behind.
    if (hWnd != 0) {
        EnableWindow(hWnd, true);
    }
    if (oDlg != 0 && IsWindow(oDlg)) {
        DestroyWindow(oDlg);
    }
    if (m_font) {
        m_font->End();
    }
}

void TMsgBox::End() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (hWnd != 0) {
        EnableWindow(hWnd, true);
        SYSREFRESH();
    }
    if (oDlg != 0 && IsWindow(oDlg)) {
        box_windows()[oDlg].valid = nullptr;
        PostMessage(oDlg, WM_CLOSE, 0, 0);
    }
    m_recorded.reset();
    if (m_font) {
        m_font->End();
        m_font.reset();
    }
}

void TMsgBox::SetMsg(std::string_view cText) {
    if (oDlg == 0) {
        return;
    }
    std::vector<HWND> children = GetChildren(oDlg);
    // The print variant's page number is control 102; the ordinary box's message is its second.
    HWND target =
        m_print ? GetDlgItem(oDlg, kPrintPage) : (children.size() > 1 ? children[1] : HWND{0});
    if (target != 0) {
        SetWindowText(target, cText);
    }
}

void TMsgBox::SetPos(double nPos) {
    if (oPrg == 0) {
        return;
    }
    const int low = static_cast<int>(SendMessage(oPrg, PBM_GETRANGE, 1, 0));
    const int high = static_cast<int>(SendMessage(oPrg, PBM_GETRANGE, 0, 0));
    const int pos = static_cast<int>(std::lround(nPos));
    if (pos < high) {
        // Jumping past and back makes the bar show the value at once instead of gliding to it.
        SendMessage(oPrg, PBM_SETPOS, static_cast<WPARAM>(pos + 1), 0);
        SendMessage(oPrg, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    } else {
        SendMessage(oPrg, PBM_SETRANGE32, static_cast<WPARAM>(low), high + 1);
        SendMessage(oPrg, PBM_SETPOS, static_cast<WPARAM>(high + 1), 0);
        SendMessage(oPrg, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
        SendMessage(oPrg, PBM_SETPOS, static_cast<WPARAM>(high), 0);
    }
}

void WaitBoxCall(const std::optional<std::string>& cText, const std::optional<std::string>& cTitle,
                 std::optional<bool> lUpdate, std::optional<double> nMin,
                 std::optional<double> nMax, std::optional<double> nPos, bool lPrint,
                 bool lNextPage) {
    std::unique_ptr<TMsgBox>& box = open_box();
    if (!cText && !lPrint && !lNextPage) {
        CloseWaitBox();
        return;
    }
    if (!box) {
        box = TMsgBox::New(cText, cTitle, nMin, nMax, lPrint);
        return;
    }
    if (lUpdate.value_or(false) || nPos) {
        if (lUpdate.value_or(false)) {
            box->SetMsg(cText.value_or(""));
        }
        if (nPos) {
            box->SetPos(*nPos);
        }
        return;
    }
    if (lNextPage) {
        ++box->nPag;
        box->SetMsg(std::to_string(box->nPag));
    }
}

void CloseWaitBox() {
    // Forgotten before End: End pumps messages, and a call made meanwhile must not end the
    // same box a second time.
    std::unique_ptr<TMsgBox> box = std::move(open_box());
    if (box) {
        box->End();
    }
}

TMsgBox* OpenWaitBox() {
    return open_box().get();
}

std::optional<std::string> WaitBoxRecordedText() {
    const std::unique_ptr<TMsgBox>& box = open_box();
    if (!box || box->is_print()) {
        return std::nullopt;
    }
    return box->recorded_text();
}

}  // namespace kadro
