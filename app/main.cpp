// Start-up: application, title, main window, about box, message loop.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
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

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    InstallQtTranslation(application);
    try {
        SetApplicationTitle();
        new TFrmMain; // sets FrmMain
        AboutBox = new TAboutBox(FrmMain);
        AboutBox->hide();
        FrmMain->show();
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
