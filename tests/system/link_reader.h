// Reading saved shell links back, for the tests: the links are loaded into a fresh link object,
// as Explorer would load them.
#pragma once

#include "base/owners.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

struct LinkFields {
    std::wstring path;
    std::wstring workingDirectory;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = -1;
};

inline std::wstring FolderPath(REFKNOWNFOLDERID folder) {
    PWSTR raw = nullptr;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, &raw);
    CoTaskMemString owner(raw);
    return SUCCEEDED(result) && owner ? std::wstring(owner.Get()) : std::wstring();
}

inline std::wstring LinkPathIn(REFKNOWNFOLDERID folder) { return FolderPath(folder) + L"\\ZENKA.lnk"; }

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Loads the saved file into a fresh link object, as Explorer would.
inline bool ReadLink(const std::wstring& linkPath, LinkFields& fields) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return false;
    wchar_t buffer[MAX_PATH * 2] = {};
    const int size = static_cast<int>(sizeof buffer / sizeof buffer[0]);
    if (FAILED(link->GetPath(buffer, size, nullptr, SLGP_RAWPATH))) return false;
    fields.path = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetWorkingDirectory(buffer, size))) return false;
    fields.workingDirectory = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetDescription(buffer, size))) return false;
    fields.description = buffer;
    buffer[0] = L'\0';
    if (FAILED(link->GetIconLocation(buffer, size, &fields.iconIndex))) return false;
    fields.iconPath = buffer;
    return true;
}

// The link names the launcher in `targetDir` as its program and icon and starts in `targetDir`.
inline void ExpectLinkTo(const std::wstring& linkPath, const std::wstring& targetDir) {
    SCOPED_TRACE(linkPath);
    LinkFields fields;
    ASSERT_TRUE(ReadLink(linkPath, fields));
    EXPECT_EQ(fields.path, targetDir + L"\\ZENKA.exe");
    EXPECT_EQ(fields.workingDirectory, targetDir);
    EXPECT_EQ(fields.description, L"ZENKA Game Launcher & Library Manager");
    EXPECT_EQ(fields.iconPath, targetDir + L"\\ZENKA.exe");
    EXPECT_EQ(fields.iconIndex, 0);
}

