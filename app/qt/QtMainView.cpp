// The window's Qt view: controls from the control table, events to TMainForm.
#include "QtMainView.h"

#include "ControlTable.h"
#include "JpegImage.h"
#include "QtWindowFont.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <functional>

// The resources live in a static library: they must be registered by name, outside any
// namespace.
static void RegisterResources() {
    Q_INIT_RESOURCE(morvik2);
}

namespace {

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

std::vector<FixedText> LabelTexts() {
    std::vector<FixedText> texts;
    for (const ControlEntry& entry : Controls())
        if (entry.kind == ControlKind::Label)
            texts.push_back({QString::fromStdString(entry.caption),
                             QSize(entry.width, entry.height), entry.bold});
    return texts;
}

// The port list, built anew each time it opens.
class TPortBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;

    void showPopup() override {
        if (onDropDown)
            onDropDown();
        QComboBox::showPopup();
    }
};

// The virtual key code of a Qt key, for the keys the window acts on; 0 for the others.
int VirtualKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Escape:
        return VkEscape;
    case Qt::Key_F10:
        return VkF10;
    default:
        return 0;
    }
}

} // namespace

QtMainView::QtMainView(std::unique_ptr<SerialPort> port,
                       TMainForm::PortEnumeration enumeratePorts) {
    RegisterResources();
    CreateControls();
    form_ = std::make_unique<TMainForm>(*this, std::move(port), std::move(enumeratePorts));
    qApp->installEventFilter(this);
    form_->FormCreate();
}

QtMainView::~QtMainView() {
    qApp->removeEventFilter(this);
}

QWidget* QtMainView::Control(const std::string& name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

void QtMainView::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setWindowIcon(QIcon(":/morvik2/icon.png"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QApplication::palette().color(QPalette::Light));
    setPalette(background);
    setAutoFillBackground(true);
    setAcceptDrops(true);
    setFont(WindowFont(FontPixelHeight, LabelTexts()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const ControlEntry& entry : Controls()) {
        QWidget* control = CreateControl(entry);
        control->setGeometry(entry.left, entry.top, entry.width, entry.height);
        controls_[entry.name] = control;
        if (entry.tabOrder >= 0)
            tabOrder.emplace_back(entry.tabOrder, control);
    }
    std::sort(tabOrder.begin(), tabOrder.end());
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);

    // The reset and closing pulses last one whole period: a coarse timer may fire 5 % early.
    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(Timer1Interval);
    connect(Timer1, &QTimer::timeout, this, [this] { form_->Timer1Timer(); });
    ComboBox2->setFocus();
}

QWidget* QtMainView::CreateControl(const ControlEntry& entry) {
    const QString caption = QString::fromStdString(entry.caption);
    switch (entry.kind) {
    case ControlKind::Picture:
        Image1 = CreatePicture(entry);
        return Image1;
    case ControlKind::Label: {
        auto* label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        if (entry.bold) {
            QFont bold = font();
            bold.setBold(true);
            label->setFont(bold);
        }
        return label;
    }
    case ControlKind::ComboBox: {
        auto* box = new TPortBox(this);
        box->onDropDown = [this] { form_->ComboBox2DropDown(); };
        ComboBox2 = box;
        connect(ComboBox2, &QComboBox::activated, this,
                [this](int index) { form_->ComboBox2Change(index); });
        return ComboBox2;
    }
    case ControlKind::TopBevel:
        return new TBevel(TBevel::TopLine, this);
    case ControlKind::BottomBevel:
        return new TBevel(TBevel::BottomLine, this);
    case ControlKind::StatusEdit:
        Edit2 = CreateStatusEdit();
        return Edit2;
    case ControlKind::ProgressBar:
        ProgressBar1 = new QProgressBar(this);
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(0);
        ProgressBar1->setTextVisible(false);
        return ProgressBar1;
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, this);
        const bool programme = std::string(entry.name) == "Button2";
        (programme ? Button2 : Button3) = button;
        connect(button, &QPushButton::clicked, this, [this, programme] {
            if (programme)
                form_->Button2Click();
            else
                form_->Button3Click();
        });
        return button;
    }
    case ControlKind::UrlLabel:
        AsUrlLabel1 = CreateLinkLabel();
        return AsUrlLabel1;
    }
    return nullptr;
}

