// The window as the user sees it and handles it: controls, keys, stop and port selection.
#include "GuiTestSupport.h"

#include "ControlTable.h"

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
#include <filesystem>
#include <stdexcept>

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

// Every control of the table, built where the table puts it, with its caption and weight.
TEST_F(MainFormTest, EveryControlOfTheTableIsBuiltWithItsPlaceCaptionAndWeight) {
    for (const ControlEntry& entry : Controls()) {
        SCOPED_TRACE(entry.name);
        QWidget* control = form->Control(entry.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->isVisible());
        EXPECT_EQ(control->geometry(), QRect(entry.left, entry.top, entry.width, entry.height));
        if (entry.kind == ControlKind::Label || entry.kind == ControlKind::Button ||
            entry.kind == ControlKind::UrlLabel) {
            EXPECT_EQ(TextOf(control), QString::fromStdString(entry.caption));
            EXPECT_FALSE(TextOf(control).trimmed().isEmpty());
        }
        if (entry.kind == ControlKind::Label) {
            EXPECT_EQ(control->font().bold(), entry.bold);
        }
    }
    // The background picture fills its box and lies behind everything else.
    ASSERT_FALSE(form->Image1->pixmap().isNull());
    EXPECT_EQ(form->Image1->pixmap().size(), QSize(276, 345));
    EXPECT_EQ(form->childAt(100, 30), form->Image1);
    EXPECT_EQ(form->childAt(100, 270), form->Button2);
}

// What the user works with never lies under something else.
TEST_F(MainFormTest, NoTwoControlsOverlapExceptOverTheBackground) {
    std::vector<const ControlEntry*> solid;
    for (const ControlEntry& entry : Controls())
        if (entry.kind != ControlKind::Picture && entry.kind != ControlKind::TopBevel &&
            entry.kind != ControlKind::BottomBevel)
            solid.push_back(&entry);
    for (size_t i = 0; i < solid.size(); ++i)
        for (size_t j = i + 1; j < solid.size(); ++j) {
            const QRect a = form->Control(solid[i]->name)->geometry();
            const QRect b = form->Control(solid[j]->name)->geometry();
            EXPECT_FALSE(a.intersects(b)) << solid[i]->name << " and " << solid[j]->name;
        }
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
    Programmer& program = form->Form().Program();
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
    Programmer& program = form->Form().Program();
    Press(Qt::Key_Down, form->ComboBox2);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM2");
    EXPECT_EQ(program.Setup.Port, "COM2");
    EXPECT_TRUE(program.StopRequested); // a change of the selection stops a run
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, ChoosingAPortAgainStillCountsAsAChange) {
    Programmer& program = form->Form().Program();
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

// An adapter plugged in after start-up shows when the list opens, with its name, in a list as
// wide as that entry; choosing it stores the link that survives replugging.
TEST_F(MainFormTest, AnAdapterPluggedInShowsWhenTheListOpensAndIsStoredByItsStablePath) {
    const std::filesystem::path stable =
        system.UsbConverter("ttyUSB0", "1-1", "FT232R USB UART", "A50285BI");
    const QString shown = QString::fromStdString((system.dev / "ttyUSB0").string()) +
                          QString::fromUtf8(" – FT232R USB UART");
    EXPECT_EQ(form->ComboBox2->count(), 16); // not there at start-up

    form->ComboBox2->showPopup();
    ASSERT_EQ(form->ComboBox2->count(), 17);
    EXPECT_EQ(form->ComboBox2->itemText(16), shown);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1");
    const QFontMetrics metrics(form->ComboBox2->view()->font());
    EXPECT_GT(form->ComboBox2->view()->window()->width(), metrics.horizontalAdvance(shown));
    EXPECT_EQ(form->ComboBox2->size(), QSize(65, 21));
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_End);
    QTest::keyClick(form->ComboBox2->view(), Qt::Key_Return);
    EXPECT_EQ(form->ComboBox2->currentText(), shown);
    EXPECT_EQ(form->ComboBox2->size(), QSize(65, 21));

    form->close();
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=" + stable.string() + "\r\n");
}

TEST_F(MainFormTest, F10ClosesTheWindowLikeTheCloseBox) {
    form->ComboBox2->setCurrentIndex(4); // shown, but not chosen by the user
    Press(Qt::Key_Down, form->ComboBox2);
    Press(Qt::Key_F10, form->Button3);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Form().Program().StopRequested);
    EXPECT_EQ(endProgram, 1);
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=COM6\r\n");
    EXPECT_TRUE(boxes.seen.empty());
}

// The program's own boxes carry no icon; the default exception display has the application
// title and the error icon. Both are modal with one OK button.
TEST_F(MainFormTest, MessageBoxesHaveTheirCaptionsIconsAndOneOkButton) {
    form->Form().ShowMessage(MessageText::NoFirmwareFile);
    form->Form().ShowException(std::runtime_error("Datei nicht gefunden"));
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[0].title, "QV Morvik 2 Softwareupdate");
    EXPECT_EQ(boxes.seen[0].text,
              QString::fromUtf8("Keine hex Datei ausgewählt oder \nDatei existiert nicht!"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes.seen[1].title, "QV Update Morvik 2");
    EXPECT_EQ(boxes.seen[1].text, "Datei nicht gefunden.");
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Critical);
    for (const auto& box : boxes.seen)
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
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
