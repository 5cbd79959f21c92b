#include "ui/ui_test_support.h"

#include "ui/startup.h"
#include "app/state.h"

#include <cstdio>

namespace {

HBITMAP TopDownBitmap(HDC dc, int width, int height, const uint32_t*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down: row y starts at y * width
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = static_cast<const uint32_t*>(memory);
    return bitmap;
}

} // namespace

Canvas::Canvas(int width, int height)
    : width_(width), dc_(CreateCompatibleDC(nullptr)), bitmap_(TopDownBitmap(dc_.Get(), width, height, bits_)),
      selection_(dc_.Get(), bitmap_.Get()) {}

COLORREF Canvas::Pixel(int x, int y) const {
    GdiFlush();
    const uint32_t value = bits_[y * width_ + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

bool Canvas::Contains(int left, int top, int right, int bottom, COLORREF colour) const {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (Pixel(x, y) == colour) return true;
    return false;
}

int Canvas::FirstColumnNot(int left, int top, int right, int bottom, COLORREF background) const {
    for (int x = left; x < right; ++x)
        for (int y = top; y < bottom; ++y)
            if (Pixel(x, y) != background) return x;
    return -1;
}

HWND MakeSetupWindow() {
    static const bool registered = [] {
        RegisterSetupWindowClass(GetModuleHandleW(nullptr));
        return true;
    }();
    (void)registered;
    return CreateSetupWindow(GetModuleHandleW(nullptr));
}

void DrainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) DispatchMessageW(&message);
    }
}

std::string ColourName(COLORREF colour) {
    char name[32];
    snprintf(name, sizeof(name), "RGB(%u,%u,%u)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return name;
}
