// The text encodings of a profile (INI) file, as the Windows profile calls treat them: a file that starts
// with the UTF-16LE byte-order mark is UTF-16LE; any other file is UTF-8, or Windows-1252 when its bytes
// are not valid UTF-8. Used by ProfileFile; public so that tests can check the round trips.
#pragma once

#include <QByteArray>
#include <QString>

namespace quarnix {

enum class ProfileEncoding {
    Utf8,        // no byte-order mark; also every new file
    Utf8WithBom, // UTF-8 that starts with EF BB BF; the mark is kept on write
    Utf16LE,     // starts with FF FE; the mark is kept on write
    Windows1252, // bytes that are not valid UTF-8
};

struct DecodedProfile {
    QString text;
    ProfileEncoding encoding = ProfileEncoding::Utf8;
};

// Decodes the bytes of a profile file; the byte-order mark, if any, is not part of the text.
DecodedProfile DecodeProfileBytes(const QByteArray& bytes);

// Encodes text in the given encoding, with its byte-order mark where it has one. Windows-1252 falls back
// to plain UTF-8 when the text holds a character that Windows-1252 cannot store, so no text is lost.
QByteArray EncodeProfileText(const QString& text, ProfileEncoding encoding);

// Windows-1252, hand-written because Qt 6.4's QStringConverter has no such codec: 0x00-0x7F and
// 0xA0-0xFF are Latin-1; 0x80-0x9F use the Windows table, and its five unassigned bytes (81, 8D, 8F, 90,
// 9D) map to the C1 control of the same value, as Windows does, so that every byte survives a round trip.
QString DecodeWindows1252(const QByteArray& bytes);
// False (and an empty array) when the text holds a character that Windows-1252 cannot store.
bool EncodeWindows1252(const QString& text, QByteArray* bytes);

} // namespace quarnix
