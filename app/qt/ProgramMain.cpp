// morvik2-update on Linux: the command line, then the Qt window.
#include "CommandLine.h"
#include "QtMainView.h"
#include "UserFolder.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    const WindowCommandLine line = ParseWindowCommandLine({argv + 1, argv + argc});
    switch (line.action) {
    case WindowCommandLine::Action::Help:
        std::fputs(WindowUsage().c_str(), stdout);
        return 0;
    case WindowCommandLine::Action::Version:
        std::printf("%s\n", WindowVersion().c_str());
        return 0;
    case WindowCommandLine::Action::UsageError:
        std::fprintf(stderr, "morvik2-update: %s\n\n%s", line.error.c_str(), WindowUsage().c_str());
        return WindowUsageExitStatus;
    case WindowCommandLine::Action::Open:
        break;
    }
    // Before the window reads MV2.ini; on failure the working directory serves, as without it.
    const std::optional<std::string> folderProblem =
        line.userFolder ? EnterUserFolder() : std::nullopt;

    // Qt gets none of the command line.
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
    if (!line.file.empty())
        window.Form().ChooseFirmwareFile(line.file);
    window.show();
    if (folderProblem)
        window.ShowMessageBox(WindowCaption, *folderProblem, MainView::BoxIcon::Error);
    return QApplication::exec();
}
