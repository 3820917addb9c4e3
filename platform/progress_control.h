#pragma once
// The progress bar control, window class PROGRESS_CLASS (types.h): a range, 0..100 when created,
// and a position kept inside it.
//
// PBM_SETRANGE32(low, high) sets the range and answers the previous one as MAKELONG(low, high);
// PBM_SETPOS(pos) moves the position, clamped into the range, and answers the previous
// position; PBM_GETPOS answers the position; PBM_GETRANGE answers the low end when wParam is not
// 0, else the high end. A position outside a newly set range is clamped into it.
//
// On Linux the class is one of the window system's standard classes; on Windows it is the
// system's own common control.

namespace platform {

// Makes the class available to CreateWindowEx. False when it cannot be (the window then cannot
// be created).
bool EnsureProgressControlClass();

}  // namespace platform
