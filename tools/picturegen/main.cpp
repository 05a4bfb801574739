// quarnix-picturegen: paints the program's pictures and writes them under the output folder as
// bitmaps/<id>.bmp (24-bit buttons, 8-bit header strip) and icons/<id>.png. Run on the offscreen platform.
// With --theme-icons it writes only the program icon into an icon theme tree instead:
// OUTPUT_DIR/<n>x<n>/apps/quarnix.png for the sizes the desktop uses (the build does this for install).
#include "ButtonFaces.h"
#include "SmallPictures.h"

#include <QByteArray>
#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>
#include <functional>

using namespace picturegen;

namespace {

struct ButtonPicture {
    int id;
    std::function<QImage()> paint;
};

// Pure white is the "hole" colour of a shape picture; the faces never use it on purpose, and this keeps an
// accidental one from cutting a hole into a button.
void AvoidPureWhite(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == 0xFFFFFF) {
                line[x] = qRgb(254, 254, 254);
            }
        }
    }
}

bool Write(const QImage& image, const QString& path, const char* format) {
    if (!image.save(path, format)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

// The program icon painted afresh at each size (it is drawn from shapes, so every size stays sharp).
int WriteThemeIcons(const QDir& out) {
    bool ok = true;
    for (const int side : {48, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(side);
        if (!out.mkpath(folder)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(out.filePath(folder)));
            return 1;
        }
        ok &= Write(ProgramIcon(side), out.filePath(folder + QStringLiteral("/quarnix.png")), "PNG");
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--theme-icons") {
        return WriteThemeIcons(QDir(QString::fromLocal8Bit(argv[2])));
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarnix-picturegen OUTPUT_DIR\n"
                             "       quarnix-picturegen --theme-icons OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("bitmaps")) || !out.mkpath(QStringLiteral("icons"))) {
        std::fprintf(stderr, "cannot create the folders under %s\n", argv[1]);
        return 1;
    }
    const QString family = QFontInfo(CaptionFont(14)).family();
    if (family != QStringLiteral("DejaVu Sans")) {
        std::fprintf(stderr, "warning: captions use %s instead of DejaVu Sans\n", qPrintable(family));
    }

    const QSize wide(115, 52), start(90, 93), browse(65, 35), findTarget(96, 35);
    const int iconCaption = IconCaptionPixels(
        wide, {QStringLiteral("Add"), QStringLiteral("Remove"), QStringLiteral("Remove All")});
    std::printf("icon button captions: %d pixels\n", iconCaption);
    const std::vector<ButtonPicture> buttons = {
        {178,
         [&] { return IconButton(wide, NormalFace(), Glyph::AddFilm, QStringLiteral("Add"), iconCaption); }},
        {336,
         [&] { return IconButton(wide, HoverFace(), Glyph::AddFilm, QStringLiteral("Add"), iconCaption); }},
        {331,
         [&] {
             return IconButton(wide, NormalFace(), Glyph::RedCross, QStringLiteral("Remove"), iconCaption);
         }},
        {340,
         [&] {
             return IconButton(wide, HoverFace(), Glyph::RedCross, QStringLiteral("Remove"), iconCaption);
         }},
        {214,
         [&] {
             return IconButton(wide, NormalFace(), Glyph::RedCross, QStringLiteral("Remove All"),
                               iconCaption);
         }},
        {341,
         [&] {
             return IconButton(wide, HoverFace(), Glyph::RedCross, QStringLiteral("Remove All"), iconCaption);
         }},
        {295, [&] { return StartButton(start, NormalFace(), QStringLiteral("Start")); }},
        {338, [&] { return StartButton(start, HoverFace(), QStringLiteral("Start")); }},
        {335, [&] { return PillButton(browse, NormalFace(), QStringLiteral("Browse")); }},
        {337, [&] { return PillButton(browse, HoverFace(), QStringLiteral("Browse")); }},
        {268, [&] { return PillButton(findTarget, NormalFace(), QStringLiteral("Find Target")); }},
        {339, [&] { return PillButton(findTarget, HoverFace(), QStringLiteral("Find Target")); }},
    };

    bool ok = true;
    for (const ButtonPicture& button : buttons) {
        QImage image = button.paint();
        AvoidPureWhite(image);
        ok &= Write(image, out.filePath(QStringLiteral("bitmaps/%1.bmp").arg(button.id)), "BMP");
    }
    ok &= Write(HeaderCheckStrip(), out.filePath(QStringLiteral("bitmaps/292.bmp")), "BMP");
    ok &= Write(ProgramIcon(256), out.filePath(QStringLiteral("icons/266.png")), "PNG");
    return ok ? 0 : 1;
}
