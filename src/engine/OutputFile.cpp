#include "OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
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

std::string LocalFileUrl(const std::string& utf8Path) {
    return "file:" + utf8Path;
}

FileIdentity IdentifyFile(const std::string& utf8Path) {
    FileIdentity identity;
#ifdef _WIN32
    struct _stat64 info {};
    if (_wstat64(Widen(utf8Path).c_str(), &info) == 0 && (info.st_mode & _S_IFREG)) {
        identity = {true, static_cast<unsigned long long>(info.st_dev), 0, info.st_size,
                    static_cast<long long>(info.st_mtime) * 1000000000LL};
    }
#else
    struct stat info {};
    if (stat(utf8Path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        identity = {true, static_cast<unsigned long long>(info.st_dev),
                    static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
                    static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
#endif
    return identity;
}

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

int OpenCreatedOutput(AVIOContext** pb, const std::string& utf8Path) {
    AVDictionary* options = nullptr;
    if (int rc = av_dict_set(&options, "truncate", "0", 0); rc < 0) {
        return rc;
    }
    const int rc = avio_open2(pb, LocalFileUrl(utf8Path).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    return rc;
}

void RemoveCreatedOutput(const std::string& utf8Path) {
#ifdef _WIN32
    _wremove(Widen(utf8Path).c_str());
#else
    std::remove(utf8Path.c_str());
#endif
}

} // namespace quarnix
