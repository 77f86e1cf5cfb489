// CLinkLabel: fitting to its text, colours read from rendered pixels, the
// way a click reaches the browser, and the error box of a failed open.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "controls/link_label.h"
#include "tests/support/wait_until.h"

namespace kinoverd {
namespace {

using testing::ElementsAre;

const QColor kBackground(255, 255, 255);
const QColor kLink(0, 0, 255);
const QColor kVisited(0, 128, 0);
const QColor kHover(255, 0, 0);
const QString kTarget = QStringLiteral("http://www.kinoverd.example/");

// Unsmoothed glyphs, so that every text pixel has exactly the text colour.
QFont CrispFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            old_ = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (old_)
            qputenv(name_, *old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

class LinkLabelTest : public testing::Test {
protected:
    LinkLabelTest()
    {
        window_.resize(300, 120);
        window_.setAutoFillBackground(true);
        QPalette white = window_.palette();
        white.setColor(QPalette::Window, kBackground);
        window_.setPalette(white);
        window_.show();
    }

    CLinkLabel* MakeLabel(const QString& text, Qt::Alignment alignment,
                          QRect place = QRect(10, 20, 200, 40))
    {
        auto* label = new CLinkLabel(text, &window_);
        label->setFont(CrispFont());
        label->setAlignment(alignment);
        label->setGeometry(place);
        label->show();
        return label;
    }

    // Every colour of the label's pixels other than the window's background.
    QSet<QRgb> TextColors(const CLinkLabel& label)
    {
        const QImage image = window_.grab(label.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        QSet<QRgb> colors;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != kBackground.rgb())
                    colors.insert(image.pixel(x, y));
            }
        }
        return colors;
    }

    int TextPixelCount(const CLinkLabel& label)
    {
        const QImage image = window_.grab(label.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) != kBackground.rgb();
        }
        return count;
    }

    static void Enter(CLinkLabel* label)
    {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(label, &enter);
    }

    static void Leave(CLinkLabel* label)
    {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
    }

    QWidget window_;
};

TEST_F(LinkLabelTest, LeftAlignedLabelKeepsItsLeftEdgeAndTakesTheTextHeight)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignTop);
    label->Attach();

    const QFontMetrics metrics = label->fontMetrics();
    const int text_width = metrics.horizontalAdvance(label->text());
    ASSERT_LT(text_width, 200);
    EXPECT_EQ(label->geometry(), QRect(10, 20, text_width, metrics.height()));
}

TEST_F(LinkLabelTest, CentredLabelKeepsItsCentre)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignHCenter | Qt::AlignTop);
    label->Attach();

    const int text_width = label->fontMetrics().horizontalAdvance(label->text());
    const int d = (200 - text_width) / 2;
    EXPECT_EQ(label->x(), 10 + d);
    EXPECT_EQ(label->width(), 200 - 2 * d);
    EXPECT_EQ(label->y(), 20);
}

TEST_F(LinkLabelTest, RightAlignedLabelKeepsItsRightEdge)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignRight | Qt::AlignTop);
    label->Attach();

    const int text_width = label->fontMetrics().horizontalAdvance(label->text());
    EXPECT_EQ(label->geometry().right(), 209);
    EXPECT_EQ(label->width(), text_width);
}

TEST_F(LinkLabelTest, VerticallyCentredLabelShrinksAroundItsMiddle)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignVCenter);
    label->Attach();

    const int d = (40 - label->fontMetrics().height()) / 2;
    EXPECT_EQ(label->y(), 20 + d);
    EXPECT_EQ(label->height(), 40 - 2 * d);
}

// The fitted label still shows every pixel of its text, whatever the alignment.
TEST_F(LinkLabelTest, FittedLabelShowsItsWholeText)
{
    const QString text = QStringLiteral("Mjq|kinoverd.example|W");
    for (const Qt::Alignment alignment : {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight}) {
        CLinkLabel* wide = MakeLabel(text, alignment | Qt::AlignTop, QRect(0, 0, 300, 60));
        const int unclipped = TextPixelCount(*wide);
        delete wide;

        CLinkLabel* fitted = MakeLabel(text, alignment | Qt::AlignTop, QRect(10, 20, 280, 60));
        fitted->SetUnderlined(false);
        fitted->Attach();
        EXPECT_LT(fitted->width(), 280);
        EXPECT_GT(unclipped, 0);
        EXPECT_EQ(TextPixelCount(*fitted), unclipped) << "alignment " << int(alignment);
        delete fitted;
    }
}

