#include "UCommandGuard.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <algorithm>
#include <exception>

QString ApplicationTitle() {
    return QStringLiteral("ROZIDUV2高级语言CPU机");
}

void SetApplicationTitle() {
    QCoreApplication::setApplicationName(ApplicationTitle());
}

void FitCaption(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    // The window manager draws the caption in its own font, which the program cannot ask
    // for: measure with the desktop's title font made bold and with the box's font, take
    // the wider, and leave room for the icon, three buttons and the padding of a title bar
    // (about eight line heights).
    QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    title.setBold(true);
    const QFontMetrics titleMetrics(title);
    const QFontMetrics boxMetrics(box->font());
    const QString caption = box->windowTitle();
    const int text = std::max(titleMetrics.horizontalAdvance(caption), boxMetrics.horizontalAdvance(caption));
    const int decoration = 8 * std::max(titleMetrics.height(), boxMetrics.height());
    grid->addItem(new QSpacerItem(text + decoration, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
                    const QString& name) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    if (!name.isEmpty()) box.setObjectName(name);
    FitCaption(&box);
    box.exec();
}

void ShowErrorBox(QWidget* parent, const QString& message) {
    QString text = message;
    // An unknown failure has no message and shows an empty box text.
    if (!text.isEmpty() && !text.endsWith(u'.')) text += u'.';
    ShowMessageBox(parent, QMessageBox::Critical, QCoreApplication::applicationName(), text,
                   QStringLiteral("ErrorBox"));
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
