// The language packs and the program-wide text slots that the main window, its commands and
// the progress display read. A pack is an INI file in the "languages" folder of the data folder
// (DataFolder(): beside the executable in a build tree, share/quarnix when installed),
// named by LANGUAGE file in setting.ini, with the sections APPLICATION, JIEMIAN (window texts), TISHI
// (messages) and HINT (tool tips).
//
// How to use it (user-interface thread only; there is no lock):
//   - The main window's set-up calls LoadTexts(ReadLanguageFile()) once. Afterwards every command reads
//     a text by its (section, key) pair as the pack spells it, e.g. Text("TISHI", "sb") for the status of
//     a failed file, Text("JIEMIAN", "zb") for the status of a new row. Slots are never written by
//     commands; a key that the pack lacks reads as "" (there is no built-in replacement text).
//   - ColumnHeader() and MainWindowTitle() put together the composed texts.
//   - The progress window does not use the slots: it calls ReadProgressTexts() each time it opens, which
//     re-reads LANGUAGE file from setting.ini and then its keys.
//   - Texts that every window shows and that earlier packs did not hold (captions, radio labels, button
//     captions, fixed messages: FallbackTexts()) read through Text() as well; a pack that lacks one of
//     them shows its English text instead.
//   - Without LANGUAGE file in setting.ini, the pack matching the system's language is used
//     (CurrentLanguageFile), English for any other language.
#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <optional>
#include <utility>

namespace quarnix {

// ---- Packs ----

// The six packs the program knows by name, in the order of the hidden language list (positions 0 to 5):
// english.ini, spanish.ini, german.ini, french.ini, italian.ini, japanese.ini.
QStringList LanguageFileNames();

// Position of a pack file name among the six (compared case-insensitively), -1 for any other name.
int LanguagePosition(const QString& languageFile);

// Data folder + "languages" + the file name, unchanged (any file in that folder can be named).
// An empty name gives the folder itself, from which no key can be read.
QString LanguagePackPath(const QString& languageFile);

// One text of a pack, read now (empty default, at most 999 characters). For set-up steps that read a key
// outside the loader: the main window's set-up (JIEMIAN spjq, sphb and the keep-source text ywjyy of the
// output presets) and the column headers before the columns exist.
QString ReadPackText(const QString& languageFile, const QString& section, const QString& key);

// ---- Text slots ----

// "Load texts": reads from the pack, in this order, APPLICATION name, version, url;
// TISHI wj, wj1, wx, qxtjsp, mlbcz, zslgwj, wjwczg, wjwc, sb, wc, jqcg, jqsb, hbcg, hbsb, bnzjhb;
// JIEMIAN yy, zysybrj, zb, ksjq, jsjq, jqsj, symtwj, sywj, spjq, sphb, ywj, spgs, spcd, spdx, zl, zt;
// HINT hbcygwj, djsbzj, sc, tjspwj, ksjq, bf, szksjqd, szjsjqd, zjsrsjd. Every value read replaces the
// slot's previous text; a missing pack or key leaves that text empty. The caller applies the texts to
// its controls (main window set-up).
void LoadTexts(const QString& languageFile);

// The text the loader read for (section, key), both spelled exactly as the pack writes them (upper-case
// section, lower-case key). "" before LoadTexts, for a key the pack lacks, and for any pair that is not
// in the loader's list above (see IsLoadedText); JIEMIAN ywjyy, dqwj, tz and zgwj are not in it.
// A pair of FallbackTexts() reads as the pack's text, or as its English text when the pack lacks it.
QString Text(QStringView section, QStringView key);

// The texts that fall back to English, with that English text. LoadTexts reads them after its list.
struct FallbackText {
    QString section;
    QString key;
    QString english;
};
QList<FallbackText> FallbackTexts();

// The loaded pack's words for a reason the engine gave in English (why a file failed, or "written as MOV:
// AVI cannot carry a rotation"); a reason the pack has no words for is returned as it is.
QString TranslatedReason(const QString& englishReason);

// The pack for a locale's language (english.ini for a language without a pack).
QString LanguageFileForLocale(const QLocale& locale);

// The pack in use: LANGUAGE file of setting.ini, else the pack for the system's language.
QString CurrentLanguageFile();

// The language code of Qt's own translations ("de") for one of the six packs, "" for any other file.
QString QtLanguageOfPack(const QString& languageFile);

// True when (section, key) is one of the pairs that LoadTexts reads.
bool IsLoadedText(QStringView section, QStringView key);

// The pairs that LoadTexts reads, in its reading order.
QList<std::pair<QString, QString>> LoadedTextKeys();

// Header of file-list column 0 to 7: JIEMIAN ywj, spgs, spcd, spdx, videoquality, zl, zt, then the fixed
// "profile" (column 7, never shown). Any other column number gives "".
QString ColumnHeader(int column);
inline constexpr char kProfileHeader[] = "profile";

// The main window's title: APPLICATION name, one blank, APPLICATION version (" " without a pack).
QString MainWindowTitle();

// The address that the help link opens (APPLICATION url), as a URL: an address with a scheme (https:,
// mailto:, file:) stays as it is; an absolute path becomes a local file; a relative path (the shipped
// packs say "help/index.html") is taken relative to the data folder; a "#fragment" is kept. An
// empty address gives an empty URL.
QUrl LinkAddressUrl(const QString& address);

// The progress window's reader (at its initialisation): the pack in use read afresh from setting.ini, then
// APPLICATION name, JIEMIAN dqwj, tz, zgwj, openfolder, fileprogress and batchprogress from that pack (the
// last three with their English fallbacks). The slots are not touched.
struct ProgressTexts {
    QString windowTitle;        // APPLICATION name
    QString currentFileCaption; // JIEMIAN dqwj, the current file's caption
    QString stopButton;         // JIEMIAN tz, the stop button and its tool tip
    QString batchCaption;       // JIEMIAN zgwj, the batch's caption
    QString openFolderBox;      // JIEMIAN openfolder, the open-folder check box
    QString fileBarName;        // JIEMIAN fileprogress, accessible name of the file's bar
    QString batchBarName;       // JIEMIAN batchprogress, accessible name of the batch's bar
};
ProgressTexts ReadProgressTexts();

// Empties every slot again (the state at program start). For tests.
void ResetTexts();

} // namespace quarnix