TEST_F(LinkLabelTest, FittingWaitsUntilAttached)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignTop);
    label->FitToText();
    label->SetLinkTarget(kTarget);
    EXPECT_EQ(label->geometry(), QRect(10, 20, 200, 40));
}

TEST_F(LinkLabelTest, AttachedWithoutTargetTakesItsTextAsTarget)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft);
    label->Attach();

    EXPECT_EQ(label->link_target(), QStringLiteral("kinoverd.example"));
    EXPECT_EQ(label->toolTip(), QStringLiteral("kinoverd.example"));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(label->font().underline());
}

TEST_F(LinkLabelTest, EmptyLabelShowsItsTarget)
{
    CLinkLabel* label = MakeLabel(QString(), Qt::AlignLeft);
    label->SetLinkTarget(kTarget);
    label->Attach();

    EXPECT_EQ(label->text(), kTarget);
    EXPECT_EQ(label->width(), label->fontMetrics().horizontalAdvance(kTarget));
}

TEST_F(LinkLabelTest, NewTargetBecomesTheTooltip)
{
    CLinkLabel* label = MakeLabel(QStringLiteral("胶片花园 2024"), Qt::AlignHCenter);
    label->Attach();
    label->SetLinkTarget(kTarget);
    EXPECT_EQ(label->toolTip(), kTarget);
    EXPECT_EQ(label->text(), QStringLiteral("胶片花园 2024"));
}

TEST_F(LinkLabelTest, DefaultColoursAreTheWebsOwn)
{
    CLinkLabel label;
    EXPECT_EQ(label.link_color(), QColor(0, 0, 238));
    EXPECT_EQ(label.visited_color(), QColor(85, 26, 139));
    EXPECT_EQ(label.hover_color(), QApplication::palette().color(QPalette::Highlight));
    EXPECT_TRUE(label.underlined());

    label.SetLinkColors(kLink, kVisited);
    EXPECT_EQ(label.hover_color(), QApplication::palette().color(QPalette::Highlight));
}

TEST_F(LinkLabelTest, UnderlineCanBeSwitchedOff)
{
    CLinkLabel* label = MakeLabel(kTarget, Qt::AlignLeft | Qt::AlignTop);
    label->Attach();
    const int underlined = TextPixelCount(*label);
    label->SetUnderlined(false);
    EXPECT_FALSE(label->font().underline());
    EXPECT_LT(TextPixelCount(*label), underlined);
}

class LinkLabelClickTest : public LinkLabelTest {
protected:
    LinkLabelClickTest()
    {
        label_ = MakeLabel(QStringLiteral("Kinoverd 胶片花园"), Qt::AlignLeft | Qt::AlignTop);
        label_->SetLinkTarget(kTarget);
        label_->Attach();
        label_->SetLinkColors(kLink, kVisited, kHover);
        label_->SetOpeners({[this](const QUrl& url) {
                                opened_.push_back(url);
                                return open_succeeds_;
                            },
                            [this] {
                                ++browser_lookups_;
                                return QString();
                            }});
    }

    // Clicks the label; returns the text of the error box the click showed,
    // after closing it, or a null string when none appeared.
    QString ClickAndCloseError()
    {
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                EXPECT_EQ(box->icon(), QMessageBox::Warning);
                box->accept();
            }
        });
        QTest::mouseClick(label_, Qt::LeftButton, {}, QPoint(3, 3));
        QApplication::processEvents();
        return shown;
    }

    CLinkLabel* label_ = nullptr;
    bool open_succeeds_ = true;
    std::vector<QUrl> opened_;
    int browser_lookups_ = 0;
};

TEST_F(LinkLabelClickTest, HoverColourWhilePointerIsOver)
{
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
    Enter(label_);
    EXPECT_TRUE(label_->hovering());
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kHover.rgb()});
    Leave(label_);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
}

