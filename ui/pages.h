// The setup window's frame and its three page layouts. The pages are drawn into the off-screen DC
// that ComposeSetupPage prepared (background filled, background mode transparent, icon drawn).
// Client pixels of the 660 x 530 area.
#pragma once

#include <windows.h>

void PaintWelcomePage(HDC dc);

// Reads the Shared progress state through two short locked copies and draws only from them.
void PaintInstallingPage(HDC dc);

void PaintFinishedPage(HDC dc);

// Composes the page of the current Page state off-screen and copies it to `target` at (0, 0) with
// one BitBlt. Everything it creates is freed before it returns.
void ComposeSetupPage(HDC target, int width, int height);

// The WM_PAINT handler.
void PaintSetupWindow(HWND window);
