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

void CConvertJob::PrepareEntries(int count) {
    m_fileCount = count;
    m_inputPaths = AllocatePathList(count);
    m_outputPaths = AllocatePathList(count);
    m_entryReasons = AllocatePathList(count);
    m_entryMethods = AllocatePathList(count);
    for (int i = 0; i < count && i < kStatusSlots; ++i) {
        m_fileStatus[static_cast<std::size_t>(i)].store(kFileStatusPending, std::memory_order_relaxed);
    }
}

} // namespace quarnix
