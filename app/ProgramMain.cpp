#include "QtMainView.h"

#include <QApplication>

int main(int, char* argv[]) {
    // The command line is not used; Qt gets none of it either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    // The application name only: a display name would be appended to the window caption.
    QApplication::setApplicationName(QString::fromStdString(ApplicationTitle));
    // The window decides when the program ends: not before a run has unwound.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMainView window;
    QObject::connect(&window, &QtMainView::ProgramEnds, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return QApplication::exec();
}
