// The owner-drawn buttons: colours of every state painted through the real painter, and the hover
// flag kept by the subclass procedure.
#include "app/state.h"
#include "ui/buttons.h"
#include "ui/window.h"
#include "ui/ui_test_support.h"

#include <gtest/gtest.h>

namespace {

class Buttons : public testing::Test {
protected:
    void SetUp() override {
        window_ = MakeSetupWindow();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window_);
        DrainMessages();
    }
    HWND window_ = nullptr;
};

TEST_F(Buttons, EachLookAndStatePaintsItsColours) {
    struct Case {
        HWND button;
        int id;
        bool hovered;
        bool pressed;
        COLORREF fill;
        COLORREF border;
    };
    const Case cases[] = {
        {g_settings.installButton, ID_INSTALL, false, false, RGB(0, 120, 212), RGB(0, 120, 212)},
        {g_settings.installButton, ID_INSTALL, true, false, RGB(16, 132, 217), RGB(16, 132, 217)},
        {g_settings.installButton, ID_INSTALL, true, true, RGB(0, 108, 190), RGB(0, 108, 190)},
        {g_settings.launchButton, ID_LAUNCH, false, true, RGB(0, 108, 190), RGB(0, 108, 190)},
        {g_settings.cancelButton, ID_CANCEL, false, false, RGB(42, 42, 42), RGB(63, 63, 70)},
        {g_settings.cancelButton, ID_CANCEL, true, false, RGB(56, 56, 56), RGB(63, 63, 70)},
        {g_settings.closeButton, ID_CLOSE, true, true, RGB(32, 32, 32), RGB(63, 63, 70)},
    };
    Canvas canvas(200, 60);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " hovered " << c.hovered << " pressed " << c.pressed);
        if (c.hovered) {
            SetPropW(c.button, HOVER_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
        } else {
            RemovePropW(c.button, HOVER_PROPERTY);
        }
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(c.id);
        item.itemState = c.pressed ? ODS_SELECTED | ODS_FOCUS : ODS_FOCUS;
        item.hwndItem = c.button;
        item.hDC = canvas.dc();
        item.rcItem = RECT{10, 5, 120, 47};
        EXPECT_EQ(SendMessageW(window_, WM_DRAWITEM, static_cast<WPARAM>(c.id), reinterpret_cast<LPARAM>(&item)), 1);
        EXPECT_EQ(ColourName(canvas.Pixel(14, 9)), ColourName(c.fill)); // above the caption
        EXPECT_EQ(ColourName(canvas.Pixel(60, 5)), ColourName(c.border));
        EXPECT_EQ(ColourName(canvas.Pixel(10, 5)), ColourName(BUTTON_BACKDROP)); // rounded corner
        EXPECT_EQ(ColourName(canvas.Pixel(5, 26)), "RGB(0,0,0)");  // nothing outside the item
    }
    EXPECT_EQ(PickButtonColours(ID_CLOSE, false, false).text, RGB(224, 224, 224));
    EXPECT_EQ(PickButtonColours(ID_LAUNCH, false, false).text, RGB(255, 255, 255));
    EXPECT_EQ(PickButtonColours(9999, false, false).fill, RGB(42, 42, 42)); // unknown ids look secondary
}

TEST_F(Buttons, HoverIsSetOnEntryAndClearedOnLeave) {
    HWND button = g_settings.cancelButton;
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
        EXPECT_NE(GetPropW(button, HOVER_PROPERTY), nullptr);
        EXPECT_TRUE(GetUpdateRect(button, nullptr, FALSE)); // one repaint on entry
        ValidateRect(button, nullptr);
        for (int i = 0; i < 5; ++i) SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(12 + i, 10));
        EXPECT_FALSE(GetUpdateRect(button, nullptr, FALSE)); // none for moves inside

        SendMessageW(button, WM_MOUSELEAVE, 0, 0);
        EXPECT_EQ(GetPropW(button, HOVER_PROPERTY), nullptr);
        EXPECT_TRUE(GetUpdateRect(button, nullptr, FALSE)); // one on exit
        ValidateRect(button, nullptr);
    }
}

TEST_F(Buttons, HandCursorOverEveryButton) {
    for (HWND button : {g_settings.installButton, g_settings.cancelButton, g_settings.launchButton,
                        g_settings.closeButton}) {
        EXPECT_EQ(SendMessageW(button, WM_SETCURSOR, reinterpret_cast<WPARAM>(button), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                  TRUE);
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    }
}

} // namespace
