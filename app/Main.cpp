#include "Main.h"

#include "AsUrlLabel.h"
#include "ExceptionDisplay.h"
#include "JpegImage.h"
#include "MessageText.h"
#include "PortSettings.h"
#include "WindowFont.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <system_error>

#ifndef MORVIK2_MAKER_TEXT
#define MORVIK2_MAKER_TEXT ""
#endif
#ifndef MORVIK2_MAKER_URL
#define MORVIK2_MAKER_URL ""
#endif
#ifndef MORVIK2_MAKER_URL_CAPTION
#define MORVIK2_MAKER_URL_CAPTION MORVIK2_MAKER_URL
#endif

// The resources live in a static library: they must be registered by name, outside any
// namespace.
static void RegisterResources() {
    Q_INIT_RESOURCE(morvik2);
}

namespace {

constexpr int FontPixelSize = 11;
constexpr int LinkFontPixelSize = 13;

// A lowered line along the top or the bottom edge of its box, over whatever lies behind.
class TBevel : public QWidget {
public:
    enum Shape { TopLine, BottomLine };

    TBevel(Shape shape, QWidget* parent) : QWidget(parent), shape_(shape) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int y = shape_ == TopLine ? 0 : height() - 2;
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, y, width() - 1, y);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, y + 1, width() - 1, y + 1);
    }

private:
    Shape shape_;
};

struct LabelSpec {
    QLabel* TMainForm::*member;
    int left, top, width, height;
    const char* text;
    bool bold;
};

const LabelSpec Labels[] = {
    {&TMainForm::Label7, 6, 76, 147, 13, "1. Morvik 2 ausschalten ", true},
    {&TMainForm::Label9, 6, 92, 254, 13, "2. PC-Adapter am PC anschließen (-> COM..)", true},
    {&TMainForm::Label5, 6, 108, 231, 13, "3. PC-Adapter am Morvik 2 anschließen", true},
    {&TMainForm::Label6, 22, 124, 101, 13, "(-> Seriell 1 COM)", true},
    {&TMainForm::Label2, 6, 140, 134, 13, "4. COM Port auswählen", true},
    {&TMainForm::Label8, 6, 156, 150, 13, "5. 'Programmieren' klicken", true},
    {&TMainForm::Label10, 6, 172, 144, 13, "6. Morvik 2 einschalten ", true},
    {&TMainForm::Label3, 139, 188, 46, 13, "COM Port", false},
    {&TMainForm::Label4, 8, 232, 18, 13, "Info", false},
    {&TMainForm::Label1, 72, 304, 134, 13, MORVIK2_MAKER_TEXT, false},
};

