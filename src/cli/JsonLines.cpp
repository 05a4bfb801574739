#include "cli/JsonLines.h"

#include "engine/Batch.h"
#include "engine/Probe.h"

#include <array>
#include <cstdio>

namespace quarnix::cli {

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF included).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned min = 0;
    unsigned value = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return length;
}

std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceAt(bytes, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        const char c = bytes[at];
        if (length > 1) {
            out.append(bytes, at, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned char>(c));
            out += escaped.data();
        } else {
            out += c;
        }
        at += length;
    }
    return out + "\"";
}

std::string Base64(const std::string& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        unsigned value = static_cast<unsigned char>(bytes[at]) << 16;
        value |= left > 1 ? static_cast<unsigned char>(bytes[at + 1]) << 8 : 0;
        value |= left > 2 ? static_cast<unsigned char>(bytes[at + 2]) : 0;
        out += kDigits[(value >> 18) & 63];
        out += kDigits[(value >> 12) & 63];
        out += left > 1 ? kDigits[(value >> 6) & 63] : '=';
        out += left > 2 ? kDigits[value & 63] : '=';
    }
    return out;
}

const char* MethodName(WriteMethod method) {
    switch (method) {
    case WriteMethod::kMarkedInPlace:
        return "marked in place";
    case WriteMethod::kRemuxed:
        return "remuxed";
    case WriteMethod::kReencoded:
        return "re-encoded";
    default:
        return "";
    }
}

} // namespace

const char* StatusWord(std::int8_t status) {
    switch (status) {
    case kFileStatusConverted:
        return "converted";
    case kFileStatusFailed:
        return "failed";
    default:
        return "pending";
    }
}

bool IsValidUtf8(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceAt(bytes, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

void JsonObject::Key(const char* key) {
    if (m_text.size() > 1) {
        m_text += ", ";
    }
    m_text += Quoted(key) + ": ";
}

JsonObject& JsonObject::Text(const char* key, const std::string& bytes) {
    Key(key);
    m_text += Quoted(bytes);
    if (!IsValidUtf8(bytes)) {
        Key((std::string(key) + "_base64").c_str());
        m_text += Quoted(Base64(bytes));
    }
    return *this;
}

JsonObject& JsonObject::Number(const char* key, long long value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

std::string RefusedJsonLine(const std::string& file, const std::string& reason) {
    return JsonObject().Text("input", file).Text("status", "refused").Text("reason", reason).Line();
}

std::string ProbeJsonLine(const std::string& file, const MediaFacts& facts) {
    const std::array<std::string, 7> columns = ListRowTexts(file, facts);
    return JsonObject()
        .Text("input", file)
        .Text("status", "accepted")
        .Text("extension", columns[1])
        .Text("duration", columns[2])
        .Text("frame_size", columns[3])
        .Text("video_bit_rate", columns[4])
        .Text("frame_rate", columns[5])
        .Text("profile", columns[6])
        .Number("width", facts.width)
        .Number("height", facts.height)
        .Number("duration_us", facts.durationUs)
        .Text("shown", ShownTransformText(facts))
        .Number("shown_clockwise", facts.shownClockwise)
        .Number("shown_mirrored", facts.shownMirrored ? 1 : 0)
        .Line();
}

std::string RotateJsonLine(const EntryOutcome& outcome) {
    const bool converted = outcome.status == kFileStatusConverted;
    return JsonObject()
        .Text("input", outcome.inputPath)
        .Text("status", StatusWord(outcome.status))
        .Text("output", converted ? outcome.outputPath : std::string())
        .Text("reason", outcome.status == kFileStatusFailed ? outcome.reason : std::string())
        .Text("note", converted ? outcome.reason : std::string())
        .Text("method", converted ? MethodName(outcome.method) : "")
        .Text("method_detail", converted ? outcome.methodDetail : std::string())
        .Line();
}

} // namespace quarnix::cli
