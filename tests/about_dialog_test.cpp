// SPDX-License-Identifier: GPL-3.0-or-later
// AboutDialog and CreditsPanel: the dialog's layout, the colours of the
// credits read from pixels, and the endless scroll stepped tick by tick,
// with drags sent as mouse events.
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

#include "controls/about_dialog.h"
#include "controls/credits_panel.h"

namespace kinoverd {
namespace {

QImage Rendered(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QLabel* LabelWithText(const QWidget& parent, const QString& text)
{
    for (QLabel* label : parent.findChildren<QLabel*>()) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

class AboutDialogTest : public testing::Test {
protected:
    // The dialog's own timer stays idle: no test runs the event loop, so
    // only the ticks a test makes move the credits.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            dialog_.OnTimer();
    }

    int h() const { return dialog_.panel_height(); }
    CreditsPanel* Leading() const { return dialog_.leading_panel(); }
    CreditsPanel* Trailing() const { return dialog_.trailing_panel(); }

    static void SendMouse(QWidget* widget, QEvent::Type type, QPoint global)
    {
        const QPointF local = widget->mapFromGlobal(QPointF(global));
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, local, QPointF(global), button, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    // Drags `panel` from a point inside it along the given steps of the
    // pointer (each relative to the press) and lets go after the last.
    void Drag(CreditsPanel* panel, const std::vector<QPoint>& steps)
    {
        const QPoint press = panel->mapToGlobal(QPoint(100, 60));
        SendMouse(panel, QEvent::MouseButtonPress, press);
        for (const QPoint& step : steps)
            SendMouse(panel, QEvent::MouseMove, press + step);
        SendMouse(panel, QEvent::MouseButtonRelease, press + steps.back());
    }

    AboutDialog dialog_;
};

TEST_F(AboutDialogTest, DialogHasItsSizeCaptionAndTexts)
{
    EXPECT_EQ(dialog_.size(), QSize(330, 237));
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("关于"));
    EXPECT_TRUE(dialog_.isModal());

    QLabel* product = LabelWithText(dialog_, QStringLiteral("Kinoverd " KINOVERD_VERSION " 版"));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->geometry(), QRect(96, 26, 123, 18));

    const auto groups = dialog_.findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0]->geometry(), QRect(12, 13, 305, 70));
    EXPECT_EQ(dialog_.credits_window()->geometry(), QRect(12, 88, 306, 138));
}

TEST_F(AboutDialogTest, CreditsStartStackedInsideTheBorder)
{
    ASSERT_EQ(h(), CreditsPanel::PanelSize().height());
    EXPECT_EQ(h(), 457);
    EXPECT_EQ(Leading()->geometry(), QRect(0, 0, 304, h()));
    EXPECT_EQ(Trailing()->geometry(), QRect(0, h(), 304, h()));
    EXPECT_EQ(Leading()->parentWidget()->geometry(), QRect(1, 1, 304, 136));
    EXPECT_EQ(dialog_.offset(), 0);
    EXPECT_EQ(dialog_.direction(), 1);
    EXPECT_FALSE(dialog_.paused());
}

TEST_F(AboutDialogTest, CreditsAreColouredTextOnBlack)
{
    CreditsPanel* panel = Leading();
    const QImage image = Rendered(*panel);
    // Each text's rectangle holds black and shades of its colour only.
    auto check = [&](const QString& text, QRgb color) {
        QLabel* label = LabelWithText(*panel, text);
        ASSERT_NE(label, nullptr) << text.toStdString();
        int brightest = 0;
        for (int y = label->y(); y <= label->geometry().bottom(); ++y) {
            for (int x = label->x(); x <= label->geometry().right(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qRed(color) == 0) {
                    ASSERT_EQ(qRed(pixel), 0) << text.toStdString() << " at " << x << "," << y;
                }
                if (qGreen(color) == 0) {
                    ASSERT_EQ(qGreen(pixel), 0) << text.toStdString() << " at " << x << "," << y;
                }
                if (qBlue(color) == 0) {
                    ASSERT_EQ(qBlue(pixel), 0) << text.toStdString() << " at " << x << "," << y;
                }
                brightest = std::max({brightest, qRed(pixel), qGreen(pixel), qBlue(pixel)});
            }
        }
        EXPECT_GT(brightest, 200) << text.toStdString();
    };
    check(QStringLiteral("胶片花园 1.0"), qRgb(255, 0, 0));
    check(QStringLiteral("开发成员"), qRgb(0, 0, 255));
    check(QStringLiteral("胶片花园工作室 Kinoverd Studio"), qRgb(0, 255, 0));
    check(QStringLiteral("林晓舟\nxzlin@kinoverd.example"), qRgb(0, 255, 255));
    EXPECT_EQ(image.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(panel->width() - 2, panel->height() - 2), qRgb(0, 0, 0));
}

