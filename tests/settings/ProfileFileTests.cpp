#include "SettingsTestSupport.h"
#include "settings/ProfileEncoding.h"
#include "settings/ProfileFile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>

namespace quarnix {
namespace {

using test::ReadBytes;
using test::ScopedTempDir;
using test::WriteBytes;

QString PathIn(const ScopedTempDir& dir, const char* name) {
    return QString::fromStdString(dir.file(name));
}

TEST(ProfileFile, ReadsWithWindowsSemantics) {
    struct Case {
        const char* name;
        const char* content; // UTF-8
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", "[A]\nk=v\n", "A", "k", "v"},
        {"section and key ignore case", "[Join]\nSiZe=7\n", "JOIN", "size", "7"},
        {"blanks around names and value", "  [ A ]  \n  k  =  v w  \t\n", "A", "k", "v w"},
        {"double quotes removed", "[A]\nk=\"  v  \"\n", "A", "k", "  v  "},
        {"single quotes removed", "[A]\nk='v'\n", "A", "k", "v"},
        {"only the outer pair", "[A]\nk=\"a\" b \"c\"\n", "A", "k", "a\" b \"c"},
        {"unmatched quote kept", "[A]\nk=\"v\n", "A", "k", "\"v"},
        {"mixed quotes kept", "[A]\nk=\"v'\n", "A", "k", "\"v'"},
        {"lone quote kept", "[A]\nk=\"\n", "A", "k", "\""},
        {"empty quotes", "[A]\nk=\"\"\n", "A", "k", ""},
        {"empty value is not the default", "[A]\nk=\n", "A", "k", ""},
        {"first key wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"first section wins", "[A]\nk=1\n[a]\nk=2\n", "A", "k", "1"},
        {"a later section of the same name is not searched", "[A]\nx=1\n[B]\n[A]\nk=2\n", "A", "k", "DEF"},
        {"value keeps later equals signs", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"key without equals sign", "[A]\nk\n", "A", "k", "DEF"},
        {"comment line", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
        {"key before any section", "k=1\n[A]\n", "A", "k", "DEF"},
        {"missing section", "[B]\nk=1\n", "A", "k", "DEF"},
        {"missing key", "[A]\nj=1\n", "A", "k", "DEF"},
        {"header without bracket is no header", "[A]\n[B\nk=1\n", "A", "k", "1"},
        {"text after the bracket", "[A] ; note\nk=1\n", "A", "k", "1"},
        {"CR LF lines", "[A]\r\nk=v\r\n", "A", "k", "v"},
        {"CR lines", "[A]\rk=v\r", "A", "k", "v"},
        {"no final line end", "[A]\nk=v", "A", "k", "v"},
        {"empty file", "", "A", "k", "DEF"},
    };
    ScopedTempDir dir;
    const QString file = PathIn(dir, "case.ini");
    for (const Case& c : cases) {
        WriteBytes(file, QByteArray(c.content));
        EXPECT_EQ(ReadProfileString(file, c.section, c.key, "DEF"), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST(ProfileFile, MissingFileAndDefaults) {
    ScopedTempDir dir;
    const QString missing = PathIn(dir, "missing.ini");
    EXPECT_EQ(ReadProfileString(missing, "A", "k", "x"), "x");
    EXPECT_EQ(ReadProfileString(missing, "A", "k", "x  "), "x"); // trailing blanks of the default go
    EXPECT_EQ(ReadProfileString(missing, "A", "k", QString(1200, u'd')).size(), 999);
    EXPECT_EQ(ReadProfileInt(missing, "A", "k", 17), 17);
    EXPECT_FALSE(QFile::exists(missing)); // reading never creates the file
}

TEST(ProfileFile, ValuesAreCutTo999Characters) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "long.ini");
    const QString value = QString(998, u'a') + u'b' + u'c' + QString(200, u'z');
    WriteBytes(file, ("[A]\nk=" + value + "\nq=\"" + value + "\"\nx=" + QString(999, u'e') + "\n").toUtf8());
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), QString(998, u'a') + u'b');
    EXPECT_EQ(ReadProfileString(file, "A", "q", ""), QString(998, u'a') + u'b');
    EXPECT_EQ(ReadProfileString(file, "A", "x", ""), QString(999, u'e'));
}

TEST(ProfileFile, Integers) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {{"5", 5},
                          {" -12 ", -12},
                          {"+7", 7},
                          {"12abc", 12},
                          {"abc", 0},
                          {"\"42\"", 42},
                          {"4294967297", 1},
                          {"-1", -1},
                          {"0x10", 0},
                          {"", 99},
                          {"2147483648", -2147483648}};
    ScopedTempDir dir;
    const QString file = PathIn(dir, "int.ini");
    for (const Case& c : cases) {
        WriteBytes(file, QByteArray("[JOIN]\nsize=") + c.value + "\n");
        EXPECT_EQ(ReadProfileInt(file, "JOIN", "size", 99), c.expected) << c.value;
    }
    EXPECT_EQ(ReadProfileInt(file, "JOIN", "other", 99), 99);
}

TEST(ProfileFile, Encodings) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "enc.ini");
    const QString japanese = QString::fromUtf8("動画ファイル");

