// SPDX-License-Identifier: GPL-3.0-or-later
// A text label that works as a web link: coloured text on the parent's
// background, a hand cursor and a hover colour, the target as its tooltip,
// and on a click the target opened in the user's web browser.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>

#include <functional>

class QProcess;

namespace kinoverd {

// How a link reaches the browser. Replaceable so that tests never start one;
// used on the user-interface thread only.
struct LinkOpeners {
    // Run with the link as its one argument, without a shell: the link is
    // open once it ends with status 0.
    QString program;
    // The desktop's own URL opener, for when the program cannot be run;
    // false when it could not open the address.
    std::function<bool(const QUrl&)> open_url;

    // The real ones, which a label starts with: xdg-open, then Qt's opener.
    static LinkOpeners Desktop();
};

class LinkLabel : public QLabel {
    Q_OBJECT

public:
    // What a failed open shows.
    static const QString kOpenErrorText;
    static const QColor kDefaultLinkColor;
    static const QColor kDefaultVisitedColor;

    explicit LinkLabel(QWidget* parent = nullptr);
    LinkLabel(const QString& text, QWidget* parent = nullptr);
    // An opener still running is left to end on its own.
    ~LinkLabel() override;

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

    // What a click does: opens the link target without waiting for the
    // browser; when the opener has ended, the label turns visited, or shows
    // the open error and turns unvisited. Does nothing while an open is
    // under way.
    void OpenLink();
    bool opening() const { return opener_ != nullptr; }

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

signals:
    // An open has ended, with `opened` true when the browser took the link.
    void openFinished(bool opened);

private:
    void FinishOpen(bool opened);
    // Sounds the beep and shows the modal error box of a failed open.
    void ShowOpenError();
    void SetHovering(bool hovering);
    void ApplyTextColor();
    void ApplyUnderline();

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
    QProcess* opener_ = nullptr;  // the open under way, if any; a child of the label
};

}  // namespace kinoverd
