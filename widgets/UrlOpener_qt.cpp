#include "UrlOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

void OpenWithDefaultHandler(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromLocal8Bit(url.data(), qsizetype(url.size()))));
}
