// Profile (INI) files with the semantics of the Windows profile-string calls (GetPrivateProfileStringW,
// GetPrivateProfileIntW, WritePrivateProfileStringW) that setting.ini and the language packs are read
// and written with. Every call opens, reads and closes the file; nothing is cached.
//
// Layout: a line "[name]" opens a section; a line "key=value" is a setting; blanks around names and
// values do not count; a line whose first non-blank character is ';' is a comment; any other line is
// kept but never matches. Lines end with CR LF, LF or CR.
//
// Reading: sections and keys compare case-insensitively; the first section of that name is searched and
// the first key of that name in it wins. The value is trimmed of blanks (space, tab, CR, VT, FF), then one
// pair of matching surrounding quotes (" or ') is removed, then it is cut to 999 UTF-16 code units (a
// buffer of 1000). A missing file, section or key, a line "key" without '=', a file that is a folder or
// cannot be read, or a file above 32 MiB gives the default (itself cut to 999 and stripped of trailing
// blanks, as Windows does). A present key with an empty value gives "", not the default.
//
// Writing: replaces the value of the key in place (keeping the key's spelling in the file), or adds
// "key=value" after the last line of the section that is neither blank nor a comment, or appends "[section]"
// and "key=value" at the end; the first write creates the file. Every other line stays as it was. The new
// file is written beside the old one and renamed over it, so a failed write leaves the old file whole.
//
// Encoding: see ProfileEncoding.h. A file keeps its encoding (UTF-16LE, UTF-8 with or without byte-order
// mark, Windows-1252 unless the new text needs more, then UTF-8); new files are UTF-8 without mark and
// use the platform's line end; an existing file keeps the line end of its first line.
#pragma once

#include <QString>

namespace quarnix {

inline constexpr int kProfileValueMaxLength = 999;

// GetPrivateProfileStringW with a buffer of 1000 characters.
QString ReadProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue);

// GetPrivateProfileIntW: the value as read above (at most its first 29 characters), leading blanks
// skipped, an optional sign, then the leading decimal digits; no digits give 0; an empty or missing value
// gives the default. Overflow wraps around as in Windows (32-bit).
int ReadProfileInt(const QString& file, const QString& section, const QString& key, int defaultValue);

// WritePrivateProfileStringW. Returns false when nothing was written: the folder or file cannot be
// written, the existing file cannot be read (a folder, too large), or the section, key or value would
// break the line layout (a line break in any of them, '=' in the key, ']' in the section, an empty key or
// section). The callers of this program ignore the result: a lost write is silent.
bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

} // namespace quarnix
