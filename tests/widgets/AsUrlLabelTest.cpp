#include "AsUrlLabel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Appearance {
    TAlignment alignment;
    QString caption;
    QColor color;
    TLabelFont font;
    TTextLayout layout;

    bool operator==(const Appearance& other) const {
        return alignment == other.alignment && caption == other.caption && color == other.color &&
               font == other.font && layout == other.layout;
    }
};

void PrintTo(const Appearance& a, std::ostream* os) {
    *os << "{align " << a.alignment << ", \"" << a.caption.toStdString() << "\", bg "
        << a.color.name().toStdString() << ", font " << a.font.Font.toString().toStdString() << " "
        << a.font.Color.name().toStdString() << ", layout " << a.layout << "}";
}

Appearance AppearanceOf(const TAsUrlLabel& label) {
    return {label.Alignment(), label.Caption(), label.Color(), label.Font(), label.Layout()};
}

void Enter(TAsUrlLabel& label) {
    const QPointF local(5, 5);
    QEnterEvent event(local, local, label.mapToGlobal(local));
    QCoreApplication::sendEvent(&label, &event);
}

void Leave(TAsUrlLabel& label) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&label, &event);
}

QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// AsUrlLabel1 as the main window sets it up.
void ConfigureLikeMainWindow(TAsUrlLabel& label) {
    label.setGeometry(72, 320, 135, 16);
    label.SetCaption("www.example.org");
    label.SetHoverCaption("www.example.org");
    label.SetUrl("https://www.example.org/");
    TLabelFont font;
    font.Font = QFont("MS Sans Serif");
    font.Font.setPixelSize(13);
    font.Font.setUnderline(true);
    font.Color = Qt::blue;
    label.SetFont(font);
    TLabelFont hover;
    hover.Font = QFont("MS Sans Serif");
    hover.Font.setPixelSize(13);
    hover.Color = Qt::red;
    label.SetHoverFont(hover);
    label.SetHoverColor(ButtonFace());
    label.SetHoverAlignment(taLeftJustify);
    label.SetHoverLayout(tlTop);
    label.SetTransparent(true);
}

int PixelsOfColour(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
        }
    }
    return count;
}

class AsUrlLabelHoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        label.setGeometry(0, 0, 200, 40);
        TLabelFont hover;
        hover.Font = QFont("DejaVu Serif");
        hover.Font.setPixelSize(20);
        hover.Font.setBold(true);
        hover.Font.setItalic(true);
        hover.Color = Qt::magenta;
        label.SetHoverFont(hover);
        label.SetHoverCaption("under the mouse");
        label.SetHoverColor(Qt::green);
        label.SetHoverAlignment(taRightJustify);
        label.SetHoverLayout(tlBottom);
    }

    Appearance Hovered() const {
        return {taRightJustify, "under the mouse", QColor(Qt::green), label.HoverFont(), tlBottom};
    }

    TAsUrlLabel label;
};

TEST_F(AsUrlLabelHoverTest, EnterShowsTheHoverAppearanceAndLeaveRestoresTheOneAtEntry) {
    const Appearance atEntry = AppearanceOf(label);
    ASSERT_FALSE(atEntry == Hovered());

    Enter(label);
    EXPECT_EQ(AppearanceOf(label), Hovered());
    Leave(label);
    EXPECT_EQ(AppearanceOf(label), atEntry);
}

TEST_F(AsUrlLabelHoverTest, LeaveRestoresWhatWasChangedWhileTheMouseWasAway) {
    Enter(label);
    Leave(label);

    label.SetCaption("changed caption");
    TLabelFont font = label.Font();
    font.Font.setPixelSize(17);
    font.Font.setUnderline(false);
    font.Color = Qt::darkCyan;
    label.SetFont(font);
    label.SetAlignment(taCenter);
    label.SetLayout(tlCenter);
    label.SetColor(Qt::yellow);
    const Appearance atEntry = AppearanceOf(label);

    Enter(label);
    EXPECT_EQ(AppearanceOf(label), Hovered());
    Leave(label);
    EXPECT_EQ(AppearanceOf(label), atEntry);
}

