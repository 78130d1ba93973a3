// Start-up: application, title, main window, about box, message loop.
#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <exception>

#include "UAboutBox.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"

namespace {

// Qt's own words (the file dialog, the boxes' buttons) in Chinese like the rest of the
// window, whatever the desktop's language: the program's texts are fixed and need no
// locale. qtbase holds the widgets' texts; qt_zh_CN, which pulls it in, is the fallback of
// older layouts. Without the translations package the dialogs stay English.
void InstallQtTranslation(QApplication& application) {
    auto* translator = new QTranslator(&application);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"})
        if (translator->load(QString::fromLatin1(name), folder)) {
            QApplication::installTranslator(translator);
            return;
        }
    delete translator;
}

const char Usage[] =
    "usage: roziduv2 [IMAGE]\n"
    "\n"
    "Opens the simulator's window; with IMAGE, a code image (.bin or .zlmbin), that file is\n"
    "opened at the start as the Open command would open it. A C or assembly source (.c, .s,\n"
    ".asm) is offered to be built and its image opened (or opened as raw bytes).\n"
    "Qt's own options (-platform, -style and the like) are taken by the toolkit.\n";

} // namespace

int main(int argc, char* argv[]) {
    // Asked for before a display is needed, so that it also works in a terminal without one.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    QApplication application(argc, argv);
    InstallQtTranslation(application);
    try {
        SetApplicationTitle();
        new TFrmMain; // sets FrmMain
        AboutBox = new TAboutBox(FrmMain);
        AboutBox->hide();
        FrmMain->show();
        // One argument, a code image: opened as the Open command would (a source asks first),
        // once the window has finished showing. Qt's own options are gone from the list by now.
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1) {
            const QString path = QFileInfo(arguments.at(1)).absoluteFilePath();
            QTimer::singleShot(0, FrmMain, [path] { FrmMain->OpenGivenFile(path); });
        }
        QApplication::exec();
    } catch (const std::exception& e) {
        ShowErrorBox(nullptr, QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(nullptr, QString());
    }
    // The window dies before the application object; its destructor ends any run thread
    // before the CPU goes.
    delete FrmMain; // also deletes the about box, its child
    AboutBox = nullptr;
    return 0; // whatever happened: the program's exit code is always 0
}
