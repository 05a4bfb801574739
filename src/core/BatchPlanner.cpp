#include "core/BatchPlanner.h"

#include "engine/io/OutputFile.h"
#include "platform/BytePaths.h"

#include <algorithm>
#include <map>
#include <set>

namespace quarnix {

bool HasContainerExtension(const std::string& path) {
    const std::string name = FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot + 1 < name.size();
}

namespace {

// The job's request for the inputs and their planned outputs, in order.
std::unique_ptr<CConvertJob> MakeJob(const std::vector<PlannedInput>& inputs,
                                     const std::vector<std::string>& outputs, int rotation) {
    auto job = std::make_unique<CConvertJob>();
    const int count = static_cast<int>(inputs.size());
    job->PrepareEntries(count);
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        job->m_inputPaths[at] = inputs[at].path;
        job->m_outputPaths[at] = outputs[at];
        job->m_fileDuration[at] =
            static_cast<double>(inputs[at].durationUs > 0 ? inputs[at].durationUs : 0) / 1e6;
    }
    job->m_rotation = rotation;
    // Files with a turn of their own carry it into the job; the others keep the batch's.
    if (std::any_of(inputs.begin(), inputs.end(),
                    [](const PlannedInput& input) { return input.turn.has_value(); })) {
        job->m_entryTurns.reserve(inputs.size());
        for (const PlannedInput& input : inputs) {
            job->m_entryTurns.push_back(input.turn.value_or(Turn::Clockwise(rotation)));
        }
    }
    if (std::any_of(inputs.begin(), inputs.end(),
                    [](const PlannedInput& input) { return input.turnPictures.has_value(); })) {
        for (const PlannedInput& input : inputs) {
            job->m_entryTurnPictures.push_back(input.turnPictures.value_or(false) ? 1 : 0);
        }
    }
    job->m_reencode = 0;
    return job;
}

// What stands against a batch of this many entries, or kNone.
PlanProblem CountProblem(std::size_t count) {
    if (count == 0) {
        return PlanProblem::kNoEntries;
    }
    return count > static_cast<std::size_t>(CConvertJob::kMaxEntries) ? PlanProblem::kTooManyEntries
                                                                      : PlanProblem::kNone;
}

// What stands against writing the files' rotated copies into the folder (it exists, takes a new file and
// has room for them), or kNone.
PlanProblem FolderProblem(const std::string& folder, const std::vector<std::string>& paths) {
    if (!IsFolder(folder)) {
        return PlanProblem::kFolderMissing;
    }
    if (!WriteProbeFileBytes(folder)) {
        return PlanProblem::kFolderNotWritable;
    }
    return HasRoomForBytes(folder, paths) ? PlanProblem::kNone : PlanProblem::kNotEnoughSpace;
}

} // namespace

BatchPlan PlanBatch(const std::string& outputFolder, const std::vector<PlannedInput>& inputs, int rotation) {
    BatchPlan plan;
    if (plan.problem = CountProblem(inputs.size()); plan.problem != PlanProblem::kNone) {
        return plan;
    }
    std::vector<std::string> paths;
    paths.reserve(inputs.size());
    for (const PlannedInput& input : inputs) {
        paths.push_back(input.path);
    }
    if (plan.problem = FolderProblem(outputFolder, paths); plan.problem != PlanProblem::kNone) {
        return plan;
    }

    std::vector<std::string> outputs;
    std::set<std::string> taken;
    for (const PlannedInput& input : inputs) {
        // Names given earlier in this batch count as taken, so same-named inputs never share an output.
        outputs.push_back(ChooseOutputPath(outputFolder, input.path, taken));
        taken.insert(outputs.back());
    }
    plan.job = MakeJob(inputs, outputs, rotation);
    return plan;
}

BatchPlan PlanReplaceBatch(const std::vector<PlannedInput>& givenInputs, int rotation) {
    BatchPlan plan;
    std::vector<PlannedInput> inputs;
    std::set<std::string> seen;
    for (const PlannedInput& input : givenInputs) {
        if (seen.insert(input.path).second) {
            inputs.push_back(input);
        }
    }
    if (plan.problem = CountProblem(inputs.size()); plan.problem != PlanProblem::kNone) {
        return plan;
    }
    // Every folder that gets outputs: it must take a new file and the rotated copies of its inputs.
    std::map<std::string, std::vector<std::string>> byFolder;
    for (const PlannedInput& input : inputs) {
        byFolder[FolderOf(input.path)].push_back(input.path);
    }
    for (const auto& [folder, paths] : byFolder) {
        if (plan.problem = FolderProblem(folder, paths); plan.problem != PlanProblem::kNone) {
            return plan;
        }
    }
    std::vector<std::string> outputs;
    for (const PlannedInput& input : inputs) {
        outputs.push_back(input.path);
    }
    plan.job = MakeJob(inputs, outputs, rotation);
    plan.job->m_replaceOriginals = 1;
    return plan;
}

} // namespace quarnix