TEST_F(LinkLabelClickTest, OpenedLinkTurnsVisitedAndHoverStillWins)
{
    Enter(label_);
    EXPECT_TRUE(ClickAndCloseError().isNull());
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], QUrl(kTarget));
    EXPECT_EQ(browser_lookups_, 0);
    EXPECT_TRUE(label_->visited());
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kHover.rgb()});

    Leave(label_);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kVisited.rgb()});
    Enter(label_);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kHover.rgb()});
}

TEST_F(LinkLabelClickTest, FailedOpenShowsTheErrorAndClearsTheVisitedMark)
{
    ClickAndCloseError();
    ASSERT_TRUE(label_->visited());

    open_succeeds_ = false;
    EXPECT_EQ(ClickAndCloseError(),
              QStringLiteral("Unable to open hyperlink:\n\nThere is no application associated\n"
                             "with the given filename extension."));
    EXPECT_EQ(browser_lookups_, 1);
    EXPECT_FALSE(label_->visited());
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
}

TEST_F(LinkLabelClickTest, MarkVisitedRepaintsInTheVisitedColour)
{
    label_->MarkVisited(true);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kVisited.rgb()});
    label_->MarkVisited(false);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
}

TEST(LinkLabelErrorText, EveryKnownCodeHasItsText)
{
    const std::vector<std::pair<int, const char*>> texts = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\n"
             "were being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
    };
    for (const auto& [code, text] : texts) {
        EXPECT_EQ(CLinkLabel::OpenErrorText(code),
                  QStringLiteral("Unable to open hyperlink:\n\n") + QString::fromUtf8(text))
            << code;
    }
}

TEST(LinkLabelErrorText, OtherCodesAreUnknownErrors)
{
    EXPECT_EQ(CLinkLabel::OpenErrorText(1),
              QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (1) occurred."));
    EXPECT_EQ(CLinkLabel::OpenErrorText(-7),
              QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (-7) occurred."));
}

TEST(LinkLabelBrowserArguments, CommandWithoutPlaceholderIsKeptWhole)
{
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("browser -new"), kTarget),
                ElementsAre(QStringLiteral("browser"), QStringLiteral("-new"), kTarget));
}

TEST(LinkLabelBrowserArguments, CommandIsCutAtItsFirstPlaceholder)
{
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("browser --new-window %u --later"), kTarget),
                ElementsAre(QStringLiteral("browser"), QStringLiteral("--new-window"), kTarget));
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("browser %U"), kTarget),
                ElementsAre(QStringLiteral("browser"), kTarget));
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("\"/opt/web browser/run\" -nohome \"%1\""), kTarget),
                ElementsAre(QStringLiteral("/opt/web browser/run"), QStringLiteral("-nohome"), kTarget));
    // What stood before the placeholder in its word stays, the target follows it.
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("browser --url=%f"), kTarget),
                ElementsAre(QStringLiteral("browser"), QStringLiteral("--url="), kTarget));
}

TEST(LinkLabelBrowserArguments, OtherFieldCodesAreDroppedAndPercentsResolved)
{
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("browser %i --name=100%% %c \"\" %u"), kTarget),
                ElementsAre(QStringLiteral("browser"), QStringLiteral("--name=100%"), QString(""), kTarget));
    EXPECT_THAT(CLinkLabel::BrowserArguments(QStringLiteral("\"a \\\"quoted\\\" \\$name\""), kTarget),
                ElementsAre(QStringLiteral("a \"quoted\" $name"), kTarget));
}

// A fake web browser in a temporary folder (with a blank in its name) that
// writes the arguments it was started with, each ended by a zero byte.
// The desktop's configuration and data folders, moved into `folder` for
// the life of this object, so the association lookup sees only what a test
// writes there.
struct DesktopFolders {
    explicit DesktopFolders(const QTemporaryDir& folder)
        : config(folder.filePath(QStringLiteral("config"))),
          data(folder.filePath(QStringLiteral("data"))),
          config_home("XDG_CONFIG_HOME", config.toUtf8()),
          config_dirs("XDG_CONFIG_DIRS", folder.filePath(QStringLiteral("no-etc")).toUtf8()),
          data_home("XDG_DATA_HOME", data.toUtf8()),
          data_dirs("XDG_DATA_DIRS", folder.filePath(QStringLiteral("no-usr")).toUtf8()),
          current_desktop("XDG_CURRENT_DESKTOP", "")
    {
        QDir().mkpath(config);
        QDir().mkpath(data + QStringLiteral("/applications"));
    }