std::vector<FixedText> LabelTexts() {
    std::vector<FixedText> texts;
    for (const LabelSpec& entry : Labels)
        texts.push_back(
            {QString::fromUtf8(entry.text), QSize(entry.width, entry.height), entry.bold});
    return texts;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

TMainForm::TMainForm(std::unique_ptr<SerialPort> port)
    : port_(port ? std::move(port)
                 : CreateSerialPort([this](const std::string& name) -> std::optional<std::string> {
                       if (!settingsPath_)
                           return std::nullopt;
                       return PortsSectionLookup(*settingsPath_)(name);
                   })),
      programmer_(*this, *port_) {
    RegisterResources();
    CreateControls();
    qApp->installEventFilter(this);
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(275, 338);
    setWindowIcon(QIcon(":/morvik2/icon.png"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QApplication::palette().color(QPalette::Light));
    setPalette(background);
    setAutoFillBackground(true);
    setFont(WindowFont(FontPixelSize, LabelTexts()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Created first, so that everything else lies on top of it.
    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, 276, 345);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFile picture(":/morvik2/background.jpg");
    if (picture.open(QIODevice::ReadOnly)) {
        const QImage image = DecodeJpeg(picture.readAll());
        if (!image.isNull())
            Image1->setPixmap(QPixmap::fromImage(
                image.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }

    for (const LabelSpec& entry : Labels) {
        QLabel* label = new QLabel(QString::fromUtf8(entry.text), this);
        label->setGeometry(entry.left, entry.top, entry.width, entry.height);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        if (entry.bold) {
            QFont bold = font();
            bold.setBold(true);
            label->setFont(bold);
        }
        this->*entry.member = label;
    }

    ComboBox2 = new QComboBox(this);
    ComboBox2->setGeometry(192, 184, 65, 21);
    for (const std::string& name : PortNames())
        ComboBox2->addItem(QString::fromStdString(name));
    connect(ComboBox2, &QComboBox::activated, this, &TMainForm::ComboBox2Change);

    Bevel1 = new TBevel(TBevel::TopLine, this);
    Bevel1->setGeometry(0, 207, 281, 17);

    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(32, 216, 225, 21);
    Edit2->setReadOnly(true);
    Edit2->setEnabled(false);
    Edit2->setFocusPolicy(Qt::NoFocus);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(32, 240, 225, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Button2 = new QPushButton("Programmieren", this);
    Button2->setGeometry(56, 264, 89, 25);
    connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);

    Button3 = new QPushButton("Stop (ESC)", this);
    Button3->setGeometry(160, 264, 73, 25);
    connect(Button3, &QPushButton::clicked, this, &TMainForm::Button3Click);

    Bevel2 = new TBevel(TBevel::BottomLine, this);
    Bevel2->setGeometry(-1, 289, 281, 10);

    AsUrlLabel1 = CreateLinkLabel();

    Timer1 = new QTimer(this);
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    setTabOrder(ComboBox2, Button2);
    setTabOrder(Button2, Edit2);
    setTabOrder(Edit2, ProgressBar1);
    setTabOrder(ProgressBar1, Button3);
    ComboBox2->setFocus();
}

TAsUrlLabel* TMainForm::CreateLinkLabel() {
    auto* link = new TAsUrlLabel(this);
    link->setGeometry(72, 320, 135, 16);
    const QString caption = QString::fromUtf8(MORVIK2_MAKER_URL_CAPTION);
    link->SetCaption(caption);
    link->SetHoverCaption(caption);
    link->SetUrl(QString::fromUtf8(MORVIK2_MAKER_URL));
    TLabelFont normal;
    normal.Font = font();
    normal.Font.setPixelSize(LinkFontPixelSize);
    normal.Font.setUnderline(true);
    normal.Color = Qt::blue;
    link->SetFont(normal);
    TLabelFont hover = normal;
    hover.ClearStyle();
    hover.Color = Qt::red;
    link->SetHoverFont(hover);
    link->SetHoverColor(QApplication::palette().color(QPalette::Button));
    link->SetHoverAlignment(taLeftJustify);
    link->SetHoverLayout(tlTop);
    link->SetTransparent(true);
    return link;
}

void TMainForm::FormCreate() {
    programmer_.Busy = false;
    setWindowTitle(QString::fromUtf8(WindowCaption));
    // Without a working directory (deleted under the program) there is no settings file to
    // read, and none is written anywhere else.
    settingsPath_ = SettingsPathInWorkingDirectory();
    AppDir = settingsPath_
                 ? settingsPath_->substr(0, settingsPath_->size() - SettingsFileName.size())
                 : std::string();
    SettingsFile = std::make_unique<ProfileFile>(
        settingsPath_ ? ProfileFile(*settingsPath_) : ProfileFile::Unavailable(SettingsFileName));
    std::string& port = programmer_.Setup.Port;
    port = settingsPath_ && FileExists(*settingsPath_)
               ? SettingsFile->ReadString("Setup", "Port", "")
               : "COM1";

    int index = PortIndex(port);
    if (index < 0) {
        index = 0;
        port = PortNames().front();
    }
    // Not a user's choice: activated() is not emitted, so ComboBox2Change does not run.
    ComboBox2->setCurrentIndex(index);

    HexFileAvailable = FileExists(FirmwareFileName);
}

bool TMainForm::FormCloseQuery() {
    programmer_.StopRequested = true;
    if (SettingsFile) {
        // Released before the write: even a failed write is not tried a second time.
        const std::unique_ptr<ProfileFile> settings = std::move(SettingsFile);
        try {
            settings->WriteString("Setup", "Port", programmer_.Setup.Port);
        } catch (const std::exception& error) {
            ShowException(this, error);
        }
    }
    programmer_.ReleaseForClose();
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    closed_ = true;
    // A run still on the stack ends the program when it has unwound (Button2Click).
    if (!programmer_.Busy)
        emit EndProgram();
}

void TMainForm::Button2Click() {
    if (!HexFileAvailable) {
        ShowMessage(MessageText::NoFirmwareFile);
        return;
    }
    try {
        programmer_.Programing(FirmwareFileName);
    } catch (const std::exception& error) {
        if (!closed_)
            ShowException(this, error);
    }
    if (closed_ && !programmer_.Busy)
        emit EndProgram();
}

void TMainForm::Button3Click() {
    programmer_.StopRequested = true;
}

void TMainForm::ComboBox2Change(int index) {
    programmer_.StopRequested = true;
    programmer_.Setup.Port = ComboBox2->itemText(index).toStdString();
}

bool TMainForm::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_Escape:
        programmer_.StopRequested = true;
        return false; // passes on like any other key
    case Qt::Key_F10:
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        close();
        return true;
    default:
        return false;
    }
}

void TMainForm::Timer1Timer() {
    Timer1->stop();
}

// Key preview: keys for this window's controls, and for the port list while it is open, come
// here before the control. Keys for the program's message boxes belong to the box alone: Esc
// there dismisses the box and must not stop the run, F10 must not close the window under it.
bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        for (auto* widget = static_cast<QWidget*>(watched); widget;
             widget = widget->parentWidget()) {
            if (widget == this)
                return FormKeyDown(static_cast<QKeyEvent*>(event)->key());
            if (widget->isWindow() && widget->windowType() != Qt::Popup)
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::SetStatus(const std::string& text) {
    Edit2->setText(QString::fromStdString(text));
}

void TMainForm::SetProgress(int percent) {
    ProgressBar1->setValue(percent);
}

void TMainForm::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(WindowCaption),
                    QString::fromStdString(DisplayText(text)), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void TMainForm::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TMainForm::WaitForPacingTimer() {
    Timer1->start();
    while (Timer1->isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TMainForm::Beep() {
    QApplication::beep();
}
