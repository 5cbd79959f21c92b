// Reads the message boxes that are open on the desktop, whoever shows them: one line per visible
// dialog, "caption<TAB>text" in UTF-8 with the text's line breaks written as "\n". The end-to-end
// tests use it to compare a box's text exactly, which a screenshot cannot do.
// Exits with 0 when at least one box was found, 1 otherwise.
#include <windows.h>

#include <string>

namespace {

// The static control that holds the text of a message box.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

// One line per box: a line break inside the text would otherwise split the record.
std::wstring Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        if (c == L'\n') {
            escaped += L"\\n";
        } else if (c != L'\r') {
            escaped += c;
        }
    }
    return escaped;
}

BOOL CALLBACK PrintBox(HWND window, LPARAM found) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (!IsWindowVisible(window) || lstrcmpW(className, L"#32770") != 0) return TRUE;
    const HWND message = GetDlgItem(window, MESSAGE_TEXT_ID);
    const std::string line =
        Utf8(TextOf(window) + L"\t" + (message != nullptr ? Escaped(TextOf(message)) : std::wstring()) + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

} // namespace

int wmain() {
    bool found = false;
    EnumWindows(&PrintBox, reinterpret_cast<LPARAM>(&found));
    return found ? 0 : 1;
}