    const QString config;
    const QString data;
    ScopedEnv config_home;
    ScopedEnv config_dirs;
    ScopedEnv data_home;
    ScopedEnv data_dirs;
    ScopedEnv current_desktop;
};

class FakeBrowserTest : public testing::Test {
protected:
    FakeBrowserTest()
    {
        EXPECT_TRUE(folder_.isValid());
        QDir(folder_.path()).mkdir(QStringLiteral("web browser"));
        browser_ = folder_.filePath(QStringLiteral("web browser/fake-browser"));
        WriteFile(browser_,
                  "#!/bin/sh\n"
                  "out=\"$(dirname \"$0\")/argv\"\n"
                  "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\"\n"
                  "mv \"$out.part\" \"$out\"\n",
                  true);
    }

    static void WriteFile(const QString& path, const QByteArray& content, bool executable)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    // The arguments the fake browser was started with; empty when it did
    // not run within a few seconds.
    QStringList RecordedArguments()
    {
        const QString path = folder_.filePath(QStringLiteral("web browser/argv"));
        if (!test::WaitUntil([&] { return QFile::exists(path); }))
            return {};
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList arguments = QString::fromUtf8(file.readAll()).split(QChar(0));
        arguments.removeLast();
        return arguments;
    }

    int OpenWithBrowser(const QString& command_line, const QString& target, int* opener_calls = nullptr)
    {
        CLinkLabel label;
        label.SetOpeners({[opener_calls](const QUrl&) {
                              if (opener_calls)
                                  ++*opener_calls;
                              return false;
                          },
                          [command_line] { return command_line; }});
        return label.OpenLink(target);
    }

    QTemporaryDir folder_;
    QString browser_;
};

TEST_F(FakeBrowserTest, BrowserGetsTheTargetAsOneArgumentAfterTheOpenerFailed)
{
    const QString canary = folder_.filePath(QStringLiteral("injected"));
    const QString target = QStringLiteral("http://kinoverd.example/a b \"c\" 'd'; e $(touch %1) `touch %1` & f")
                               .arg(canary);
    int opener_calls = 0;
    const QString command = '"' + browser_ + QStringLiteral("\" --new-window %u");

    EXPECT_EQ(OpenWithBrowser(command, target, &opener_calls), CLinkLabel::kOpened);
    EXPECT_EQ(opener_calls, 1);
    EXPECT_THAT(RecordedArguments(), ElementsAre(QStringLiteral("--new-window"), target));
    EXPECT_FALSE(QFile::exists(canary));
}

TEST_F(FakeBrowserTest, FindsTheBrowserThroughTheDesktopsAssociation)
{
    const DesktopFolders desktop(folder_);
    const QString& config = desktop.config;
    const QString& data = desktop.data;

    EXPECT_TRUE(CLinkLabel::ReadDefaultBrowserCommand().isNull());

    WriteFile(config + QStringLiteral("/mimeapps.list"),
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default Applications]\n"
              "x-scheme-handler/http=not-installed.desktop;fake-browser.desktop;\n",
              false);
    const QByteArray exec = "Exec=\"" + browser_.toUtf8() + "\" --private %U\n";
    WriteFile(data + QStringLiteral("/applications/fake-browser.desktop"),
              "[Desktop Entry]\nType=Application\nName=Fake\n" + exec + "\n[Desktop Action new]\nExec=wrong\n",
              false);
    EXPECT_EQ(CLinkLabel::ReadDefaultBrowserCommand(), '"' + browser_ + QStringLiteral("\" --private %U"));

    CLinkLabel label;
    label.SetOpeners({[](const QUrl&) { return false; }, &CLinkLabel::ReadDefaultBrowserCommand});
    EXPECT_EQ(label.OpenLink(kTarget), CLinkLabel::kOpened);
    EXPECT_THAT(RecordedArguments(), ElementsAre(QStringLiteral("--private"), kTarget));
}

