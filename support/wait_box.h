#pragma once
// The wait box: a modeless box that stays on screen while the caller keeps working, with an
// optional progress bar, or in its print variant a page counter. At most one is open at a time;
// POPMSG drives it (message_popup.h).
//
// WaitBoxCall carries out the first rule that applies:
//  1. no text, lPrint false and lNextPage false: the open box, if any, is ended and forgotten;
//  2. no box is open: TMsgBox::New(cText, cTitle, nMin, nMax, lPrint) becomes the open box;
//  3. lUpdate true or nPos given: SetMsg(cText) when lUpdate (and a text is given), then
//     SetPos(nPos) when nPos is given;
//  4. lNextPage true: nPag goes up by one and its decimal number is shown with SetMsg;
//  5. otherwise nothing changes (a new text without lUpdate is ignored).
// The caller pumps messages afterwards.
//
// TMsgBox::New, ordinary variant: caption "Attendere" unless given; the text is measured (a blank
// text counts as one line of width length - 100 and is recorded as ""; any other text is split at
// line breaks, word-wrapped at 79 columns with tab stops every 4, and measured line by line
// without trailing blanks through the display's text width, and recorded as given); hWnd is the
// active window (0 when none); the box is a popup with caption and modal frame and no close box,
// holding the system exclamation icon (32 x 32 at left 8, top 7), the text in Arial with a
// character height of 15 pixels, and with nMin given a progress bar over nMin..nMax (one more line
// and 5 more pixels of width). It is sized text width + 110 by (lines + 5) x 15 pixels, the text
// placed at left 65, top 20, width - 90 by height - 80, the bar at left 15, top height - 60,
// width - 35 by 20; then centred on the screen. Once shown it refuses every close request while
// Escape or F4 is held down. WM_SETFOCUS is posted to it and hWnd, when not 0, is disabled.
// Print variant: nPag 1, the recorded text unchanged, caption "Attendere", a 180 x 65 dialog-unit
// box (33 pixels less high) with a group frame, the "PRINT" picture (control 101), the text
// "Sto stampando la pagina n.:", the page number (control 102, empty at first) and a hidden
// "&Annulla" button (201); it can be closed (the close confirmation without a question).
// SetMsg sets the text of the second control (the message, or the page number). SetPos below the
// maximum moves the bar to nPos at once; at or above it the bar shows full.
// End enables hWnd again (pumping messages), removes the close check and asks the box to close:
// it disappears at the next pumping of messages. The recorded text becomes none.
//
// When the box window cannot be created, New still returns an object without a window: the
// calls above then change only the recorded state, and End still enables hWnd again.
//
// Interface thread only.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kadro {

class TFont;

class TMsgBox {
  public:
    static std::unique_ptr<TMsgBox> New(std::optional<std::string> cText,
                                        std::optional<std::string> cTitle,
                                        std::optional<double> nMin, std::optional<double> nMax,
                                        bool lPrint);
    ~TMsgBox();
    TMsgBox(const TMsgBox&) = delete;
    TMsgBox& operator=(const TMsgBox&) = delete;

    void End();
    void SetMsg(std::string_view cText);
    void SetPos(double nPos);

    platform::HWND oDlg = 0;  // the box's dialog window, 0 when none
    platform::HWND oPrg = 0;  // its progress bar, 0 when none
    platform::HWND hWnd = 0;  // the window disabled while the box is open, 0 when none
    int nPag = 1;

    bool is_print() const { return m_print; }
    // The text the box was created with ("" for a blank one); nullopt for the print variant.
    const std::optional<std::string>& recorded_text() const { return m_recorded; }

  private:
    TMsgBox() = default;

    bool m_print = false;
    bool m_ended = false;
    std::optional<std::string> m_recorded;
    std::shared_ptr<TFont> m_font;
};

// See the file comment. lPrint and lNextPage are false when left out.
void WaitBoxCall(const std::optional<std::string>& cText, const std::optional<std::string>& cTitle,
                 std::optional<bool> lUpdate, std::optional<double> nMin,
                 std::optional<double> nMax, std::optional<double> nPos, bool lPrint,
                 bool lNextPage);
// Rule 1: ends and forgets the open box, if any.
void CloseWaitBox();
// The open box, or nullptr.
TMsgBox* OpenWaitBox();
// What CURMSG returns.
std::optional<std::string> WaitBoxRecordedText();

// Line count and widest line (in pixels) of a text as the ordinary box measures it; blank texts
// give 1 and length - 100.
struct WaitBoxTextSize {
    int lines = 1;
    int width = 0;
};
WaitBoxTextSize MeasureWaitBoxText(std::string_view cText);

}  // namespace kadro
