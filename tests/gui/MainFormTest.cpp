// The window as the user sees it and handles it: controls, keys, stop and port selection.
#include "GuiTestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class MainFormTest : public FormTest {
protected:
    void SetUp() override { Start(); }

    // Presses a key on whatever control has the focus, as the keyboard does.
    void Press(Qt::Key key, QWidget* target = nullptr) {
        QTest::keyClick(target ? target : form->focusWidget(), key);
    }
};

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(control))
        return button->text();
    return {};
}

TEST_F(MainFormTest, ControlsStandWhereTheWindowLayoutPutsThemWithTheirTexts) {
    const struct {
        const char* name;
        QWidget* control;
        QRect geometry;
        const char* text;
    } controls[] = {
        {"Image1", form->Image1, {0, 0, 276, 345}, nullptr},
        {"Label7", form->Label7, {6, 76, 147, 13}, "1. Morvik 2 ausschalten "},
        {"Label9", form->Label9, {6, 92, 254, 13}, "2. PC-Adapter am PC anschließen (-> COM..)"},
        {"Label5", form->Label5, {6, 108, 231, 13}, "3. PC-Adapter am Morvik 2 anschließen"},
        {"Label6", form->Label6, {22, 124, 101, 13}, "(-> Seriell 1 COM)"},
        {"Label2", form->Label2, {6, 140, 134, 13}, "4. COM Port auswählen"},
        {"Label8", form->Label8, {6, 156, 150, 13}, "5. 'Programmieren' klicken"},
        {"Label10", form->Label10, {6, 172, 144, 13}, "6. Morvik 2 einschalten "},
        {"Label3", form->Label3, {139, 188, 46, 13}, "COM Port"},
        {"ComboBox2", form->ComboBox2, {192, 184, 65, 21}, nullptr},
        {"Bevel1", form->Bevel1, {0, 207, 281, 17}, nullptr},
        {"Edit2", form->Edit2, {32, 216, 225, 21}, nullptr},
        {"Label4", form->Label4, {8, 232, 18, 13}, "Info"},
        {"ProgressBar1", form->ProgressBar1, {32, 240, 225, 16}, nullptr},
        {"Button2", form->Button2, {56, 264, 89, 25}, "Programmieren"},
        {"Button3", form->Button3, {160, 264, 73, 25}, "Stop (ESC)"},
        {"Bevel2", form->Bevel2, {-1, 289, 281, 10}, nullptr},
        {"Label1", form->Label1, {72, 304, 134, 13}, nullptr},
        {"AsUrlLabel1", form->AsUrlLabel1, {72, 320, 135, 16}, nullptr},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.control, nullptr);
        EXPECT_TRUE(c.control->isVisible());
        EXPECT_EQ(c.control->geometry(), c.geometry);
        if (c.text) {
            EXPECT_EQ(TextOf(c.control), QString::fromUtf8(c.text));
        }
    }
    // The step labels are bold, the others are not.
    for (QLabel* step : {form->Label7, form->Label9, form->Label5, form->Label6, form->Label2,
                         form->Label8, form->Label10})
        EXPECT_TRUE(step->font().bold()) << step->text().toStdString();
    for (QLabel* plain : {form->Label3, form->Label4, form->Label1})
        EXPECT_FALSE(plain->font().bold()) << plain->text().toStdString();
    EXPECT_FALSE(form->Label1->text().trimmed().isEmpty());
    EXPECT_FALSE(form->AsUrlLabel1->text().trimmed().isEmpty());

    // The background picture fills its box; the picture lies behind everything else.
    ASSERT_FALSE(form->Image1->pixmap().isNull());
    EXPECT_EQ(form->Image1->pixmap().size(), QSize(276, 345));
    EXPECT_EQ(form->childAt(100, 30), form->Image1);
    EXPECT_EQ(form->childAt(100, 270), form->Button2);
}

TEST_F(MainFormTest, WindowHasItsCaptionFixedSizeAndOnlyAMinimiseBox) {
    EXPECT_EQ(form->windowTitle(), "QV Morvik 2 Softwareupdate");
    EXPECT_EQ(form->size(), QSize(275, 338));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->windowIcon().availableSizes().value(0), QSize(32, 32));
    EXPECT_EQ(form->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Light));
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 250);
}

TEST_F(MainFormTest, EveryLabelShowsItsWholeText) {
    for (QLabel* label : form->findChildren<QLabel*>()) {
        // The link is a component of its own, with its own font.
        if (label == form->AsUrlLabel1 || label->text().trimmed().isEmpty())
            continue;
        SCOPED_TRACE(label->text().toStdString());
        const QFontMetrics metrics(label->font());
        const QRect ink = metrics.tightBoundingRect(label->text()).translated(0, metrics.ascent());
        EXPECT_TRUE(label->contentsRect().contains(ink))
            << "ink " << ink.left() << ".." << ink.right() << " x " << ink.top() << ".."
            << ink.bottom() << " in a box of " << label->width() << " x " << label->height() << " ("
            << label->font().family().toStdString() << ")";
    }
    EXPECT_EQ(form->font().pixelSize(), 11);
}

