// Allocator settings for batches of many files: memory freed by one file is reused by the next or given
// back to the system, so that resident memory stays flat from ten files to thousands, whatever the
// container and the size of the pictures. Nothing that is read or written changes; only where the
// allocator takes memory from.
#pragma once

namespace quarnix {

// Process-wide allocator settings, so each program's main makes this call before it starts any thread;
// it also starts a thread that gives free memory back when resident memory rises. Only the first call
// does anything. The engine library itself never changes them.
void TuneHeapForBatches();

} // namespace quarnix
