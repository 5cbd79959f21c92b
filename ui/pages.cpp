#include "ui/pages.h"

#include "app/state.h"
#include "base/owners.h"
#include "ui/paint.h"

namespace {

constexpr int CONSOLE_TEXT_LEFT = 58;
constexpr int CONSOLE_TEXT_RIGHT = 590;
constexpr int CONSOLE_FIRST_TOP = 232;
constexpr int CONSOLE_LINE_STEP = 20;
constexpr int CONSOLE_LINE_HEIGHT = 18;

void PaintTitle(HDC dc, const std::wstring& title, COLORREF colour, const std::wstring& subtitle) {
    DrawTextAt(dc, title, 90, 24, 632, 52, g_settings.titleFont.Get(), colour, TEXT_SINGLE);
    DrawTextAt(dc, subtitle, 90, 52, 632, 76, g_settings.subtitleFont.Get(), TEXT_GREY, TEXT_SINGLE);
}

void PaintFooter(HDC dc, const std::wstring& text) {
    DrawRoundedPanel(dc, 28, 400, 604, 52, FOOTER_FILL, FOOTER_BORDER, 8);
    DrawTextAt(dc, L"\u2139\uFE0F", 44, 414, 68, 440, g_settings.headingFont.Get(), ACCENT_BLUE, TEXT_SINGLE);
    DrawTextAt(dc, text, 72, 410, 614, 444, g_settings.smallFont.Get(), TEXT_GREY, TEXT_WRAPPED);
}

void PaintFeatureCard(HDC dc, int left, int right, int top, int descriptionBottom, const std::wstring& title,
                      const std::wstring& description) {
    DrawTextAt(dc, title, left, top, right, top + 20, g_settings.headingFont.Get(), TEXT_WHITE, TEXT_SINGLE);
    DrawTextAt(dc, description, left, top + 22, right, descriptionBottom, g_settings.smallFont.Get(), TEXT_GREY,
               TEXT_WRAPPED);
}

void PaintProgressBar(HDC dc, int progress) {
    DrawRoundedPanel(dc, TRACK_LEFT, TRACK_TOP, TRACK_WIDTH, TRACK_HEIGHT, TRACK_FILL, TRACK_BORDER, 6);
    const int fillWidth = ProgressFillWidth(progress);
    if (fillWidth == 0) return;

    const int right = TRACK_LEFT + TRACK_WIDTH;
    const int bottom = TRACK_TOP + TRACK_HEIGHT;
    // The clip keeps the square fill inside the track's rounded ends.
    {
        // SelectClipRgn copies the region, so it may go at once.
        SelectClipRgn(dc, GdiObject<HRGN>(CreateRoundRectRgn(TRACK_LEFT, TRACK_TOP, right, bottom, 6, 6)).Get());
        const RECT filled{TRACK_LEFT, TRACK_TOP, TRACK_LEFT + fillWidth, bottom};
        FillRect(dc, &filled, GdiObject<HBRUSH>(CreateSolidBrush(ACCENT_BLUE)).Get());
        SelectClipRgn(dc, nullptr);
    }

    // The fill covered the outline's left part; draw it again on top.
    const GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, TRACK_BORDER));
    const GdiSelection penSelection(dc, pen.Get());
    const GdiSelection brushSelection(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, TRACK_LEFT, TRACK_TOP, right, bottom, 6, 6);
}

void PaintConsoleLine(HDC dc, const std::wstring& line, int top) {
    const int bottom = top + CONSOLE_LINE_HEIGHT;
    const ConsoleLineParts parts = SplitConsoleLine(line);
    if (parts.prefix == ConsolePrefix::None) {
        DrawTextAt(dc, line, CONSOLE_TEXT_LEFT, top, CONSOLE_TEXT_RIGHT, bottom, g_settings.consoleFont.Get(),
                   CONSOLE_PLAIN, TEXT_SINGLE);
        return;
    }
    const bool done = parts.prefix == ConsolePrefix::Done;
    const std::wstring prefix = done ? L"[OK]" : L"[..]";
    DrawTextAt(dc, prefix, CONSOLE_TEXT_LEFT, top, CONSOLE_TEXT_RIGHT, bottom, g_settings.consoleFont.Get(),
               done ? SUCCESS_GREEN : IN_PROGRESS_BLUE, TEXT_SINGLE);
    if (line.size() == 4) return;

    // The rest always starts one space-width after the prefix, whether or not the line had that
    // space, so all texts line up.
    const std::wstring measured = prefix + L" ";
    SIZE extent{};
    GetTextExtentPoint32W(dc, measured.c_str(), static_cast<int>(measured.size()), &extent);
    DrawTextAt(dc, line.substr(parts.restStart), CONSOLE_TEXT_LEFT + extent.cx, top, CONSOLE_TEXT_RIGHT, bottom,
               g_settings.consoleFont.Get(), CONSOLE_TEXT, TEXT_SINGLE);
}

} // namespace

