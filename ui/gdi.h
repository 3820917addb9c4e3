#pragma once
// Fonts, brushes and system colours of the window layer.
//
// The platform names a font or brush by a handle only, so TFont and TBrush hand out handles of
// their own (non-zero, never reused in a process). Several windows share one font or brush
// object: each window that takes it raises the use count nCount and calls End() when it lets
// it go; the last End() releases the handle (hFont / hBrush become 0). End() on an object whose
// count is already 0 does nothing. A font wrapped around a handle that the platform gave
// (FromHandle) is shared the same way, but its handle is never released by the layer.
//
// Interface thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/types.h"
#include "platform/window.h"

namespace kadro {

using COLORREF = std::uint32_t;  // 0x00BBGGRR

// System colour indices and their values on this platform (a light desktop scheme).
enum SysColor : int {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
    COLOR_BTNTEXT = 18,
};
COLORREF GetSysColor(int index);

// Face name of the system font. The rule picks the desktop's standard interface face by
// platform family; this platform has no family of that kind, and the face its text layout is
// measured against is DejaVu Sans.
std::string GETSYSFONT();

class TFont {
  public:
    // A new font object with nCount 1.
    static std::shared_ptr<TFont> New(std::string cFaceName, int nWidth, int nHeight);
    // A font object for a handle the platform already gave, nCount 1.
    static std::shared_ptr<TFont> FromHandle(platform::HFONT hFont);

    void End();

    std::string cFaceName;
    int nWidth = 0;
    int nHeight = 0;
    platform::HFONT hFont = 0;
    int nCount = 0;

  private:
    bool m_owned = true;
};

class TBrush {
  public:
    // A solid brush of the colour, nCount 1.
    static std::shared_ptr<TBrush> New(COLORREF nColor);

    void End();

    COLORREF nColor = 0;
    std::uintptr_t hBrush = 0;
    int nCount = 0;
};

}  // namespace kadro
