#include "engine/batch/ConvertJob.h"

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
    m_entryWriteMethods.assign(m_entryMethods.size(), WriteMethod::kNone);
    for (int i = 0; i < count && i < kStatusSlots; ++i) {
        m_fileStatus[static_cast<std::size_t>(i)].store(kFileStatusPending, std::memory_order_relaxed);
    }
}

Turn CConvertJob::TurnOfEntry(int entry) const {
    if (entry >= 0 && static_cast<std::size_t>(entry) < m_entryTurns.size()) {
        return m_entryTurns[static_cast<std::size_t>(entry)];
    }
    return {m_rotation, m_absoluteRotation != 0};
}

bool CConvertJob::TurnsPicturesOf(int entry) const {
    if (entry >= 0 && static_cast<std::size_t>(entry) < m_entryTurnPictures.size()) {
        return m_entryTurnPictures[static_cast<std::size_t>(entry)] != 0;
    }
    return m_turnPictures != 0;
}

EntryOutcome CConvertJob::OutcomeOf(int entry) const {
    EntryOutcome outcome;
    if (entry < 0 || entry >= m_fileCount || entry >= kStatusSlots) {
        return outcome;
    }
    outcome.status = StatusOf(entry);
    const auto at = static_cast<std::size_t>(entry);
    auto textAt = [at](const std::vector<std::string>& texts) {
        return at < texts.size() ? texts[at] : std::string();
    };
    outcome.inputPath = textAt(m_inputPaths);
    outcome.outputPath = textAt(m_outputPaths);
    outcome.reason = textAt(m_entryReasons);
    outcome.methodDetail = textAt(m_entryMethods);
    outcome.method = at < m_entryWriteMethods.size() ? m_entryWriteMethods[at] : WriteMethod::kNone;
    return outcome;
}

} // namespace quarnix
