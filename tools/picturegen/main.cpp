// quarnix-picturegen: paints the program's pictures and writes them under the output folder as
// bitmaps/<id>.bmp (24-bit buttons, 8-bit header strip), bitmaps/<id>@2x.bmp (the buttons at twice the
// size, for dense screens) and icons/<id>.png. Run on the offscreen platform.
// With --theme-icons it writes only the program icon into an icon theme tree instead:
// OUTPUT_DIR/<n>x<n>/apps/quarnix.png for the sizes the desktop uses (the build does this for install).
#include "ButtonFaces.h"
#include "ButtonLayout.h"
#include "SmallPictures.h"

#include <QByteArray>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>
#include <functional>

using namespace picturegen;

namespace {

struct ButtonPicture {
    int id;
    std::function<QImage(int scale)> paint;
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
    namespace layout = quarnix::button_layout;
    const QSize wide(layout::kIconWidth, layout::kIconHeight),
        start(layout::kStartWidth, layout::kStartHeight), browse(layout::kBrowseWidth, layout::kPillHeight),
        findTarget(layout::kFindTargetWidth, layout::kPillHeight);
    const std::vector<ButtonPicture> buttons = {
        {178, [&](int scale) { return IconButton(wide, NormalFace(), Glyph::AddFilm, scale); }},
        {336, [&](int scale) { return IconButton(wide, HoverFace(), Glyph::AddFilm, scale); }},
        {331, [&](int scale) { return IconButton(wide, NormalFace(), Glyph::RedCross, scale); }},
        {340, [&](int scale) { return IconButton(wide, HoverFace(), Glyph::RedCross, scale); }},
        // Remove All has the face of Remove; its caption tells them apart.
        {214, [&](int scale) { return IconButton(wide, NormalFace(), Glyph::RedCross, scale); }},
        {341, [&](int scale) { return IconButton(wide, HoverFace(), Glyph::RedCross, scale); }},
        {295, [&](int scale) { return StartButton(start, NormalFace(), scale); }},
        {338, [&](int scale) { return StartButton(start, HoverFace(), scale); }},
        {335, [&](int scale) { return PillButton(browse, NormalFace(), scale); }},
        {337, [&](int scale) { return PillButton(browse, HoverFace(), scale); }},
        {268, [&](int scale) { return PillButton(findTarget, NormalFace(), scale); }},
        {339, [&](int scale) { return PillButton(findTarget, HoverFace(), scale); }},
    };

    bool ok = true;
    for (const ButtonPicture& button : buttons) {
        for (const int scale : {1, 2}) {
            QImage image = button.paint(scale);
            AvoidPureWhite(image);
            const QString name = scale == 1 ? QStringLiteral("bitmaps/%1.bmp").arg(button.id)
                                            : QStringLiteral("bitmaps/%1@%2x.bmp").arg(button.id).arg(scale);
            ok &= Write(image, out.filePath(name), "BMP");
        }
    }
    ok &= Write(HeaderCheckStrip(), out.filePath(QStringLiteral("bitmaps/292.bmp")), "BMP");
    ok &= Write(ProgramIcon(256), out.filePath(QStringLiteral("icons/266.png")), "PNG");
    return ok ? 0 : 1;
}
