// Links opened through Qt's desktop services.
#include "UrlOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

void OpenWithDefaultHandler(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(url.data(), qsizetype(url.size()))));
}