TEST_F(AboutDialogTest, EachTickScrollsOnePixelUp)
{
    CreditsPanel* first = Leading();
    CreditsPanel* second = Trailing();
    Tick();
    EXPECT_EQ(first->y(), -1);
    EXPECT_EQ(second->y(), h() - 1);
    Tick(9);
    EXPECT_EQ(first->y(), -10);
    EXPECT_EQ(second->y(), h() - 10);
    EXPECT_EQ(dialog_.offset(), -10);
}

TEST_F(AboutDialogTest, PanelsExchangeRolesOnTickHMinusOne)
{
    CreditsPanel* first = Leading();
    CreditsPanel* second = Trailing();
    Tick(h() - 2);
    EXPECT_EQ(Leading(), first);
    Tick();
    EXPECT_EQ(Leading(), second);
    EXPECT_EQ(Trailing(), first);
    EXPECT_EQ(dialog_.offset(), 0);
    EXPECT_EQ(first->y(), -(h() - 1));
    EXPECT_EQ(second->y(), 1);

    // Once a cycle the credits move by two pixels in one step.
    Tick();
    EXPECT_EQ(second->y(), -1);
    EXPECT_EQ(first->y(), h() - 1);
}

TEST_F(AboutDialogTest, CreditsWrapAroundSeamlessly)
{
    const int period = h() - 1;
    for (const int k : {3, h() - 4}) {
        Tick(k - 1);
        const QImage before = Rendered(*dialog_.credits_window());
        Tick();
        const QImage at_k = Rendered(*dialog_.credits_window());
        EXPECT_NE(before, at_k);
        Tick(period);
        EXPECT_EQ(Rendered(*dialog_.credits_window()), at_k) << "tick " << k;
    }
}

TEST_F(AboutDialogTest, DownwardDragScrollsDownAfterwards)
{
    Tick(20);
    CreditsPanel* dragged = Leading();
    Drag(dragged, {{0, 10}, {0, 25}, {0, 40}});
    EXPECT_FALSE(dialog_.paused());
    EXPECT_LT(dialog_.direction(), 0);
    EXPECT_EQ(dragged->y(), 20);
    EXPECT_EQ(dialog_.offset(), 20);
    EXPECT_EQ(Trailing()->y(), 20 - h());

    Tick();
    EXPECT_EQ(dragged->y(), 21);
    EXPECT_EQ(Trailing()->y(), 21 - h());
    Tick(5);
    EXPECT_EQ(dragged->y(), 26);
}

TEST_F(AboutDialogTest, DownwardScrollWrapsAroundSeamlessly)
{
    Drag(Leading(), {{0, 3}});
    ASSERT_LT(dialog_.direction(), 0);
    const int period = h() - 1;
    for (const int k : {5, h() - 8}) {
        Tick(k);
        const QImage at_k = Rendered(*dialog_.credits_window());
        Tick(period);
        EXPECT_EQ(Rendered(*dialog_.credits_window()), at_k) << "tick " << k;
    }
}

TEST_F(AboutDialogTest, CreditsStandStillWhileHeld)
{
    CreditsPanel* held = Leading();
    const QPoint press = held->mapToGlobal(QPoint(50, 50));
    SendMouse(held, QEvent::MouseButtonPress, press);
    EXPECT_TRUE(dialog_.paused());
    Tick(30);
    EXPECT_EQ(held->y(), 0);
    SendMouse(held, QEvent::MouseMove, press + QPoint(0, -12));
    Tick(30);
    EXPECT_EQ(held->y(), -12);
    SendMouse(held, QEvent::MouseButtonRelease, press + QPoint(0, -12));
    EXPECT_EQ(dialog_.direction(), 12);
    Tick();
    EXPECT_EQ(held->y(), -13);
}

