#include "ConvertJob.h"

namespace quarnix {

CConvertJob::CConvertJob() {
    for (auto& status : m_fileStatus) {
        status.store(0, std::memory_order_relaxed);
    }
}

std::vector<std::string> CConvertJob::AllocatePathList(int count) {
    return std::vector<std::string>(count > 0 ? static_cast<std::size_t>(count) : 0);
}

std::thread StartConvertThread(CConvertJob& job) {
    return std::thread([&job] { ConvertThreadProc(&job); });
}

} // namespace quarnix
