#include "OutputFile.h"

#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavutil/error.h>
}

#ifdef _WIN32
#include <windows.h>

namespace {
std::wstring Widen(const std::string& utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), length);
    }
    wide.resize(wcslen(wide.c_str()));
    return wide;
}
} // namespace
#endif

namespace quarnix {

int CreateOutputExclusively(const std::string& utf8Path) {
#ifdef _WIN32
    FILE* file = _wfopen(Widen(utf8Path).c_str(), L"wbx");
#else
    FILE* file = std::fopen(utf8Path.c_str(), "wbx");
#endif
    if (file == nullptr) {
        return AVERROR(errno != 0 ? errno : EIO);
    }
    std::fclose(file);
    return 0;
}

void RemoveCreatedOutput(const std::string& utf8Path) {
#ifdef _WIN32
    _wremove(Widen(utf8Path).c_str());
#else
    std::remove(utf8Path.c_str());
#endif
}

} // namespace quarnix
