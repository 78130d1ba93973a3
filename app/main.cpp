// Start-up: application, title, main window, about box, message loop.
#include <QApplication>
#include <exception>

#include "UAboutBox.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
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
