// What a batch entry is without the media libraries: its request, its outcome and its temporary output.
// Marking in place, committing and publishing work on this alone; the remux and the re-encode extend it
// with the media libraries' contexts (EntryState, in the media module).
#pragma once

#include "engine/Rotation.h"
#include "engine/batch/ConvertJob.h"
#include "engine/batch/FailureReason.h"
#include "engine/io/OutputFile.h"

#include <string>

namespace quarnix {

struct EntryRecord {
    EntryRecord() = default;
    EntryRecord(const EntryRecord&) = delete;
    EntryRecord& operator=(const EntryRecord&) = delete;
    // Records made by the media module are destroyed through this base by the worker.
    virtual ~EntryRecord() = default;

    int index = 0;
    Turn turn;                 // what this entry's video gets (CConvertJob::TurnOfEntry)
    bool turnPictures = false; // the frames are turned by a re-encode instead of marked (TurnsPicturesOf)
    bool reencode = false;     // the entry is decoded and encoded: turnPictures, or the job's re-encode mode
    bool replaceOriginal = false; // the output takes the input's place (CConvertJob::m_replaceOriginals)
    std::string inputPath;
    std::string outputPath; // the final name the output is meant to get
    std::string reason;     // plain words: why the entry failed (the first cause found)
    std::string method;     // how a converted entry was written: "marked in place" or "remuxed: why"
    WriteMethod writeMethod = WriteMethod::kRemuxed;
    std::string note; // plain words on a converted entry ("written as MOV: AVI cannot carry a rotation")
    mutable int lastError = 0; // the last library error logged for this entry

    FileIdentity inputIdentity; // as the input was when it was opened
    CreatedOutput outputFile;   // the temporary file; outlives the media module's contexts that write it

    bool awaitingCommit = false; // complete: to be flushed, named and published by the committer
    bool inputCutShort = false;  // the input's end is missing: the output holds what is there
    bool headerWritten = false;
    bool failed = false;           // the entry ends with status 2
    bool cancelled = false;        // the packet loop stopped on a cancel before the input's end
    bool outputIncomplete = false; // writing the output failed: the file is unusable
};

// How the entry's in-place step ended.
enum class EntryEnd {
    kDone,       // converted, failed or (after a cancel) pending; go on
    kFolderGone, // the output folder disappeared: no later entry can be written either
};

// The request part of an entry (index, turn, ways, paths, and what an earlier step said in method, note
// and inputCutShort), copied into another record.
void CopyEntryRequest(const EntryRecord& from, EntryRecord& to);

// Logs a failure of one entry to the library log.
void LogEntryFailure(const EntryRecord& entry, const char* step, int errorCode);

// Logs the failure and fails the entry; the first failure's plain reason is the one the user sees.
void FailEntry(EntryRecord& entry, FailedStep step, const char* what, int errorCode);

// Whether the job was cancelled; sets entry.cancelled when it was.
bool WasCancelled(const CConvertJob& job, EntryRecord& entry);

// Creates the entry's temporary output; false (entry failed, end set) when it cannot be created.
bool CreateTemporaryFor(EntryRecord& entry, EntryEnd& end);

// Removes what the worker created for the entry, through the folder's descriptor (also from a folder moved
// away meanwhile), so no partial file ever carries an output's name.
void DiscardOutput(EntryRecord& entry);

// Releases the entry's temporary output: a complete one waits for its commit, its write-back started;
// anything else the worker created is removed.
void FinishRecord(EntryRecord& entry, bool complete);

// The QuickTime family (MP4, MOV, M4V, 3GP) whose box structure parses cleanly is rotated by copying its
// bytes and setting each video track's matrix; Matroska and WebM by copying their bytes and rewriting the
// header before the media. Returns false when the entry is to be remuxed instead (the reason is in
// entry.method). Needs no media library.
bool MarkInPlaceIfPossible(CConvertJob& job, EntryRecord& entry, EntryEnd& end);

} // namespace quarnix
