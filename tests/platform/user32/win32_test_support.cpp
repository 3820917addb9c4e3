#include "tests/platform/user32/win32_test_support.h"

#include <utility>

namespace kadro::test {
namespace {

thread_local std::function<void(::HWND)> t_on_activate;

LRESULT CALLBACK CbtProc(int code, WPARAM wparam, LPARAM lparam) {
    // Activation moving to no window at all (the last box closing) is not reported.
    if (code == HCBT_ACTIVATE && wparam != 0 && t_on_activate) {
        t_on_activate(reinterpret_cast<::HWND>(wparam));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

ActivationHook::ActivationHook(std::function<void(::HWND)> on_activate) {
    t_on_activate = std::move(on_activate);
    m_hook = SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, GetCurrentThreadId());
}

ActivationHook::~ActivationHook() {
    if (m_hook != nullptr) {
        UnhookWindowsHookEx(m_hook);
    }
    t_on_activate = nullptr;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

TemplateBuilder::TemplateBuilder(platform::DWORD style, short cx, short cy,
                                 std::string_view title) {
    put32(style);
    put32(0);
    m_count_offset = m_bytes.size();
    put16(0);
    put16(0);
    put16(0);
    put16(static_cast<std::uint16_t>(cx));
    put16(static_cast<std::uint16_t>(cy));
    put16(0);  // menu
    put16(0);  // standard dialog class
    put_text(title);
    align();
}

TemplateBuilder& TemplateBuilder::add_item(platform::DWORD style, short x, short y, short cx,
                                           short cy, platform::WORD id,
                                           std::string_view class_name) {
    align();
    put32(style);
    put32(0);
    put16(static_cast<std::uint16_t>(x));
    put16(static_cast<std::uint16_t>(y));
    put16(static_cast<std::uint16_t>(cx));
    put16(static_cast<std::uint16_t>(cy));
    put16(id);
    put_text(class_name);
    put_text("");
    put16(0);  // no creation data
    ++m_count;
    m_bytes[m_count_offset] = static_cast<char>(m_count & 0xFF);
    m_bytes[m_count_offset + 1] = static_cast<char>(m_count >> 8);
    return *this;
}

std::string TemplateBuilder::bytes() const {
    return m_bytes;
}

void TemplateBuilder::put16(std::uint16_t v) {
    m_bytes.push_back(static_cast<char>(v & 0xFF));
    m_bytes.push_back(static_cast<char>(v >> 8));
}

void TemplateBuilder::put32(std::uint32_t v) {
    put16(static_cast<std::uint16_t>(v & 0xFFFF));
    put16(static_cast<std::uint16_t>(v >> 16));
}

void TemplateBuilder::put_text(std::string_view text) {
    for (char c : text) {
        put16(static_cast<unsigned char>(c));
    }
    put16(0);
}

void TemplateBuilder::align() {
    while (m_bytes.size() % 4 != 0) {
        m_bytes.push_back('\0');
    }
}

std::wstring WideText(::HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace kadro::test