TEST_F(AboutDialogTest, DragNeverMovesSideways)
{
    Tick(7);
    Drag(Leading(), {{30, 5}, {-80, 12}, {200, -40}, {-5, -60}});
    for (const CreditsPanel* panel : {Leading(), Trailing()})
        EXPECT_EQ(panel->x(), 0);
    for (int i = 0; i < 2 * h(); ++i) {
        Tick();
        ASSERT_EQ(Leading()->x(), 0);
        ASSERT_EQ(Trailing()->x(), 0);
        ASSERT_EQ(Leading()->width(), 304);
    }
}

TEST_F(AboutDialogTest, DraggedTrailingPanelLeadsBeforeTheOtherIsPlaced)
{
    Tick(400);
    CreditsPanel* former_leading = Leading();
    CreditsPanel* dragged = Trailing();
    ASSERT_EQ(dragged->y(), h() - 400);

    const QPoint press = dragged->mapToGlobal(QPoint(100, 20));
    SendMouse(dragged, QEvent::MouseButtonPress, press);
    SendMouse(dragged, QEvent::MouseMove, press + QPoint(0, -10));
    EXPECT_EQ(Leading(), dragged);
    EXPECT_EQ(dialog_.offset(), h() - 410);
    EXPECT_EQ(former_leading->y(), h() - 410 - h());
    SendMouse(dragged, QEvent::MouseButtonRelease, press + QPoint(0, -10));

    // Scrolling up again, the other panel stays above the dragged one until
    // the dragged one reaches the top, so the view never shows a gap.
    ASSERT_GE(dialog_.direction(), 0);
    for (int i = 0; i < 60; ++i) {
        Tick();
        const int top = std::min(Leading()->y(), Trailing()->y());
        const int bottom = std::max(Leading()->geometry().bottom(), Trailing()->geometry().bottom());
        ASSERT_LE(top, 0) << "tick " << i;
        ASSERT_GE(bottom, 135) << "tick " << i;
        ASSERT_EQ(std::abs(Leading()->y() - Trailing()->y()), h());
    }
}

TEST_F(AboutDialogTest, DragThatEndsWhereItStartedScrollsUp)
{
    Drag(Leading(), {{0, 30}, {0, 0}});
    EXPECT_EQ(dialog_.direction(), 0);
    Tick();
    EXPECT_EQ(Leading()->y(), -1);
}

TEST_F(AboutDialogTest, PressAndReleaseOnTheDialogPauseAndSetTheDirection)
{
    const QPoint press = dialog_.mapToGlobal(QPoint(20, 20));
    SendMouse(&dialog_, QEvent::MouseButtonPress, press);
    EXPECT_TRUE(dialog_.paused());
    Tick(3);
    EXPECT_EQ(dialog_.offset(), 0);
    SendMouse(&dialog_, QEvent::MouseButtonRelease, press + QPoint(0, 15));
    EXPECT_FALSE(dialog_.paused());
    EXPECT_EQ(dialog_.direction(), -15);
}

TEST_F(AboutDialogTest, ReleaseWithoutPressSubtractsOnceMore)
{
    const QPoint where = dialog_.mapToGlobal(QPoint(20, 20));
    ASSERT_GT(where.y(), 1);
    SendMouse(&dialog_, QEvent::MouseButtonRelease, where);
    EXPECT_EQ(dialog_.direction(), 1 - where.y());
    Tick();
    EXPECT_EQ(Leading()->y(), 1);
    EXPECT_EQ(Trailing()->y(), 1 - h());
}

TEST_F(AboutDialogTest, PanelDraggedFarAwayReturnsWithinTwoTicks)
{
    Drag(Leading(), {{0, -300}, {0, -900}, {0, -2000}});
    ASSERT_GT(dialog_.direction(), 0);
    Tick(2);
    EXPECT_EQ(Leading()->y(), -1);
    EXPECT_EQ(Trailing()->y(), h() - 1);

    Drag(Leading(), {{0, 500}, {0, 1700}});
    ASSERT_LT(dialog_.direction(), 0);
    Tick(2);
    EXPECT_EQ(Leading()->y(), 1);
    EXPECT_EQ(Trailing()->y(), 1 - h());
}

// Writes the about box with its artwork, the credits a little way into
// their scroll, when KINOVERD_SCREENSHOT_DIR names a folder.
TEST_F(AboutDialogTest, Screenshot)
{
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set KINOVERD_SCREENSHOT_DIR to write about-dialog.png";

    Tick(120);
    const QImage image = Rendered(dialog_);
    EXPECT_TRUE(image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(QDir(folder).filePath(QStringLiteral("about-dialog.png"))));
}

}  // namespace
}  // namespace kinoverd
