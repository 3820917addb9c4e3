#include "ui/gdi.h"

#include <utility>

namespace kadro {
namespace {

// Handles of the layer's own drawing objects, kept apart from window handles by their range.
std::uintptr_t next_object_handle() {
    static std::uintptr_t next = 0x7F000000;
    return ++next;
}

}  // namespace

COLORREF GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return 0x00FFFFFF;
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
            return 0x00000000;
        case COLOR_BTNFACE:
            return 0x00F0F0F0;
        default:
            return 0x00000000;
    }
}

std::string GETSYSFONT() {
    return "DejaVu Sans";
}

std::shared_ptr<TFont> TFont::New(std::string cFaceName, int nWidth, int nHeight) {
    auto font = std::make_shared<TFont>();
    font->cFaceName = std::move(cFaceName);
    font->nWidth = nWidth;
    font->nHeight = nHeight;
    font->hFont = next_object_handle();
    font->nCount = 1;
    return font;
}

std::shared_ptr<TFont> TFont::FromHandle(platform::HFONT hFont) {
    auto font = std::make_shared<TFont>();
    font->hFont = hFont;
    font->nCount = 1;
    font->m_owned = false;
    return font;
}

void TFont::End() {
    if (nCount <= 0) {
        return;
    }
    if (--nCount == 0 && m_owned) {
        hFont = 0;
    }
}

std::shared_ptr<TBrush> TBrush::New(COLORREF nColor) {
    auto brush = std::make_shared<TBrush>();
    brush->nColor = nColor;
    brush->hBrush = next_object_handle();
    brush->nCount = 1;
    return brush;
}

void TBrush::End() {
    if (nCount <= 0) {
        return;
    }
    if (--nCount == 0) {
        hBrush = 0;
    }
}

}  // namespace kadro
