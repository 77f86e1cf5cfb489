// SPDX-License-Identifier: GPL-3.0-or-later
// LinkLabel: fitting to its text, colours read from rendered pixels, the
// way a click reaches the browser, and the error box of a failed open.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "controls/link_label.h"

namespace kinoverd {
namespace {

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

    LinkLabel* MakeLabel(const QString& text, Qt::Alignment alignment,
                          QRect place = QRect(10, 20, 200, 40))
    {
        auto* label = new LinkLabel(text, &window_);
        label->setFont(CrispFont());
        label->setAlignment(alignment);
        label->setGeometry(place);
        label->show();
        return label;
    }

    // Every colour of the label's pixels other than the window's background.
    QSet<QRgb> TextColors(const LinkLabel& label)
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

    int TextPixelCount(const LinkLabel& label)
    {
        const QImage image = window_.grab(label.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) != kBackground.rgb();
        }
        return count;
    }

    static void Enter(LinkLabel* label)
    {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(label, &enter);
    }

    static void Leave(LinkLabel* label)
    {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
    }

    QWidget window_;
};

TEST_F(LinkLabelTest, LeftAlignedLabelKeepsItsLeftEdgeAndTakesTheTextHeight)
{
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignTop);
    label->Attach();

    const QFontMetrics metrics = label->fontMetrics();
    const int text_width = metrics.horizontalAdvance(label->text());
    ASSERT_LT(text_width, 200);
    EXPECT_EQ(label->geometry(), QRect(10, 20, text_width, metrics.height()));
}

TEST_F(LinkLabelTest, CentredLabelKeepsItsCentre)
{
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignHCenter | Qt::AlignTop);
    label->Attach();

    const int text_width = label->fontMetrics().horizontalAdvance(label->text());
    const int d = (200 - text_width) / 2;
    EXPECT_EQ(label->x(), 10 + d);
    EXPECT_EQ(label->width(), 200 - 2 * d);
    EXPECT_EQ(label->y(), 20);
}

TEST_F(LinkLabelTest, RightAlignedLabelKeepsItsRightEdge)
{
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignRight | Qt::AlignTop);
    label->Attach();

    const int text_width = label->fontMetrics().horizontalAdvance(label->text());
    EXPECT_EQ(label->geometry().right(), 209);
    EXPECT_EQ(label->width(), text_width);
}

TEST_F(LinkLabelTest, VerticallyCentredLabelShrinksAroundItsMiddle)
{
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignVCenter);
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
        LinkLabel* wide = MakeLabel(text, alignment | Qt::AlignTop, QRect(0, 0, 300, 60));
        const int unclipped = TextPixelCount(*wide);
        delete wide;

        LinkLabel* fitted = MakeLabel(text, alignment | Qt::AlignTop, QRect(10, 20, 280, 60));
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
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft | Qt::AlignTop);
    label->FitToText();
    label->SetLinkTarget(kTarget);
    EXPECT_EQ(label->geometry(), QRect(10, 20, 200, 40));
}

TEST_F(LinkLabelTest, AttachedWithoutTargetTakesItsTextAsTarget)
{
    LinkLabel* label = MakeLabel(QStringLiteral("kinoverd.example"), Qt::AlignLeft);
    label->Attach();

    EXPECT_EQ(label->link_target(), QStringLiteral("kinoverd.example"));
    EXPECT_EQ(label->toolTip(), QStringLiteral("kinoverd.example"));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(label->font().underline());
}

TEST_F(LinkLabelTest, EmptyLabelShowsItsTarget)
{
    LinkLabel* label = MakeLabel(QString(), Qt::AlignLeft);
    label->SetLinkTarget(kTarget);
    label->Attach();

    EXPECT_EQ(label->text(), kTarget);
    EXPECT_EQ(label->width(), label->fontMetrics().horizontalAdvance(kTarget));
}

TEST_F(LinkLabelTest, NewTargetBecomesTheTooltip)
{
    LinkLabel* label = MakeLabel(QStringLiteral("胶片花园 2024"), Qt::AlignHCenter);
    label->Attach();
    label->SetLinkTarget(kTarget);
    EXPECT_EQ(label->toolTip(), kTarget);
    EXPECT_EQ(label->text(), QStringLiteral("胶片花园 2024"));
}

TEST_F(LinkLabelTest, DefaultColoursAreTheWebsOwn)
{
    LinkLabel label;
    EXPECT_EQ(label.link_color(), QColor(0, 0, 238));
    EXPECT_EQ(label.visited_color(), QColor(85, 26, 139));
    EXPECT_EQ(label.hover_color(), QApplication::palette().color(QPalette::Highlight));
    EXPECT_TRUE(label.underlined());

    label.SetLinkColors(kLink, kVisited);
    EXPECT_EQ(label.hover_color(), QApplication::palette().color(QPalette::Highlight));
}

