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
QuestionAnswerer& Answerer() {
    static QuestionAnswerer answerer;
    return answerer;
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

bool AskQuestion(const QString& text, QWidget* parent) {
    if (Answerer()) {
        return Answerer()(text);
    }
    QMessageBox box(QMessageBox::Question, ApplicationName(), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void SetQuestionAnswerer(QuestionAnswerer answerer) {
    Answerer() = std::move(answerer);
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
