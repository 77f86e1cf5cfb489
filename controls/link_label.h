// A text label that works as a web link: coloured text on the parent's
// background, a hand cursor and a hover colour, the target as its tooltip,
// and on a click the target opened in the user's web browser.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace kinoverd {

// How a link reaches the browser. Replaceable so that tests never start one.
struct LinkOpeners {
    // The desktop's own URL opener; false when it could not open the address.
    std::function<bool(const QUrl&)> open_url;
    // The default web browser's command line (a desktop entry's Exec line),
    // empty when the desktop associates no browser with web pages.
    std::function<QString()> browser_command;
};

class CLinkLabel : public QLabel {
    Q_OBJECT

public:
    // Results of OpenLink: above 32 means opened; the failures are the
    // codes ShowOpenError knows.
    static constexpr int kOpened = 33;
    static constexpr int kOutOfResources = 0;
    static constexpr int kFileNotFound = 2;
    static constexpr int kPathNotFound = 3;
    static constexpr int kAccessDenied = 5;
    static constexpr int kBadExecutable = 11;
    static constexpr int kIncompleteAssociation = 27;
    static constexpr int kNoAssociation = 31;

    static const QColor kDefaultLinkColor;
    static const QColor kDefaultVisitedColor;

    explicit CLinkLabel(QWidget* parent = nullptr);
    CLinkLabel(const QString& text, QWidget* parent = nullptr);

    // Makes the label a link once it has its place, text, alignment and
    // font: takes the text as target when none is set (or the target as
    // text when the label is empty), applies the underline, fits the label
    // to its text, and sets the hand cursor and the tooltip.
    void Attach();

    void SetLinkTarget(const QString& target);
    const QString& link_target() const { return target_; }
    // An invalid hover colour means the system highlight colour.
    void SetLinkColors(const QColor& link, const QColor& visited, const QColor& hover = QColor());
    void MarkVisited(bool visited);
    void SetUnderlined(bool underline);

    // Shrinks the label to its text: horizontally towards its left edge,
    // centre or right edge after the alignment; vertically to the text
    // height, around the centre when the text is vertically centred and
    // below the top edge otherwise.
    void FitToText();
    void LoadHandCursor();

    // Opens `target` with the desktop's opener, and failing that with the
    // default browser; returns kOpened or a failure code.
    int OpenLink(const QString& target);
    // Sounds the beep's counterpart and shows the modal error box for `code`.
    void ShowOpenError(int code);
    static QString OpenErrorText(int code);

    // The desktop's default web browser: the Exec line of the desktop entry
    // that mimeapps.list names for http links (or else for HTML files).
    static QString ReadDefaultBrowserCommand();
    // The argument list that runs `command_line` on `target`: the command
    // is cut at its first placeholder (%u, %U, %f, %F or %1), other field
    // codes are dropped, and the target follows as one argument of its own.
    static QStringList BrowserArguments(const QString& command_line, const QString& target);

    void SetOpeners(LinkOpeners openers) { openers_ = std::move(openers); }

    QColor link_color() const { return link_color_; }
    QColor visited_color() const { return visited_color_; }
    QColor hover_color() const { return hover_color_; }
    bool hovering() const { return hovering_; }
    bool visited() const { return visited_; }
    bool underlined() const { return underlined_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnClicked();
    void SetHovering(bool hovering);
    void ApplyTextColor();
    void ApplyUnderline();
    int LaunchBrowser(const QStringList& arguments) const;

    // All fields belong to the user-interface thread.
    QColor link_color_ = kDefaultLinkColor;
    QColor visited_color_ = kDefaultVisitedColor;
    QColor hover_color_;
    bool hovering_ = false;
    bool visited_ = false;
    bool underlined_ = true;
    bool attached_ = false;
    QString target_;
    LinkOpeners openers_;
};

}  // namespace kinoverd
