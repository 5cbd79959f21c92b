// The three page layouts, drawn into the off-screen DC that ComposeSetupPage prepared (background
// filled, background mode transparent, icon drawn). Client pixels of the 660 x 530 area.
#pragma once

#include <windows.h>

void PaintWelcomePage(HDC dc);

// Reads the Shared progress state through two short locked copies and draws only from them.
void PaintInstallingPage(HDC dc);

void PaintFinishedPage(HDC dc);