void PaintWelcomePage(HDC dc) {
    PaintTitle(dc, L"ZENKA Game Launcher", TEXT_WHITE, L"Единая игровая экосистема и менеджер библиотеки");

    DrawRoundedPanel(dc, 28, 88, 604, 108, CARD_FILL, CARD_BORDER, 10);
    DrawTextAt(dc, L"О платформе ZENKA", 46, 100, 614, 122, g_settings.headingFont.Get(), TEXT_WHITE, TEXT_SINGLE);
    DrawTextAt(dc,
               L"ZENKA — это современная игровая среда, разработанная для создания персонализированной "
               L"библиотеки автономных игр, отслеживания достижений с внутриигровым оверлеем и "
               L"интеллектуальной защиты сохранений.",
               46, 126, 614, 186, g_settings.bodyFont.Get(), PARAGRAPH_GREY, TEXT_WRAPPED);

    DrawRoundedPanel(dc, 28, 208, 604, 180, CARD_FILL, CARD_BORDER, 10);
    DrawTextAt(dc, L"Ключевые особенности", 46, 220, 614, 242, g_settings.headingFont.Get(), TEXT_WHITE, TEXT_SINGLE);
    PaintFeatureCard(dc, 46, 325, 250, 308, L"\U0001F3AE  Библиотека игр",
                     L"Автоматическая установка и запуск автономных игр без лишних диалогов.");
    PaintFeatureCard(dc, 46, 325, 314, 374, L"\U0001F4BE  Защита сохранений",
                     L"Непрерывный мониторинг и защита ваших игровых сохранений.");
    PaintFeatureCard(dc, 345, 614, 250, 308, L"\U0001F3C6  Достижения и оверлей",
                     L"Локальный трекер достижений для игровых платформ и оверлей прямо в играх.");
    PaintFeatureCard(dc, 345, 614, 314, 374, L"\u26A1  Каталог игр",
                     L"Мгновенный каталог сотен игр с постерами, описаниями и поиском.");

    PaintFooter(dc, L"Дистрибутив (~122 МБ) загружается из репозитория и устанавливается в "
                    L"C:\\Program Files\\ZENKA.");
}

void PaintInstallingPage(HDC dc) {
    // Copies only: the worker may post at any moment and must never wait for drawing.
    const ProgressSnapshot snapshot = TakeProgressSnapshot();

    PaintTitle(dc, L"Установка ZENKA", TEXT_WHITE, snapshot.statusText);
    DrawRoundedPanel(dc, 28, 100, 604, 280, CARD_FILL, CARD_BORDER, 10);
    DrawTextAt(dc, snapshot.statusText, 50, 122, 450, 146, g_settings.headingFont.Get(), TEXT_WHITE, TEXT_SINGLE);
    if (snapshot.progress >= 0) {
        DrawTextAt(dc, FormatPercent(snapshot.progress), 460, 122, 590, 148, g_settings.headingFont.Get(), ACCENT_BLUE,
                   TEXT_RIGHT);
    }
    PaintProgressBar(dc, snapshot.progress);
    DrawTextAt(dc, snapshot.detailText, 50, 172, 590, 194, g_settings.smallFont.Get(), TEXT_GREY, TEXT_SINGLE);

    DrawRoundedPanel(dc, 46, 204, 568, 160, CONSOLE_FILL, CONSOLE_BORDER, 6);
    DrawTextAt(dc, L"\u2022 Журнал установки (Live Console)", 58, 212, 590, 230, g_settings.smallFont.Get(),
               CAPTION_GREY, TEXT_SINGLE);
    int top = CONSOLE_FIRST_TOP;
    size_t shown = 0;
    for (const std::wstring& line : snapshot.logLines) {
        if (shown++ == LOG_LINES_MAX) break;
        PaintConsoleLine(dc, line, top);
        top += CONSOLE_LINE_STEP;
    }

    PaintFooter(dc, L"Пожалуйста, подождите. Мастер загружает дистрибутив и распаковывает компоненты "
                    L"лаунчера...");
}