    // UTF-16LE with byte-order mark.
    QByteArray utf16("\xFF\xFE", 2);
    const QString text = "[A]\r\nk=" + japanese + "\r\n";
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    WriteBytes(file, utf16);
    EXPECT_EQ(ReadProfileString(file, "a", "K", ""), japanese);

    // UTF-8, with and without its mark.
    WriteBytes(file, ("[A]\nk=" + japanese + "\n").toUtf8());
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), japanese);
    WriteBytes(file, "\xEF\xBB\xBF[A]\nk=caf\xC3\xA9\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), QString::fromUtf8("café"));

    // Not valid UTF-8: Windows-1252, including its 0x80-0x9F table.
    WriteBytes(file, "[A]\nk=caf\xE9 \x80 \x93q\x94 \x9F \x81\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), QString::fromUtf8("café € “q” Ÿ ") + QChar(0x81));
    // An encoded surrogate and an overlong form are not UTF-8 either.
    WriteBytes(file, "[A]\nk=\xED\xA0\x80\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), QString::fromUtf8("í\u00A0€"));
    WriteBytes(file, "[A]\nk=\xC0\xAF\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), QString::fromUtf8("À¯"));
}

TEST(ProfileFile, Windows1252RoundTripsEveryByte) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    QByteArray back;
    ASSERT_TRUE(EncodeWindows1252(DecodeWindows1252(all), &back));
    EXPECT_EQ(back, all);
    EXPECT_FALSE(EncodeWindows1252(QString::fromUtf8("日本"), &back));
}

TEST(ProfileFile, DamagedFilesGiveTheDefault) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "bad.ini");

    QByteArray garbage;
    for (int i = 0; i < 100000; ++i) {
        garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    }
    WriteBytes(file, garbage);
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "d");
    EXPECT_EQ(ReadProfileInt(file, "A", "k", 3), 3);

    WriteBytes(file, QByteArray("\xFF\xFE", 2));
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "d");
    WriteBytes(file, QByteArray("\xFF\xFE[", 3)); // odd byte count
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "d");
    WriteBytes(file, QByteArray("\xEF\xBB\xBF", 3));
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "d");

    // A 10 MB line before the key.
    WriteBytes(file, "[A]\nlong=" + QByteArray(10 * 1024 * 1024, 'x') + "\nk=found\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "found");
    EXPECT_EQ(ReadProfileString(file, "A", "long", "d").size(), 999);

    // A folder where the file should be.
    const QString folder = PathIn(dir, "folder.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(ReadProfileString(folder, "A", "k", "d"), "d");
    EXPECT_EQ(ReadProfileInt(folder, "A", "k", 4), 4);
    EXPECT_FALSE(WriteProfileString(folder, "A", "k", "v"));
}

TEST(ProfileFile, FirstWriteCreatesAUtf8File) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "new.ini");
    ASSERT_TRUE(WriteProfileString(file, "PATH", "name", QString::fromUtf8("/tmp/vidéos")));
    EXPECT_EQ(ReadBytes(file), QByteArray("[PATH]\nname=/tmp/vid\xC3\xA9os\n"));
    ASSERT_TRUE(WriteProfileString(file, "DIR", "open", "0"));
    EXPECT_EQ(ReadBytes(file), QByteArray("[PATH]\nname=/tmp/vid\xC3\xA9os\n[DIR]\nopen=0\n"));
}

