// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/link_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QProcess>

#include <utility>

#include "controls/message_box.h"

namespace kinoverd {

const QColor LinkLabel::kDefaultLinkColor(0, 0, 238);
const QColor LinkLabel::kDefaultVisitedColor(85, 26, 139);

const QString LinkLabel::kOpenErrorText =
    QStringLiteral("Unable to open hyperlink:\n\n没有可以打开此链接的浏览器.");

LinkOpeners LinkOpeners::Desktop()
{
    // Qt's opener counts a browser as started once it runs, however it
    // then fares: it only stands in where xdg-open is missing.
    return {QStringLiteral("xdg-open"), [](const QUrl& url) { return QDesktopServices::openUrl(url); }};
}

LinkLabel::LinkLabel(QWidget* parent) : LinkLabel(QString(), parent) {}

LinkLabel::LinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent),
      hover_color_(QApplication::palette().color(QPalette::Highlight)),
      openers_(LinkOpeners::Desktop())
{
    // A target is shown as it is, never read as markup.
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    ApplyTextColor();
}

LinkLabel::~LinkLabel()
{
    // Destroying it would kill it, and with it a browser it became.
    if (opener_) {
        opener_->disconnect(this);
        opener_->setParent(nullptr);
    }
}

void LinkLabel::Attach()
{
    if (target_.isEmpty()) {
        target_ = text();
    }
    if (text().isEmpty()) {
        setText(target_);
    }
    attached_ = true;
    ApplyUnderline();
    FitToText();
    setCursor(Qt::PointingHandCursor);
    setToolTip(target_);
}

void LinkLabel::SetLinkTarget(const QString& target)
{
    target_ = target;
    if (attached_) {
        FitToText();
        setToolTip(target_);
    }
}

void LinkLabel::SetLinkColors(const QColor& link, const QColor& visited, const QColor& hover)
{
    link_color_ = link;
    visited_color_ = visited;
    hover_color_ = hover.isValid() ? hover : QApplication::palette().color(QPalette::Highlight);
    ApplyTextColor();
}

void LinkLabel::MarkVisited(bool visited)
{
    visited_ = visited;
    ApplyTextColor();
}

void LinkLabel::SetUnderlined(bool underline)
{
    underlined_ = underline;
    if (attached_) {
        ApplyUnderline();
    }
}

void LinkLabel::FitToText()
{
    if (!attached_) {
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const int text_width = metrics.horizontalAdvance(text());
    const int text_height = metrics.height();
    QRect r = geometry();
    const Qt::Alignment align = alignment();

    if (align & Qt::AlignVCenter) {
        const int d = (r.height() - text_height) / 2;
        r.adjust(0, d, 0, -d);
    } else {
        r.setHeight(text_height);
    }
    if (align & Qt::AlignHCenter) {
        const int d = (r.width() - text_width) / 2;
        r.adjust(d, 0, -d, 0);
    } else if (align & Qt::AlignRight) {
        r.setLeft(r.right() + 1 - text_width);
    } else {
        r.setWidth(text_width);
    }
    setGeometry(r);
}

void LinkLabel::OpenLink()
{
    if (opener_)
        return;
    opener_ = new QProcess(this);
    // The opener's own words go where the player's go.
    opener_->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(opener_, &QProcess::finished, this, [this](int status, QProcess::ExitStatus how) {
        FinishOpen(how == QProcess::NormalExit && status == 0);
    });
    connect(opener_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            FinishOpen(openers_.open_url(QUrl::fromUserInput(target_)));
    });
    opener_->start(openers_.program, {target_});
}

// A failed open clears the mark of an earlier success.
void LinkLabel::FinishOpen(bool opened)
{
    std::exchange(opener_, nullptr)->deleteLater();
    MarkVisited(opened);
    if (!opened)
        ShowOpenError();
    emit openFinished(opened);
}

void LinkLabel::ShowOpenError()
{
    QApplication::beep();
    ShowMessageBox(this, kOpenErrorText, QMessageBox::Warning);
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    SetHovering(true);
}

void LinkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    SetHovering(false);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        OpenLink();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::SetHovering(bool hovering)
{
    if (hovering_ == hovering) {
        return;
    }
    hovering_ = hovering;
    ApplyTextColor();
    repaint();
}

void LinkLabel::ApplyTextColor()
{
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText,
                    hovering_ ? hover_color_ : visited_ ? visited_color_ : link_color_);
    setPalette(colors);
}

void LinkLabel::ApplyUnderline()
{
    QFont underlined = font();
    underlined.setUnderline(underlined_);
    setFont(underlined);
}

}  // namespace kinoverd