TEST_F(FakeBrowserTest, WebPagesAssociationIsTheSecondChoice)
{
    const DesktopFolders desktop(folder_);
    const QString& config = desktop.config;
    const QString& data = desktop.data;

    WriteFile(data + QStringLiteral("/applications/mimeapps.list"),
              "[Default Applications]\ntext/html=pages.desktop\n", false);
    WriteFile(data + QStringLiteral("/applications/pages.desktop"),
              "[Desktop Entry]\nExec=pages\\sviewer %f\n", false);
    EXPECT_EQ(CLinkLabel::ReadDefaultBrowserCommand(), QStringLiteral("pages viewer %f"));
}

TEST_F(FakeBrowserTest, LaunchFailuresGiveTheirCodes)
{
    EXPECT_EQ(OpenWithBrowser(folder_.filePath(QStringLiteral("no such folder/browser %u")), kTarget),
              CLinkLabel::kFileNotFound)
        << "unquoted: the blank splits the path";
    EXPECT_EQ(OpenWithBrowser('"' + folder_.filePath(QStringLiteral("no such folder/browser")) + "\" %u", kTarget),
              CLinkLabel::kPathNotFound);
    EXPECT_EQ(OpenWithBrowser('"' + folder_.filePath(QStringLiteral("web browser/missing")) + "\" %u", kTarget),
              CLinkLabel::kFileNotFound);
    EXPECT_EQ(OpenWithBrowser(QStringLiteral("kinoverd-no-such-browser %u"), kTarget),
              CLinkLabel::kFileNotFound);

    const QString plain = folder_.filePath(QStringLiteral("plain"));
    WriteFile(plain, "#!/bin/sh\n", false);
    EXPECT_EQ(OpenWithBrowser(plain + " %u", kTarget), CLinkLabel::kAccessDenied);
    EXPECT_EQ(OpenWithBrowser(folder_.path() + " %u", kTarget), CLinkLabel::kAccessDenied);

    const QString garbage = folder_.filePath(QStringLiteral("garbage"));
    WriteFile(garbage, QByteArray("\x7f" "ELF\x01\x02 not a program", 20), true);
    EXPECT_EQ(OpenWithBrowser(garbage + " %u", kTarget), CLinkLabel::kBadExecutable);

    EXPECT_EQ(OpenWithBrowser(QStringLiteral(""), kTarget), CLinkLabel::kIncompleteAssociation);
    EXPECT_EQ(OpenWithBrowser(QStringLiteral("%u"), kTarget), CLinkLabel::kIncompleteAssociation);
    EXPECT_EQ(OpenWithBrowser(QString(), kTarget), CLinkLabel::kNoAssociation);
}

// Writes the label's three looks (link, hover, visited) when
// KINOVERD_SCREENSHOT_DIR names a folder.
TEST_F(LinkLabelTest, Screenshot)
{
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set KINOVERD_SCREENSHOT_DIR to write controls-link-label.png";

    QWidget panel;
    panel.resize(260, 40);
    auto* label = new CLinkLabel(QStringLiteral("胶片花园工作室 2024年6月"), &panel);
    QFont font = label->font();
    font.setPixelSize(13);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(10, 12, 240, 20);
    label->SetLinkTarget(kTarget);
    label->Attach();
    label->SetLinkColors(QColor(0, 0, 255), CLinkLabel::kDefaultVisitedColor, QColor(255, 0, 0));
    panel.show();

    constexpr int kGap = 6;
    QImage sheet(3 * panel.width() + 4 * kGap, panel.height() + 2 * kGap, QImage::Format_RGB32);
    sheet.fill(qRgb(160, 160, 160));
    QPainter painter(&sheet);
    auto shoot = [&](int slot) { painter.drawPixmap(kGap + slot * (panel.width() + kGap), kGap, panel.grab()); };
    shoot(0);
    Enter(label);
    shoot(1);
    Leave(label);
    label->MarkVisited(true);
    shoot(2);
    painter.end();

    EXPECT_TRUE(sheet.scaled(sheet.size() * 2).save(QDir(folder).filePath(QStringLiteral("controls-link-label.png"))));
}

}  // namespace
}  // namespace kinoverd