TEST_F(AsUrlLabelHoverTest, CallbacksRunBeforeTheAppearanceChanges) {
    const Appearance atEntry = AppearanceOf(label);
    std::vector<Appearance> seenOnEnter;
    std::vector<Appearance> seenOnLeave;
    label.SetOnMouseEnter([&] { seenOnEnter.push_back(AppearanceOf(label)); });
    label.SetOnMouseLeave([&] { seenOnLeave.push_back(AppearanceOf(label)); });

    Enter(label);
    Leave(label);

    ASSERT_EQ(seenOnEnter.size(), 1u);
    ASSERT_EQ(seenOnLeave.size(), 1u);
    EXPECT_EQ(seenOnEnter[0], atEntry);
    EXPECT_EQ(seenOnLeave[0], Hovered());
}

TEST(AsUrlLabelCreationTest, StartsAsABlueUnderlinedLinkWithARedPlainHoverFont) {
    TAsUrlLabel label;
    const TLabelFont font = label.Font();
    EXPECT_EQ(font.Color, QColor(Qt::blue));
    EXPECT_TRUE(font.Font.underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(label.Caption(), label.Url());
    EXPECT_EQ(label.HoverCaption(), label.Url());
    EXPECT_FALSE(label.Url().isEmpty());
    EXPECT_EQ(label.HoverColor(), ButtonFace());
    EXPECT_EQ(label.HoverAlignment(), taLeftJustify);
    EXPECT_EQ(label.HoverLayout(), tlTop);

    const TLabelFont hover = label.HoverFont();
    EXPECT_EQ(hover.Color, QColor(Qt::red));
    EXPECT_FALSE(hover.Font.underline());
    EXPECT_FALSE(hover.Font.bold());
    EXPECT_EQ(hover.Font.family(), font.Font.family());
    EXPECT_EQ(hover.Font.pixelSize(), font.Font.pixelSize());
    EXPECT_EQ(hover.Font.pointSizeF(), font.Font.pointSizeF());
}

TEST(AsUrlLabelMainWindowTest, HoverColourShowsOnlyOnAnOpaqueLabel) {
    QWidget window;
    window.resize(300, 400);
    QPalette background = window.palette();
    background.setColor(QPalette::Window, Qt::yellow);
    window.setPalette(background);
    window.setAutoFillBackground(true);
    auto* label = new TAsUrlLabel(&window);
    ConfigureLikeMainWindow(*label);
    ASSERT_NE(ButtonFace().rgb(), QColor(Qt::yellow).rgb());

    Enter(*label);
    const QImage transparent = window.grab(label->geometry()).toImage();
    EXPECT_EQ(PixelsOfColour(transparent, ButtonFace()), 0);

    label->SetTransparent(false);
    const QImage opaque = window.grab(label->geometry()).toImage();
    EXPECT_GT(PixelsOfColour(opaque, ButtonFace()), opaque.width() * opaque.height() / 2);
}

class AsUrlLabelClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedOpener = TAsUrlLabel::UrlOpener;
        TAsUrlLabel::UrlOpener = [this](const std::string& url) {
            events.push_back("open " + url);
        };
        label.setGeometry(0, 0, 150, 16);
        label.SetOnClick([this] { events.push_back("click"); });
        label.show();
    }
    void TearDown() override { TAsUrlLabel::UrlOpener = savedOpener; }

    TAsUrlLabel::TUrlOpener savedOpener;
    std::vector<std::string> events;
    TAsUrlLabel label;
};

TEST_F(AsUrlLabelClickTest, ClickRunsTheHandlerThenOpensTheTrimmedAddress) {
    // U+0085 and U+009F: the C1 controls count too.
    label.SetUrl(
        QString(" \t\r\n\x01\xc2\x85https://www.example.org/a b?x=1&y=2 \x1f\x7f\xc2\x9f\n"));
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, 8));
    EXPECT_EQ(events,
              (std::vector<std::string>{"click", "open https://www.example.org/a b?x=1&y=2"}));
}

TEST_F(AsUrlLabelClickTest, AnEmptyOrBlankAddressIsStillHandedOver) {
    label.SetUrl("");
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, 8));
    label.SetUrl(" \t ");
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, 8));
    EXPECT_EQ(events, (std::vector<std::string>{"click", "open ", "click", "open "}));
}

TEST_F(AsUrlLabelClickTest, OnlyALeftPressAndReleaseInsideTheLabelIsAClick) {
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(10, 8));
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(10, 8));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(400, 8));
    EXPECT_TRUE(events.empty());

    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(149, 15));
    EXPECT_EQ(events.size(), 2u);
}

} // namespace
