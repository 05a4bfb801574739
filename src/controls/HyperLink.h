// CHyperLink: a static text that acts as a web link: coloured text (red under the pointer, purple once
// opened), hand pointer, the address as tooltip, and a click that opens the address. It is a tab stop:
// Enter, Return or Space open it, and a dotted frame shows the keyboard focus.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace quarnix {

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    // Underline modes: only while the pointer is over the link, never, always.
    enum UnderlineMode { kUnderlineHover = -1, kUnderlineNever = 0, kUnderlineAlways = 1 };

    inline static const QColor kLinkColor{0, 0, 238};
    inline static const QColor kVisitedColor{85, 26, 139};
    inline static const QColor kHoverColor{255, 0, 0};

    explicit CHyperLink(QWidget* parent = nullptr);

    // Makes the text a link; call after its text, font and static style are set. An empty address takes
    // the text, an empty text takes the address. Fits the window to the text.
    void Attach();

    // Changes the text; once attached, also refits the window to it.
    void SetLinkText(const QString& text);
    bool IsAttached() const { return m_attached; }

    // The first line of the message shown when the address cannot be opened.
    void SetFailureCaption(const QString& caption) { m_failureCaption = caption; }
    // What the failure message says when no program on this computer opens the address (%1: the address).
    void SetNoOpenerText(const QString& text) { m_noOpenerText = text; }
    // What it says when the program that opens addresses started but reported a failure (%1: the address).
    void SetOpenFailedText(const QString& text) { m_openFailedText = text; }

    // Opens the address as a click does (for the keyboard and for a window-wide Help key).
    void Open() { OnClicked(); }

    // Stores the address; once attached, also refits the window and shows the address as tooltip.
    void SetLinkAddress(const QString& address);
    QString LinkAddress() const { return m_address; }

    void SetUnderlineMode(int mode);
    int UnderlineMode() const { return m_underlineMode; }

    // Static style bits (static_style::...) that decide which edge stays put when the window is fitted.
    void SetStaticStyle(std::uint32_t style) { m_style = style; }

    // Opens the address with the desktop; returns a shell-style code, above 32 on success. failedLater is
    // called when the desktop's opener ends in failure after it started.
    static int OpenLinkAddress(const QString& address, const std::function<void()>& failedLater = {});

    // The colour the text has now.
    QColor TextColor() const;
    bool IsVisited() const { return m_visited; }
    bool IsOver() const { return m_over; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FitToText();
    void EnterHover();
    void LeaveHover();
    void CheckPointer();
    void OnClicked();
    void SayOpenFailed(const QString& address);
    void ApplyColor();

    bool m_attached = false;
    bool m_over = false;
    bool m_visited = false;
    bool m_fitToText = true;
    int m_underlineMode = kUnderlineHover;
    std::uint32_t m_style = 0;
    QString m_address;
    QString m_failureCaption = QStringLiteral("Unable to open hyperlink:");
    QString m_noOpenerText;
    QString m_openFailedText;
    QFont m_plainFont;
    QFont m_underlinedFont;
    QTimer m_hoverTimer; // watches for the pointer leaving, every 100 ms
};

} // namespace quarnix
