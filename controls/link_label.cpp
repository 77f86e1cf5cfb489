#include "controls/link_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace kinoverd {

const QColor CLinkLabel::kDefaultLinkColor(0, 0, 238);
const QColor CLinkLabel::kDefaultVisitedColor(85, 26, 139);

namespace {

const QString kErrorPrefix = QStringLiteral("Unable to open hyperlink:\n\n");

// The value of `key` in `section` of a desktop-style key file, with the
// key file's escapes (\s \n \t \r \\) resolved; null when absent.
QString ReadKeyFileValue(const QString& path, const QString& section, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QTextStream in(&file);
    bool in_section = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            in_section = line == '[' + section + ']';
            continue;
        }
        if (!in_section) {
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0 || line.left(equals).trimmed() != key) {
            continue;
        }
        const QString raw = line.mid(equals + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\' || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const QChar escaped = raw[++i];
            if (escaped == 's') {
                value += ' ';
            } else if (escaped == 'n') {
                value += '\n';
            } else if (escaped == 't') {
                value += '\t';
            } else if (escaped == 'r') {
                value += '\r';
            } else if (escaped == '\\') {
                value += '\\';
            } else {
                value += '\\';
                value += escaped;
            }
        }
        return value.isNull() ? QString("") : value;
    }
    return {};
}

// The mimeapps.list files in the order the desktop consults them: user
// configuration, system configuration, user data, system data; in each
// place the current desktop's own list comes first.
QStringList MimeAppsLists()
{
    QStringList names;
    for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts)) {
        names << desktop.toLower() + "-mimeapps.list";
    }
    names << "mimeapps.list";

    QStringList lists;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        for (const QString& name : names) {
            lists << dir + '/' + name;
        }
    }
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        for (const QString& name : names) {
            lists << dir + "/applications/" + name;
        }
        lists << dir + "/applications/defaults.list";
    }
    return lists;
}

// The Exec line of an installed desktop entry; null when not installed.
QString DesktopEntryExec(const QString& desktop_id)
{
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString path = dir + "/applications/" + desktop_id;
        if (QFileInfo::exists(path)) {
            return ReadKeyFileValue(path, "Desktop Entry", "Exec");
        }
    }
    return {};
}

// Splits an Exec line into words: blanks separate, double quotes group,
// and inside quotes a backslash takes the next character literally.
QStringList SplitCommandLine(const QString& command_line)
{
    QStringList words;
    QString word;
    bool in_word = false;
    bool quoted = false;
    for (qsizetype i = 0; i < command_line.size(); ++i) {
        const QChar c = command_line[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < command_line.size()) {
                word += command_line[++i];
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = true;
            in_word = true;
        } else if (c.isSpace()) {
            if (in_word) {
                words << word;
                word.clear();
                in_word = false;
            }
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) {
        words << word;
    }
    return words;
}

bool IsTargetPlaceholder(QChar code)
{
    return code == 'u' || code == 'U' || code == 'f' || code == 'F' || code == '1';
}

bool IsFieldCode(const QString& word) { return word.size() == 2 && word[0] == '%' && word[1] != '%'; }

// Resolves "%%" and drops field codes other than the target's. At the
// first target placeholder the word, and the command, end: `cut` is set.
QString ExpandFieldCodes(const QString& word, bool* cut)
{
    QString kept;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] != '%' || i + 1 == word.size()) {
            kept += word[i];
            continue;
        }
        const QChar code = word[++i];
        if (code == '%') {
            kept += '%';
        } else if (IsTargetPlaceholder(code)) {
            *cut = true;
            return kept;
        }
    }
    return kept;
}

}  // namespace

CLinkLabel::CLinkLabel(QWidget* parent) : CLinkLabel(QString(), parent) {}

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), hover_color_(QApplication::palette().color(QPalette::Highlight))
{
    // A target is shown as it is, never read as markup.
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    openers_.open_url = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    openers_.browser_command = &CLinkLabel::ReadDefaultBrowserCommand;
    ApplyTextColor();
}

void CLinkLabel::Attach()
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
    LoadHandCursor();
    setToolTip(target_);
}

void CLinkLabel::SetLinkTarget(const QString& target)
{
    target_ = target;
    if (attached_) {
        FitToText();
        setToolTip(target_);
    }
}

void CLinkLabel::SetLinkColors(const QColor& link, const QColor& visited, const QColor& hover)
{
    link_color_ = link;
    visited_color_ = visited;
    hover_color_ = hover.isValid() ? hover : QApplication::palette().color(QPalette::Highlight);
    ApplyTextColor();
}

void CLinkLabel::MarkVisited(bool visited)
{
    visited_ = visited;
    ApplyTextColor();
}

void CLinkLabel::SetUnderlined(bool underline)
{
    underlined_ = underline;
    if (attached_) {
        ApplyUnderline();
    }
}

