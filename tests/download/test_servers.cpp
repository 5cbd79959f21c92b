#include "download/test_servers.h"

#include "install/paths.h"

#include <winhttp.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace {

int PortFromFile(const std::string& unixPath) {
    const std::string text = ReadFileBytes(WindowsPath(unixPath));
    if (text.empty()) throw std::runtime_error("server not running: " + unixPath);
    return std::stoi(text);
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // ASCII only: keys, paths of the build tree
}

// A small WinHTTP exchange with the fault server's control side.
std::string Exchange(const wchar_t* verb, const std::wstring& path, const std::string& body) {
    const int port = PortFromFile(FixtureDir() + "/fault/port");
    HINTERNET session = WinHttpOpen(L"zenka-tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0);
    HINTERNET request = WinHttpOpenRequest(connection, verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    std::string reply;
    if (request != nullptr &&
        WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<char*>(body.data()),
                           static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        char buffer[4096];
        DWORD count = 0;
        while (WinHttpReadData(request, buffer, sizeof(buffer), &count) && count > 0) reply.append(buffer, count);
    }
    if (request != nullptr) WinHttpCloseHandle(request);
    if (connection != nullptr) WinHttpCloseHandle(connection);
    if (session != nullptr) WinHttpCloseHandle(session);
    return reply;
}

// nginx writes a quote and other special bytes of a logged header as "\xHH".
std::string UnescapeNginx(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field.compare(i, 2, "\\x") == 0 && i + 4 <= field.size() && isxdigit(static_cast<unsigned char>(field[i + 2])) &&
            isxdigit(static_cast<unsigned char>(field[i + 3]))) {
            text.push_back(static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            text.push_back(field[i]);
        }
    }
    return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

} // namespace

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::string UnixPath(const std::wstring& windowsPath) {
    std::string path(windowsPath.begin() + 2, windowsPath.end());
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string FixtureDir() { return DOWNLOAD_FIXTURE_DIR; }
std::string PackageUnixPath() { return FixtureDir() + "/www/releases/stable/ZENKA-latest-full.zip"; }
std::string SmallFileUnixPath() { return FixtureDir() + "/www/small.bin"; }

std::wstring PackageDigest() {
    std::string text = ReadFileBytes(WindowsPath(PackageUnixPath() + ".sha256"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return Widen(text);
}

std::wstring PackageUrl() { return NginxUrl("releases/stable/ZENKA-latest-full.zip"); }

std::wstring NginxUrl(const std::string& path) {
    return L"http://127.0.0.1:" + std::to_wstring(PortFromFile(FixtureDir() + "/nginx/port")) + L"/" + Widen(path);
}

std::wstring SetScenario(const std::string& key, const std::string& json) {
    Exchange(L"PUT", L"/control/" + Widen(key), json);
    return L"http://127.0.0.1:" + std::to_wstring(PortFromFile(FixtureDir() + "/fault/port")) + L"/f/" +
           Widen(key);
}

std::vector<LoggedRequest> FaultLog(const std::string& key) {
    std::vector<LoggedRequest> requests;
    std::istringstream lines(Exchange(L"GET", L"/log/" + Widen(key), std::string()));
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() < 3) continue;
        LoggedRequest request;
        request.elapsedMs = std::stoi(fields[0]);
        request.range = fields[1];
        request.agent = fields[2];
        request.ifRange = fields.size() > 3 ? fields[3] : "-";
        request.status = fields.size() > 4 && fields[4] != "-" ? std::stoi(fields[4]) : 0;
        requests.push_back(request);
    }
    return requests;
}

std::vector<LoggedRequest> NginxLog(const std::string& uri) {
    std::vector<LoggedRequest> requests;
    std::istringstream lines(ReadFileBytes(WindowsPath(FixtureDir() + "/nginx/access.log")));
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() < 5 || fields[0] != uri) continue;
        LoggedRequest request;
        request.uri = fields[0];
        request.range = fields[1];
        request.agent = fields[2];
        request.status = std::stoi(fields[3]);
        request.ifRange = fields.size() > 6 ? UnescapeNginx(fields[6]) : "-";
        requests.push_back(request);
    }
    return requests;
}

std::wstring FreshWorkDir(const std::string& name) {
    const std::wstring dir = WindowsPath(FixtureDir() + "/work/" + name);
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(dir), error);
    std::filesystem::create_directories(std::filesystem::path(dir), error);
    return dir;
}

std::string ValidatorFileText(const std::wstring& partialPath) { return ReadFileBytes(ValidatorPath(partialPath)); }

void WriteValidatorFile(const std::wstring& partialPath, const std::string& text) {
    WriteFileBytes(ValidatorPath(partialPath), text);
}

uint64_t FileSizeOf(const std::wstring& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), error);
    return error ? 0 : static_cast<uint64_t>(size);
}

bool SameContents(const std::wstring& a, const std::wstring& b) { return ReadFileBytes(a) == ReadFileBytes(b); }

std::wstring DeadUrl() { return L"http://127.0.0.1:9/releases/none.zip"; }
