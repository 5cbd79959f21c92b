// The loopback servers the download tests run against (started by the CTest fixture) and small
// helpers around them: scenario set-up and request logs of the fault server, the nginx access log,
// per-test working directories and file comparison.
#pragma once

#include "support/files.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct LoggedRequest {
    int elapsedMs = 0;  // since the scenario was set (fault server) or 0 (nginx)
    std::string range;  // "-" when the request had no Range header
    std::string agent;
    std::string ifRange; // "-" when the request had no If-Range header
    std::string uri;    // nginx only
    int status = 0;     // 0 when the request got no answer
};

// Windows path ("Z:\...") of a Unix path, and back.
std::wstring WindowsPath(const std::string& unixPath);
std::string UnixPath(const std::wstring& windowsPath);

// The fixture's state directory (Unix path).
std::string FixtureDir();
// The package nginx serves, its sha256sum digest and its URL.
std::string PackageUnixPath();
std::wstring PackageDigest();
std::wstring PackageUrl();
// URL of the file nginx serves from FixtureDir()/www/<path>.
std::wstring NginxUrl(const std::string& path);
std::string SmallFileUnixPath(); // 4 MiB of random bytes

// The validator file beside a partial file (empty when there is none) and a hand-made one.
std::string ValidatorFileText(const std::wstring& partialPath);
void WriteValidatorFile(const std::wstring& partialPath, const std::string& text);

// Fault server: sets the scenario (JSON text) for `key` and returns the URL that serves it.
std::wstring SetScenario(const std::string& key, const std::string& json);
std::vector<LoggedRequest> FaultLog(const std::string& key);
// nginx requests whose URI is `uri`.
std::vector<LoggedRequest> NginxLog(const std::string& uri);

// An empty working directory for one test; returns its Windows path.
std::wstring FreshWorkDir(const std::string& name);

uint64_t FileSizeOf(const std::wstring& path); // 0 when missing
// Byte for byte equal (a failure does not print megabytes of both files).
bool SameContents(const std::wstring& a, const std::wstring& b);

// A URL on loopback where nothing listens.
std::wstring DeadUrl();