void CLinkLabel::FitToText()
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

void CLinkLabel::LoadHandCursor() { setCursor(Qt::PointingHandCursor); }

int CLinkLabel::OpenLink(const QString& target)
{
    if (openers_.open_url && openers_.open_url(QUrl::fromUserInput(target))) {
        return kOpened;
    }
    // The opener does not say why it failed; the usual reason is that
    // nothing handles the address.
    const int opener_result = kNoAssociation;
    const QString command_line = openers_.browser_command ? openers_.browser_command() : QString();
    if (command_line.isNull()) {
        return opener_result;
    }
    return LaunchBrowser(BrowserArguments(command_line, target));
}

int CLinkLabel::LaunchBrowser(const QStringList& arguments) const
{
    if (arguments.size() < 2 || arguments.front().isEmpty()) {
        return kIncompleteAssociation;
    }
    const QString& program = arguments.front();
    QString executable;
    if (program.contains('/')) {
        const QFileInfo info(program);
        if (!info.exists()) {
            return info.dir().exists() ? kFileNotFound : kPathNotFound;
        }
        if (info.isDir() || !info.isExecutable()) {
            return kAccessDenied;
        }
        executable = info.absoluteFilePath();
    } else {
        executable = QStandardPaths::findExecutable(program);
        if (executable.isEmpty()) {
            return kFileNotFound;
        }
    }
    // The program exists and may be run, so a refusal means it is no
    // program the system can start.
    return QProcess::startDetached(executable, arguments.mid(1)) ? kOpened : kBadExecutable;
}

QStringList CLinkLabel::BrowserArguments(const QString& command_line, const QString& target)
{
    QStringList arguments;
    for (const QString& word : SplitCommandLine(command_line)) {
        bool cut = false;
        const QString kept = ExpandFieldCodes(word, &cut);
        if (!kept.isEmpty() || (!cut && !IsFieldCode(word))) {
            arguments << kept;
        }
        if (cut) {
            break;
        }
    }
    arguments << target;
    return arguments;
}

QString CLinkLabel::ReadDefaultBrowserCommand()
{
    const QStringList lists = MimeAppsLists();
    for (const char* type : {"x-scheme-handler/http", "text/html"}) {
        for (const QString& list : lists) {
            const QString ids = ReadKeyFileValue(list, "Default Applications", type);
            for (const QString& id : ids.split(';', Qt::SkipEmptyParts)) {
                const QString exec = DesktopEntryExec(id.trimmed());
                if (!exec.isNull()) {
                    return exec;
                }
            }
        }
    }
    return {};
}

void CLinkLabel::ShowOpenError(int code)
{
    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                    OpenErrorText(code), QMessageBox::Ok, this);
    box.exec();
}

QString CLinkLabel::OpenErrorText(int code)
{
    switch (code) {
    case 0:
        return kErrorPrefix + "The operating system is out\nof memory or resources.";
    case 2:
        return kErrorPrefix + "The specified file was not found.";
    case 3:
        return kErrorPrefix + "The specified path was not found.";
    case 5:
        return kErrorPrefix + "The operating system denied\naccess to the specified file.";
    case 8:
        return kErrorPrefix + "There was not enough memory to complete the operation.";
    case 11:
        return kErrorPrefix + "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
        return kErrorPrefix + "A sharing violation occurred. ";
    case 27:
        return kErrorPrefix + "The filename association is\nincomplete or invalid.";
    case 28:
        return kErrorPrefix + "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
        return kErrorPrefix + "The DDE transaction failed.";
    case 30:
        return kErrorPrefix +
               "The DDE transaction could not\nbe completed because other DDE transactions\n"
               "were being processed.";
    case 31:
        return kErrorPrefix + "There is no application associated\nwith the given filename extension.";
    case 32:
        return kErrorPrefix + "The specified dynamic-link library was not found.";
    default:
        return kErrorPrefix + QString("Unknown Error (%1) occurred.").arg(code);
    }
}

void CLinkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    SetHovering(true);
}

void CLinkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    SetHovering(false);
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        OnClicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::OnClicked()
{
    const int result = OpenLink(target_);
    visited_ = result > 32;
    if (visited_) {
        MarkVisited(true);
        return;
    }
    ApplyTextColor();
    ShowOpenError(result);
}

void CLinkLabel::SetHovering(bool hovering)
{
    if (hovering_ == hovering) {
        return;
    }
    hovering_ = hovering;
    ApplyTextColor();
    repaint();
}

void CLinkLabel::ApplyTextColor()
{
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText,
                    hovering_ ? hover_color_ : visited_ ? visited_color_ : link_color_);
    setPalette(colors);
}

void CLinkLabel::ApplyUnderline()
{
    QFont underlined = font();
    underlined.setUnderline(underlined_);
    setFont(underlined);
}

}  // namespace kinoverd
