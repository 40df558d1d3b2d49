// Painting for the Win32 backend: backgrounds, pictures, shapes, the separator line and the
// file-copy animation. Internal to ui/win32.
#pragma once
#include <windows.h>
#undef MessageBox

#include <cstdint>

#include "ui/ui.h"

namespace ui::win32 {

// Pictures, shapes and separators: drawn under every other control of their parent and
// painted again beneath transparent labels that lie over them.
bool IsDecoration(Kind kind);

COLORREF ToColorRef(std::uint32_t color);          // resolves system colours (0xFF0000nn)
HBRUSH SolidBrush(std::uint32_t color);            // cached; never delete the result
std::uint32_t Background(const Control* control);  // first colour up the parent chain

// Fills `control`'s client area with what lies beneath it: its parent's background and the
// decorations of its parent (all of them, or only those created before `control`).
void PaintUnder(HDC dc, Control& control, bool onlyBefore);
// Draws a decoration in its own client coordinates.
void PaintDecoration(HDC dc, Control& control);

constexpr int kAnimationFrames = 20;
constexpr unsigned kAnimationMs = 66;  // about 15 frames a second
void PaintAnimation(HDC dc, Control& control, int frame);

// A flat progress bar in the system's colours: a frame, the filled share of the range in
// the highlight colour, the rest in the window colour. Drawn by us because the common
// control repaints itself slowly under Wine (about 1 ms against 0.2 ms for each position),
// and a sequence of 40 steps sets it 40 times.
void PaintProgress(HDC dc, ProgressBar& bar);

void ReleasePaintResources();

}  // namespace ui::win32
