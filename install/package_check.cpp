#include "install/package_check.h"

#include "base/directory_path.h"
#include "base/number_text.h"
#include "base/path_name.h"
#include "base/product.h"
#include "base/utf8.h"
#include "install/paths.h"

#include <miniz.h>

#include <algorithm>

namespace {

constexpr uint16_t FLAG_ENCRYPTED = 1;
constexpr uint16_t FLAG_STRONG_ENCRYPTION = 0x40;
constexpr uint16_t METHOD_STORED = 0;
constexpr uint16_t METHOD_DEFLATE = 8;
constexpr uint16_t METHOD_AES = 99; // the data is encrypted; the real method is inside
constexpr uint32_t DOS_DIRECTORY = 0x10;
constexpr uint16_t UNICODE_PATH_FIELD = 0x7075;

uint32_t Read16(const std::string& bytes, size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

uint32_t Read32(const std::string& bytes, size_t at) { return Read16(bytes, at) | Read16(bytes, at + 2) << 16; }

// The UTF-8 name of a Unicode path field (written by tools whose stored names are in a code page)
// when the field belongs to this stored name: its CRC-32 is that of the stored name, so a tool
// that renamed the entry without updating the field does not bring an old name back.
bool UnicodePathName(const ArchiveEntry& entry, std::string& name) {
    const std::string& extra = entry.extra;
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint32_t id = Read16(extra, at);
        const size_t size = Read16(extra, at + 2);
        if (at + 4 + size > extra.size()) return false;
        if (id == UNICODE_PATH_FIELD && size >= 5 && extra[at + 4] == 1) {
            const uint32_t crc = static_cast<uint32_t>(
                mz_crc32(MZ_CRC32_INIT, reinterpret_cast<const unsigned char*>(entry.name.data()), entry.name.size()));
            if (Read32(extra, at + 5) != crc) return false;
            name = extra.substr(at + 9, size - 5);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

// For the box only: the bytes as UTF-8, each byte that is not part of a valid sequence shown as
// U+FFFD, so that the publisher recognises the entry.
std::wstring ShownBytes(const std::string& bytes) {
    std::wstring shown;
    for (size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::wstring piece;
        if (at + length <= bytes.size() && DecodeUtf8(bytes.data() + at, length, piece)) {
            shown += piece;
            at += length;
        } else {
            shown += L'\uFFFD';
            ++at;
        }
    }
    return shown;
}

std::wstring MethodName(uint16_t method) {
    switch (method) {
    case 1: return L"Shrink";
    case 6: return L"Implode";
    case 9: return L"Deflate64";
    case 12: return L"BZip2";
    case 14: return L"LZMA";
    case 93: return L"Zstandard";
    case 95: return L"XZ";
    case 98: return L"PPMd";
    default: return L"№ " + DecimalText(method);
    }
}

bool IsProgramName(const std::wstring& name, const wchar_t* program) {
    const std::wstring wanted = program;
    // The programs' names are ASCII, and no other letter folds to an ASCII one in Windows' names.
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](wchar_t a, wchar_t b) {
               const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
               return lower(a) == lower(b);
           });
}

// The entry's path below the target as plain names ("." and empty names dropped, ".." taken
// back), or false when a name is one Windows would not keep as written.
bool PlainNames(const std::wstring& name, std::vector<std::wstring>& names) {
    if (!IsContainedEntryName(name)) return false;
    names.clear();
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring part = name.substr(start, end - start);
        if (part == L"..") {
            names.pop_back(); // IsContainedEntryName: never above the top
        } else if (!part.empty() && part != L".") {
            if (!IsPlainName(part)) return false;
            names.push_back(part);
        }
        start = end + 1;
    }
    return true;
}

// The box for a package that lacks one of the programs at its root, or empty.
std::wstring MissingProgramsText(const std::vector<PlannedEntry>& planned) {
    std::vector<std::wstring> missing;
    std::wstring nestedIn;
    for (const wchar_t* program : {LAUNCHER_FILE_NAME, UPDATER_FILE_NAME}) {
        bool atRoot = false;
        for (const PlannedEntry& entry : planned) {
            if (!IsProgramName(entry.fileName, program)) continue;
            if (entry.folder.empty()) atRoot = true;
            if (!entry.folder.empty() && nestedIn.empty()) nestedIn = entry.folder;
        }
        if (!atRoot) missing.push_back(L"«" + std::wstring(program) + L"»");
    }
    if (missing.empty()) return std::wstring();
    const std::wstring list = missing.size() == 1 ? missing[0] : missing[0] + L" и " + missing[1];
    if (!nestedIn.empty()) {
        return L"В корне архива нет " + list + L": файлы программы лежат в папке «" + nestedIn +
               L"». Упакуйте содержимое папки, а не саму папку: файлы программы должны быть в корне архива.";
    }
    return L"В архиве нет " + list + L": пакет должен содержать " + LAUNCHER_FILE_NAME + L" и " + UPDATER_FILE_NAME +
           L" в корне архива.";
}

} // namespace

