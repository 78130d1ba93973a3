#include "UCommandGuard.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <exception>

QString ApplicationTitle() {
    return QStringLiteral("ROZIDUV2高级语言CPU机");
}

void SetApplicationTitle() {
    QCoreApplication::setApplicationName(ApplicationTitle());
}

void ShowErrorBox(QWidget* parent, const QString& message) {
    QString text = message;
    // An unknown failure has no message and shows an empty box text.
    if (!text.isEmpty() && !text.endsWith(u'.')) text += u'.';
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void RunCommand(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QString());
    }
}
