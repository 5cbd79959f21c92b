// The setup window's procedure: creates fonts, icon and buttons, moves through the pages
// (welcome -> installing -> finished), starts the install worker and reacts to its messages.
// All its state lives in g_settings and g_progress (app/state.h), except the pacing of repaints.
#pragma once

#include "ui/control_ids.h"

#include <windows.h>

extern const wchar_t* const SETUP_WINDOW_CLASS;
extern const wchar_t* const SETUP_WINDOW_TITLE;
extern const wchar_t* const FATAL_ERROR_CAPTION;
extern const wchar_t* const CLOSE_QUESTION_CAPTION;

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
