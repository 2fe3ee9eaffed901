#include "ExceptionDisplay.h"

#include "MessageText.h"

#include <QMessageBox>

void ShowException(QWidget* parent, const std::exception& error) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(ApplicationTitle),
                    QString::fromStdString(ExceptionText(error.what())), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