QLabel* QtMainView::CreatePicture(const ControlEntry& entry) {
    auto* picture = new QLabel(this);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFile file(":/morvik2/background.jpg");
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray data = file.readAll();
        const DecodedImage decoded =
            DecodeJpeg(reinterpret_cast<const unsigned char*>(data.constData()),
                       static_cast<std::size_t>(data.size()));
        const QImage image = decoded.IsNull()
                                 ? QImage()
                                 : QImage(reinterpret_cast<const uchar*>(decoded.pixels.data()),
                                          decoded.width, decoded.height, QImage::Format_RGB32)
                                       .copy();
        if (!image.isNull())
            picture->setPixmap(QPixmap::fromImage(image.scaled(
                entry.width, entry.height, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    return picture;
}

QLineEdit* QtMainView::CreateStatusEdit() {
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(true);
    edit->setEnabled(false);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAcceptDrops(false); // a file dropped there is for the window
    // Greyed, yet to be read: the style's own grey gives 1.6:1 on the field, this one 6:1 on its
    // #EFEFEF and still 4.5:1 on a field as dark as #D0D0D0.
    QPalette readable = edit->palette();
    readable.setColor(QPalette::Disabled, QPalette::Text, QColor(0x59, 0x59, 0x59));
    edit->setPalette(readable);
    return edit;
}

TAsUrlLabel* QtMainView::CreateLinkLabel() {
    auto* link = new TAsUrlLabel(this);
    const QString caption = QString::fromStdString(MakerUrlCaption());
    link->SetCaption(caption);
    link->SetHoverCaption(caption);
    link->SetUrl(QString::fromStdString(MakerUrl()));
    TLabelFont normal;
    normal.Font = font();
    normal.Font.setPixelSize(LinkFontPixelHeight);
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

std::string QtMainView::DraggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls()[0].isLocalFile())
        return {};
    return data->urls()[0].toLocalFile().toStdString();
}

void QtMainView::dragEnterEvent(QDragEnterEvent* event) {
    if (form_->AcceptsDrop() && !DraggedFile(event->mimeData()).empty())
        event->acceptProposedAction();
}

void QtMainView::dragMoveEvent(QDragMoveEvent* event) {
    if (form_->AcceptsDrop() && !DraggedFile(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void QtMainView::dropEvent(QDropEvent* event) {
    const std::string file = DraggedFile(event->mimeData());
    if (!file.empty() && form_->FileDropped(file))
        event->acceptProposedAction();
}

void QtMainView::closeEvent(QCloseEvent* event) {
    if (!form_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    form_->FormClose();
}

// Key preview: keys for this window's controls, and for the port list while it is open, come
// here before the control. Keys for the program's message boxes belong to the box alone: Esc
// there dismisses the box and must not stop the run, F10 must not close the window under it.
bool QtMainView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        for (auto* widget = static_cast<QWidget*>(watched); widget;
             widget = widget->parentWidget()) {
            if (widget == this)
                return form_->FormKeyDown(VirtualKey(static_cast<QKeyEvent*>(event)->key()));
            if (widget->isWindow() && widget->windowType() != Qt::Popup)
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QtMainView::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtMainView::SetStatusText(const std::string& text) {
    Edit2->setText(QString::fromStdString(text));
}

void QtMainView::SetStatusToolTip(const std::string& text) {
    Edit2->setToolTip(QString::fromStdString(text));
}

void QtMainView::SetProgress(int percent) {
    ProgressBar1->setValue(percent);
}

void QtMainView::SetPorts(const std::vector<std::string>& names) {
    ComboBox2->clear();
    for (const std::string& name : names)
        ComboBox2->addItem(QString::fromStdString(name));
    // The open list is as wide as its longest entry; the closed box keeps its size.
    ComboBox2->view()->setMinimumWidth(ComboBox2->view()->sizeHintForColumn(0) +
                                       ComboBox2->view()->verticalScrollBar()->sizeHint().width());
}

void QtMainView::SelectPort(int index) {
    ComboBox2->setCurrentIndex(index); // activated() is for the user's choice only
}

void QtMainView::ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon) {
    QMessageBox box(icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::optional<std::string> QtMainView::ChooseFile(const FileDialog& dialog) {
    QStringList filters;
    for (const FileDialog::Filter& filter : dialog.filters)
        filters << QString::fromStdString(filter.name); // Qt reads the pattern from the name
    const QString file =
        QFileDialog::getOpenFileName(this, QString::fromStdString(dialog.title),
                                     QString::fromStdString(dialog.folder), filters.join(";;"));
    if (file.isEmpty())
        return std::nullopt;
    return file.toStdString();
}

void QtMainView::ProcessMessages() {
    QCoreApplication::processEvents();
}

void QtMainView::WaitForMessages() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtMainView::SetTimer1(bool enabled) {
    if (enabled)
        Timer1->start();
    else
        Timer1->stop();
}

void QtMainView::Beep() {
    QApplication::beep();
}

void QtMainView::CloseWindow() {
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    close();
}

void QtMainView::EndProgram() {
    emit ProgramEnds();
}