std::wstring CheckPackageEntries(const std::vector<ArchiveEntry>& entries, const std::wstring& targetDir,
                                 std::vector<PlannedEntry>& planned) {
    planned.clear();
    planned.reserve(entries.size());
    std::vector<std::wstring> names;
    for (const ArchiveEntry& entry : entries) {
        std::string utf8 = entry.name;
        UnicodePathName(entry, utf8);
        std::wstring name;
        if (!DecodeUtf8(utf8.data(), utf8.size(), name)) {
            return L"Имя файла в архиве записано не в UTF-8: «" + ShownBytes(entry.name) +
                   L"». Упакуйте архив программой, которая записывает имена файлов в UTF-8.";
        }
        std::replace(name.begin(), name.end(), L'/', L'\\');
        const bool isFolder =
            (!name.empty() && name.back() == L'\\') || (entry.externalAttributes & DOS_DIRECTORY) != 0;

        if (!isFolder &&
            ((entry.flags & (FLAG_ENCRYPTED | FLAG_STRONG_ENCRYPTION)) != 0 || entry.method == METHOD_AES)) {
            return L"Файл «" + name +
                   L"» в архиве зашифрован, а установщик не знает пароля: упакуйте архив без пароля.";
        }
        if (!isFolder && entry.method != METHOD_STORED && entry.method != METHOD_DEFLATE) {
            return L"Файл «" + name + L"» в архиве сжат методом " + MethodName(entry.method) +
                   L", который установщик не поддерживает: упакуйте архив методом Deflate (обычный ZIP).";
        }
        if (!PlainNames(name, names) || (!isFolder && names.empty())) {
            return L"Имя «" + name +
                   L"» в архиве нельзя записать в папку установки: переименуйте его (без «..», буквы диска, косой "
                   L"черты в начале, знаков <>:\"|?*, точки или пробела в конце имени и имён устройств вроде NUL).";
        }

        PlannedEntry plan;
        std::wstring relative;
        for (size_t i = 0; i < names.size(); ++i) relative += (i == 0 ? L"" : L"\\") + names[i];
        if (AppendPathName(targetDir, relative).size() > FULL_PATH_MAX) {
            return L"Путь файла «" + name + L"» в папке установки длиннее " + DecimalText(FULL_PATH_MAX) +
                   L" знаков: сократите имена папок и файлов в архиве.";
        }
        if (!isFolder) {
            plan.fileName = names.back();
            names.pop_back();
        }
        for (size_t i = 0; i < names.size(); ++i) plan.folder += (i == 0 ? L"" : L"\\") + names[i];
        const size_t lastSeparator = name.find_last_of(L'\\');
        plan.display = lastSeparator == std::wstring::npos ? name : name.substr(lastSeparator + 1);
        planned.push_back(std::move(plan));
    }
    return MissingProgramsText(planned);
}