TEST(ProfileFile, WritesKeepEveryOtherLine) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"replace in place, keeping the file's spelling",
         "; comment\n[Other]\nx=1\n\n[join]\nquality=3\n  Size = 9\nframerate=2\n", "JOIN", "size", "5",
         "; comment\n[Other]\nx=1\n\n[join]\nquality=3\n  Size =5\nframerate=2\n"},
        {"only the first of duplicate keys", "[A]\nk=1\nk=2\n", "A", "k", "3", "[A]\nk=3\nk=2\n"},
        {"add to a section, before its trailing blank lines", "[A]\nx=1\n\n; about B\n[B]\ny=2\n", "A", "k",
         "v", "[A]\nx=1\nk=v\n\n; about B\n[B]\ny=2\n"},
        {"add to an empty section", "[A]\n[B]\ny=2\n", "a", "k", "v", "[A]\nk=v\n[B]\ny=2\n"},
        {"add to a last section without a final line end", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v"},
        {"add a section", "[A]\nx=1\n", "JOIN", "size", "0", "[A]\nx=1\n[JOIN]\nsize=0\n"},
        {"add a section after a line without line end", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        {"unknown lines and keys before any section stay", "junk\nk=0\n[A]\n", "A", "k", "1",
         "junk\nk=0\n[A]\nk=1\n"},
        {"CR LF file keeps CR LF", "[A]\r\nx=1\r\n", "B", "k", "v", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        {"an empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
    };
    ScopedTempDir dir;
    const QString file = PathIn(dir, "w.ini");
    for (const Case& c : cases) {
        WriteBytes(file, QByteArray(c.before));
        EXPECT_TRUE(WriteProfileString(file, c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(ReadBytes(file).toStdString(), std::string(c.after)) << c.name;
        EXPECT_EQ(ReadProfileString(file, c.section, c.key, "DEF"), c.value) << c.name;
    }
}

TEST(ProfileFile, WritesKeepTheEncoding) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "enc.ini");
    const QString japanese = QString::fromUtf8("日本語");

    const QString text = "[LANGUAGE]\r\nname6=" + japanese + "\r\n";
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    WriteBytes(file, utf16);
    ASSERT_TRUE(WriteProfileString(file, "LANGUAGE", "file", "japanese.ini"));
    const QByteArray written = ReadBytes(file);
    ASSERT_TRUE(written.startsWith("\xFF\xFE"));
    EXPECT_EQ(DecodeProfileBytes(written).text, text + "file=japanese.ini\r\n");

    WriteBytes(file, "\xEF\xBB\xBF[A]\nx=1\n");
    ASSERT_TRUE(WriteProfileString(file, "A", "x", "2"));
    EXPECT_EQ(ReadBytes(file), QByteArray("\xEF\xBB\xBF[A]\nx=2\n"));

    // Windows-1252 stays Windows-1252 while the text fits, then becomes UTF-8 without losing a letter.
    WriteBytes(file, "[A]\nx=caf\xE9\n");
    ASSERT_TRUE(WriteProfileString(file, "A", "y", "\xE2\x82\xAC")); // the euro sign exists in 1252
    EXPECT_EQ(ReadBytes(file), QByteArray("[A]\nx=caf\xE9\ny=\x80\n"));
    ASSERT_TRUE(WriteProfileString(file, "A", "z", japanese));
    EXPECT_EQ(ReadBytes(file),
              QByteArray("[A]\nx=caf\xC3\xA9\ny=\xE2\x82\xAC\nz=") + japanese.toUtf8() + "\n");
    EXPECT_EQ(ReadProfileString(file, "A", "x", ""), QString::fromUtf8("café"));
}

TEST(ProfileFile, RefusedWritesChangeNothing) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "r.ini");
    const QByteArray before("[A]\nk=1\n");
    WriteBytes(file, before);
    EXPECT_FALSE(WriteProfileString(file, "A", "k", "two\nlines"));
    EXPECT_FALSE(WriteProfileString(file, "A", "k=j", "v"));
    EXPECT_FALSE(WriteProfileString(file, "A]", "k", "v"));
    EXPECT_FALSE(WriteProfileString(file, "", "k", "v"));
    EXPECT_FALSE(WriteProfileString(file, "A", " ", "v"));
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_FALSE(WriteProfileString(PathIn(dir, "no-such-folder/s.ini"), "A", "k", "v"));
}

TEST(ProfileFile, ReadOnlyFolderLosesTheWriteSilently) {
    ScopedTempDir dir;
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                        std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                        std::filesystem::perms::others_exec);
    const QString folder = PathIn(dir, "program");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString existing = folder + "/setting.ini";
    const QByteArray before("; keep me\n[LANGUAGE]\nfile=english.ini\n");
    WriteBytes(existing, before);
    // The file itself may be written; the folder may not.
    QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::ExeOther);

    const bool written = test::RunUnprivileged([&] {
        return WriteProfileString(existing, "PATH", "name", "/videos") ||
               WriteProfileString(folder + "/other.ini", "A", "k", "v");
    });
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(existing), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"setting.ini"});
    EXPECT_EQ(ReadProfileString(existing, "LANGUAGE", "file", ""), "english.ini");

    // The same write goes through once the folder may be written: the refusal above came from the folder.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                      QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther);
    EXPECT_TRUE(
        test::RunUnprivileged([&] { return WriteProfileString(existing, "PATH", "name", "/videos"); }));
    EXPECT_EQ(ReadBytes(existing), before + "[PATH]\nname=/videos\n");
}

TEST(ProfileFile, ReadOnlyFileIsNotReplaced) {
    ScopedTempDir dir;
    const QString file = PathIn(dir, "ro.ini");
    const QByteArray before("[A]\nk=1\n");
    WriteBytes(file, before);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    std::filesystem::permissions(dir.path(),
                                 std::filesystem::perms::owner_all | std::filesystem::perms::others_all);
    EXPECT_FALSE(test::RunUnprivileged([&] { return WriteProfileString(file, "A", "k", "2"); }));
    EXPECT_EQ(ReadBytes(file), before);
}

} // namespace
} // namespace quarnix
