#include "ui/gdi_count.h"

#include <cstdint>
#include <cstring>

namespace {

// One entry of the 64-bit GDI handle table, as Windows and Wine lay it out.
struct GdiHandleEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "64-bit layout");

constexpr size_t GDI_HANDLE_COUNT = 0x10000;
constexpr size_t PEB_GDI_TABLE_OFFSET = 0xF8; // PEB.GdiSharedHandleTable on x64

} // namespace

DWORD CountGdiObjects() {
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0) return counted;
    const uint8_t* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb)); // TEB.ProcessEnvironmentBlock on x64
    const GdiHandleEntry* table = nullptr;
    memcpy(&table, peb + PEB_GDI_TABLE_OFFSET, sizeof(table));
    if (table == nullptr) return 0;
    DWORD live = 0;
    for (size_t i = 0; i < GDI_HANDLE_COUNT; ++i) {
        if (table[i].type != 0) ++live;
    }
    return live;
}
