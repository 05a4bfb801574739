// The program's message box: OK button, exclamation icon, caption = application name.
// Tests install a sink that captures the messages instead of showing them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace quarnix {

// The executable's file name without its extension.
QString ApplicationName();

// Shows the text modally (or hands it to the installed sink) and returns when the user pressed OK.
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// Receives caption and text instead of a window being shown; an empty function restores the window.
using MessageSink = std::function<void(const QString& caption, const QString& text)>;
void SetMessageSink(MessageSink sink);

// Asks a yes-or-no question (Yes and No buttons, question icon, No the default); true for Yes. An installed
// answerer is asked instead of a window being shown.
bool AskQuestion(const QString& text, QWidget* parent = nullptr);
using QuestionAnswerer = std::function<bool(const QString& text)>;
void SetQuestionAnswerer(QuestionAnswerer answerer);

// For tests: captures every message while it lives.
class ScopedMessageCapture {
public:
    ScopedMessageCapture();
    ~ScopedMessageCapture();
    ScopedMessageCapture(const ScopedMessageCapture&) = delete;
    ScopedMessageCapture& operator=(const ScopedMessageCapture&) = delete;

    const QStringList& Texts() const { return m_texts; }
    const QStringList& Captions() const { return m_captions; }

private:
    QStringList m_texts;
    QStringList m_captions;
};

} // namespace quarnix
