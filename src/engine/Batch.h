// The engine's batch face for the front ends: the request (CConvertJob), the running batch that owns its
// worker, and an entry's outcome once its status is final. The window and the CLI include nothing else of
// the engine's batch side.
#pragma once

#include "engine/batch/ConvertJob.h"
#include "engine/batch/RunningBatch.h"
