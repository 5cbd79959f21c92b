// Helpers for the in-process window tests: the real setup window made in the test exe and a 32-bit
// canvas whose pixels can be read; message boxes are answered with support/box_answerer.h.
#pragma once

#include "base/owners.h"
#include "support/box_answerer.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

// A top-down 32-bit DIB selected into its own memory DC.
class Canvas {
public:
    Canvas(int width, int height);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_.Get(); }
    COLORREF Pixel(int x, int y) const;
    // True when some pixel of [left, right) x [top, bottom) is exactly `colour`.
    bool Contains(int left, int top, int right, int bottom, COLORREF colour) const;
    // Leftmost column in [left, right) with a pixel different from `background` in rows
    // [top, bottom), or -1.
    int FirstColumnNot(int left, int top, int right, int bottom, COLORREF background) const;

private:
    const uint32_t* bits_ = nullptr;
    int width_ = 0;
    MemoryDc dc_;
    GdiObject<HBITMAP> bitmap_;
    GdiSelection selection_;
};

// The setup window of this process (class registered on first use), not shown.
HWND MakeSetupWindow();

// Removes everything waiting in this thread's queue (WM_QUIT included).
void DrainMessages();

std::string ColourName(COLORREF colour);
