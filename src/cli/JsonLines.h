// The --json output of quarnix-cli: one JSON object per line per file. JSON strings must be Unicode, but a
// Linux file name is any bytes: a name that is not valid UTF-8 is written with U+FFFD for each byte that is
// not, and its exact bytes in a second member, "<key>_base64", so that scripts can always recover it.
#pragma once

#include <cstdint>
#include <string>

namespace quarnix {
struct EntryOutcome;
struct MediaFacts;
} // namespace quarnix

namespace quarnix::cli {

bool IsValidUtf8(const std::string& bytes);

// A batch entry's status as both output formats name it: converted, failed or pending.
const char* StatusWord(std::int8_t status);

// One JSON object built member by member, in order.
class JsonObject {
public:
    // A text member; a name not valid UTF-8 gets its "<key>_base64" member too.
    JsonObject& Text(const char* key, const std::string& bytes);
    JsonObject& Number(const char* key, long long value);
    std::string Line() const { return m_text + "}\n"; }

private:
    void Key(const char* key);
    std::string m_text = "{";
};

// The line of a file that the probe refused (status "refused", its reason).
std::string RefusedJsonLine(const std::string& file, const std::string& reason);
// The line of an accepted file for `probe --json`: status "accepted" and the list's texts.
std::string ProbeJsonLine(const std::string& file, const MediaFacts& facts);
// The line of a batch entry for `rotate --json`: status converted, failed or pending, the output, the
// reason of a failure, the note of a converted file and how it was written.
std::string RotateJsonLine(const EntryOutcome& outcome);

} // namespace quarnix::cli
