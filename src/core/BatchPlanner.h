// Planning a batch: the one place where the window and quarnix-cli check the output folder (exists, can
// be written, has room), choose every output name (never an existing file nor another output of the batch)
// and fill the job's request. The result either names the problem or holds a job ready to run.
#pragma once

#include "engine/Batch.h"
// The output-naming rule and FileNameOf, for the front ends too.
#include "engine/io/OutputName.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quarnix {

// One file of the batch as the front end knows it from the probe.
struct PlannedInput {
    std::string path;                 // UTF-8 (on Linux: the name's bytes)
    std::int64_t durationUs = 0;      // the probed duration, for the percentage
    std::optional<Turn> turn;         // the file's own turn; the batch's rotation when empty
    std::optional<bool> turnPictures; // the file's own way (turn the pictures, or mark); the job's when empty
};

enum class PlanProblem {
    kNone,
    kNoEntries,      // nothing to convert
    kTooManyEntries, // more than CConvertJob::kMaxEntries
    kFolderMissing,  // the output folder does not exist (or is not a folder)
    kFolderNotWritable,
    kNotEnoughSpace, // the folder's volume has less free space than the inputs' total size
};

struct BatchPlan {
    PlanProblem problem = PlanProblem::kNone;
    std::unique_ptr<CConvertJob> job; // set when problem is kNone: stream-copy request, not started
};

// Checks the folder and plans one entry per input, in order.
BatchPlan PlanBatch(const std::string& outputFolder, const std::vector<PlannedInput>& inputs, int rotation);

// Plans a batch whose outputs replace their originals: each is written beside its input, so each input's
// folder is checked (can be written, has room for that folder's inputs). The same input twice is planned
// once. Fills the job's request as PlanBatch does, with m_replaceOriginals set.
BatchPlan PlanReplaceBatch(const std::vector<PlannedInput>& inputs, int rotation);

// Whether a file can be added to a batch by its name: its name needs an extension, which chooses the
// output container. Both front ends refuse other names when they are added.
bool HasContainerExtension(const std::string& path);

} // namespace quarnix
