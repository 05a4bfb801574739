#include "platform/widgets/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace quarnix {

namespace {
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}
} // namespace

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void ShowMessage(const QString& text, QWidget* parent) {
    const QString caption = ApplicationName();
    if (Sink()) {
        Sink()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void SetMessageSink(MessageSink sink) {
    Sink() = std::move(sink);
}

ScopedMessageCapture::ScopedMessageCapture() {
    SetMessageSink([this](const QString& caption, const QString& text) {
        m_captions.append(caption);
        m_texts.append(text);
    });
}

ScopedMessageCapture::~ScopedMessageCapture() {
    SetMessageSink({});
}

} // namespace quarnix