TEST_F(LinkLabelTest, UnderlineCanBeSwitchedOff)
{
    LinkLabel* label = MakeLabel(kTarget, Qt::AlignLeft | Qt::AlignTop);
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
        UseOpener("true");
    }

    // Opens links with `program`, a real one that ends at once: true
    // succeeds, false fails. The desktop's opener stands in when it is missing.
    void UseOpener(const char* program)
    {
        label_->SetOpeners({QString::fromLatin1(program), [this](const QUrl& url) {
                                opened_.push_back(url);
                                return open_succeeds_;
                            }});
    }

    // Clicks the label and waits for the open to end; returns the text of
    // the error box it showed, after closing it, or a null string when none
    // appeared.
    QString ClickAndCloseError()
    {
        QString shown;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                EXPECT_EQ(box->icon(), QMessageBox::Warning);
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Kinoverd"));
                box->accept();
            }
        });
        poll.start(5);
        QTest::mouseClick(label_, Qt::LeftButton, {}, QPoint(3, 3));
        EXPECT_TRUE(QTest::qWaitFor([this] { return !label_->opening(); }, 10000));
        return shown;
    }

    LinkLabel* label_ = nullptr;
    bool open_succeeds_ = true;
    std::vector<QUrl> opened_;
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
    EXPECT_TRUE(opened_.empty());
    EXPECT_TRUE(label_->visited());
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kHover.rgb()});

    Leave(label_);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kVisited.rgb()});
    Enter(label_);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kHover.rgb()});
}

// The opener's exit status decides; only a missing opener hands the link
// to the desktop's own.
TEST_F(LinkLabelClickTest, FailedOpenShowsTheErrorAndClearsTheVisitedMark)
{
    ClickAndCloseError();
    ASSERT_TRUE(label_->visited());

    UseOpener("false");
    EXPECT_EQ(ClickAndCloseError(), LinkLabel::kOpenErrorText);
    EXPECT_TRUE(LinkLabel::kOpenErrorText.startsWith(QStringLiteral("Unable to open hyperlink:\n\n")));
    EXPECT_FALSE(label_->visited());
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
    EXPECT_TRUE(opened_.empty());

    UseOpener("kinoverd-no-such-opener");
    EXPECT_TRUE(ClickAndCloseError().isNull());
    EXPECT_TRUE(label_->visited());
    open_succeeds_ = false;
    EXPECT_EQ(ClickAndCloseError(), LinkLabel::kOpenErrorText);
    EXPECT_EQ(opened_, (std::vector<QUrl>{QUrl(kTarget), QUrl(kTarget)}));
}

// The real xdg-open, left without any way to open a link, ends with an
// error after it has started: the label says so.
TEST_F(LinkLabelClickTest, XdgOpenWithNoMethodAvailableShowsTheError)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        << "xdg-open (xdg-utils) is not installed";
    const ScopedEnv desktop("XDG_CURRENT_DESKTOP", "X-Generic");
    const ScopedEnv display("DISPLAY", "");
    const ScopedEnv wayland("WAYLAND_DISPLAY", "");
    const ScopedEnv browser("BROWSER", "kinoverd-no-such-browser");
    LinkOpeners openers = LinkOpeners::Desktop();
    openers.open_url = [this](const QUrl& url) {
        opened_.push_back(url);
        return true;
    };
    label_->SetOpeners(openers);
    label_->MarkVisited(true);
    EXPECT_EQ(ClickAndCloseError(), LinkLabel::kOpenErrorText);
    EXPECT_FALSE(label_->visited());
    EXPECT_TRUE(opened_.empty());
}

TEST_F(LinkLabelClickTest, MarkVisitedRepaintsInTheVisitedColour)
{
    label_->MarkVisited(true);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kVisited.rgb()});
    label_->MarkVisited(false);
    EXPECT_EQ(TextColors(*label_), QSet<QRgb>{kLink.rgb()});
}

// A fake xdg-open first on the PATH, which writes the arguments it was
// started with, each ended by a zero byte.
TEST(LinkLabelFallback, XdgOpenGetsTheTargetAsOneArgument)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile fake(folder.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\n"
               "out=\"$(dirname \"$0\")/argv\"\n"
               "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\"\n"
               "mv \"$out.part\" \"$out\"\n");
    fake.close();
    fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
    const ScopedEnv path("PATH", (folder.path() + ':' + qEnvironmentVariable("PATH")).toUtf8());

    const QString canary = folder.filePath(QStringLiteral("injected"));
    const QString target =
        QStringLiteral("http://kinoverd.example/a b \"c\" 'd'; e $(touch %1) `touch %1` & f").arg(canary);
    LinkLabel label;
    int opener_calls = 0;
    LinkOpeners openers = LinkOpeners::Desktop();
    openers.open_url = [&](const QUrl&) {
        ++opener_calls;
        return false;
    };
    label.SetOpeners(openers);
    label.SetLinkTarget(target);
    label.OpenLink();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !label.opening(); }, 10000));
    EXPECT_TRUE(label.visited());
    EXPECT_EQ(opener_calls, 0);

    const QString recorded = folder.filePath(QStringLiteral("argv"));
    ASSERT_TRUE(QFile::exists(recorded));
    QFile file(recorded);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), target.toUtf8() + '\0');
    EXPECT_FALSE(QFile::exists(canary));
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
    auto* label = new LinkLabel(QStringLiteral("胶片花园工作室 2024年6月"), &panel);
    QFont font = label->font();
    font.setPixelSize(13);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(10, 12, 240, 20);
    label->SetLinkTarget(kTarget);
    label->Attach();
    label->SetLinkColors(QColor(0, 0, 255), LinkLabel::kDefaultVisitedColor, QColor(255, 0, 0));
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