TEST_F(MainFormTest, PortSelectorOffersCom1ToCom16AndNoFreeText) {
    ASSERT_EQ(form->ComboBox2->count(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(form->ComboBox2->itemText(i), QString("COM%1").arg(i + 1));
    EXPECT_FALSE(form->ComboBox2->isEditable());
}

TEST_F(MainFormTest, StatusLineIsReadOnlyAndTabSkipsIt) {
    EXPECT_FALSE(form->Edit2->isEnabled());
    EXPECT_TRUE(form->Edit2->text().isEmpty());
    EXPECT_EQ(form->ProgressBar1->minimum(), 0);
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
    EXPECT_EQ(form->ProgressBar1->value(), 0);

    EXPECT_EQ(form->focusWidget(), form->ComboBox2);
    Press(Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), form->Button2);
    Press(Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), form->Button3);
    Press(Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), form->ComboBox2);
    Press(Qt::Key_Backtab);
    EXPECT_EQ(form->focusWidget(), form->Button3);
}

TEST_F(MainFormTest, EscAndTheStopButtonRequestAStop) {
    Programmer& program = form->Program();
    Press(Qt::Key_Escape, form->ComboBox2);
    EXPECT_TRUE(program.StopRequested);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1"); // the key did nothing else

    program.StopRequested = false;
    Press(Qt::Key_Escape, form->Button2);
    EXPECT_TRUE(program.StopRequested);
    EXPECT_TRUE(boxes.seen.empty()); // Esc on the programme button does not start a run

    // With the port list open, Esc stops and closes the list, choosing nothing.
    program.StopRequested = false;
    form->ComboBox2->showPopup();
    ASSERT_TRUE(form->ComboBox2->view()->isVisible());
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_Down);
    Press(Qt::Key_Escape, form->ComboBox2->view());
    EXPECT_TRUE(program.StopRequested);
    EXPECT_FALSE(form->ComboBox2->view()->isVisible());
    EXPECT_EQ(program.Setup.Port, "COM1");

    program.StopRequested = false;
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    EXPECT_TRUE(program.StopRequested);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, OtherKeysReachTheFocusedControl) {
    Programmer& program = form->Program();
    Press(Qt::Key_Down, form->ComboBox2);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM2");
    EXPECT_EQ(program.Setup.Port, "COM2");
    EXPECT_TRUE(program.StopRequested); // a change of the selection stops a run
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, ChoosingAPortAgainStillCountsAsAChange) {
    Programmer& program = form->Program();
    ASSERT_FALSE(program.StopRequested);

    form->ComboBox2->showPopup();
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_Return);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1");
    EXPECT_TRUE(program.StopRequested);
    EXPECT_EQ(program.Setup.Port, "COM1");

    program.StopRequested = false;
    form->ComboBox2->showPopup();
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_End);
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_Return);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM16");
    EXPECT_EQ(program.Setup.Port, "COM16");
    EXPECT_TRUE(program.StopRequested);
}

TEST_F(MainFormTest, F10ClosesTheWindowLikeTheCloseBox) {
    form->ComboBox2->setCurrentIndex(4); // shown, but not chosen by the user
    Press(Qt::Key_Down, form->ComboBox2);
    Press(Qt::Key_F10, form->Button3);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Program().StopRequested);
    EXPECT_EQ(endProgram, 1);
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=COM6\r\n");
    EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(MainFormTest, MakersLinkTurnsRedUnderTheMouseAndOpensItsAddress) {
    TAsUrlLabel* link = form->AsUrlLabel1;
    const TLabelFont atRest = link->Font();
    EXPECT_EQ(atRest.Color, QColor(Qt::blue));
    EXPECT_TRUE(atRest.Font.underline());
    EXPECT_TRUE(link->Transparent());
    const QString caption = link->text();

    const QPointF inside(5, 5);
    QEnterEvent enter(inside, inside, link->mapToGlobal(inside));
    QCoreApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->Font().Color, QColor(Qt::red));
    EXPECT_FALSE(link->Font().Font.underline());
    EXPECT_FALSE(link->Font().Font.bold());
    EXPECT_EQ(link->Font().Font.family(), atRest.Font.family());
    EXPECT_EQ(link->Font().Font.pixelSize(), 13);
    EXPECT_EQ(link->text(), caption);
    EXPECT_EQ(link->geometry(), QRect(72, 320, 135, 16));

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->Font(), atRest);

    std::vector<std::string> opened;
    const auto savedOpener = TAsUrlLabel::UrlOpener;
    TAsUrlLabel::UrlOpener = [&](const std::string& url) { opened.push_back(url); };
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
    TAsUrlLabel::UrlOpener = savedOpener;
    EXPECT_EQ(opened, std::vector<std::string>{MORVIK2_MAKER_URL});
}

} // namespace
