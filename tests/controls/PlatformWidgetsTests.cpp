// The message box and shell-open stand-ins: capture for tests, and the failures that never reach the desktop.
#include "platform/widgets/MessageBox.h"
#include "platform/widgets/ShellOpen.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarnix;

TEST(PlatformWidgets, MessagesAreCapturedWithTheApplicationNameAsCaption) {
    EXPECT_EQ(ApplicationName(), QStringLiteral("quarnix_controls_tests"));
    ScopedMessageCapture messages;
    ShowMessage(QStringLiteral("first"));
    ShowMessage(QStringLiteral("second"));
    EXPECT_EQ(messages.Texts(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_EQ(messages.Captions(), QStringList(2, ApplicationName()));
}

TEST(PlatformWidgets, ShellOpenReportsTargetsItCannotOpenWithoutTryingTheDesktop) {
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("no such file.mp4"));
    for (const QString& target : {QString(), QStringLiteral("   "), missing, QStringLiteral("not a url")}) {
        SCOPED_TRACE(target.toStdString());
        EXPECT_EQ(ShellOpen(target), kShellFileNotFound);
    }
}

TEST(PlatformWidgets, ShellOpenHandlerAnswersInsteadOfTheDesktop) {
    QStringList seen;
    SetShellOpenHandler([&](const QString& target) {
        seen.append(target);
        return 5;
    });
    EXPECT_EQ(ShellOpen(QStringLiteral("/some/folder")), 5);
    SetShellOpenHandler({});
    EXPECT_EQ(seen, QStringList{QStringLiteral("/some/folder")});
}