void PaintFinishedPage(HDC dc) {
    PaintTitle(dc, L"ZENKA успешно установлен!", SUCCESS_GREEN,
               L"Настройка завершена. Приложение готово к первому запуску.");
    DrawRoundedPanel(dc, 28, 95, 604, 355, CARD_FILL, CARD_BORDER, 10);
    DrawTextAt(dc, L"Поздравляем! Установка успешно завершена.", 48, 116, 614, 142, g_settings.headingFont.Get(),
               TEXT_WHITE, TEXT_SINGLE);
    DrawTextAt(dc, L"Теперь на вашем компьютере развернута полноценная библиотека игр.", 48, 148, 614, 172,
               g_settings.bodyFont.Get(), LIGHT_BODY, TEXT_WRAPPED);
    DrawTextAt(dc, L"Все ваши автономные игры, сохранения и достижения собраны в едином месте.", 48, 176, 614, 200,
               g_settings.bodyFont.Get(), LIGHT_BODY, TEXT_WRAPPED);
    DrawTextAt(dc, L"Желаем приятной игры и ярких побед!", 48, 204, 614, 228, g_settings.bodyFont.Get(), LIGHT_BODY,
               TEXT_WRAPPED);

    {
        const GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, CARD_BORDER));
        const GdiSelection penSelection(dc, pen.Get());
        MoveToEx(dc, 48, 238, nullptr);
        LineTo(dc, 612, 238);
    }

    // The folder the setup really installed into, as it was given; a long one is shortened in the
    // middle so that the line stays one line.
    DrawTextAt(dc, L"\U0001F4C1  Папка установки:  " + g_settings.targetDir, 48, 254, 614, 278,
               g_settings.smallFont.Get(), TEXT_GREY, TEXT_SINGLE | DT_PATH_ELLIPSIS);
    DrawTextAt(dc, L"\U0001F5A5\uFE0F  Ярлыки добавлены на Рабочий стол и в меню «Пуск»", 48, 282, 614, 306,
               g_settings.smallFont.Get(), TEXT_GREY, TEXT_WRAPPED);
    DrawTextAt(dc, L"\U0001F6E1\uFE0F  Служба автозапуска и интеграция с Windows настроены", 48, 310, 614, 334,
               g_settings.smallFont.Get(), TEXT_GREY, TEXT_WRAPPED);
}

void ComposeSetupPage(HDC target, int width, int height) {
    const MemoryDc memoryDc(CreateCompatibleDC(target));
    const HDC memory = memoryDc.Get();
    const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(target, width, height));
    const GdiSelection bitmapSelection(memory, bitmap.Get());

    const RECT client{0, 0, width, height};
    FillRect(memory, &client, GdiObject<HBRUSH>(CreateSolidBrush(WINDOW_BACKGROUND)).Get());
    SetBkMode(memory, TRANSPARENT);

    if (g_settings.appIcon) {
        DrawIconEx(memory, 28, 24, g_settings.appIcon.Get(), 48, 48, 0, nullptr, DI_NORMAL);
    }

    // pageState is written only on this thread, so it is read without the lock.
    switch (g_settings.pageState) {
    case PAGE_WELCOME: PaintWelcomePage(memory); break;
    case PAGE_INSTALLING: PaintInstallingPage(memory); break;
    case PAGE_FINISHED: PaintFinishedPage(memory); break;
    default: break;
    }

    BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    // The fonts stay selected; they belong to the window and outlive this DC.
}

void PaintSetupWindow(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    ComposeSetupPage(dc, client.right - client.left, client.bottom - client.top);
    EndPaint(window, &paint);
}
