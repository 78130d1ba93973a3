#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <functional>

// Answers the real modal dialogs that a command opens with exec(): the file dialog gets
// FileToChoose (an empty name cancels it), each message box is recorded and closed with OK
// (or with Answer, when the box has that button).
struct TModalDriver {
    struct TBox {
        QString Name, Title, Text;
        QMessageBox::Icon Icon;
    };
    QString FileToChoose;
    QMessageBox::StandardButton Answer = QMessageBox::NoButton;
    bool DialogSeen = false;
    QList<TBox> Boxes;

    void Run(const std::function<void()>& action) {
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                DialogSeen = true;
                if (FileToChoose.isEmpty()) return dialog->reject();
                // Typed as a user would: selectFile waits for the directory to be read.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!name) return;
                name->setText(FileToChoose);
                static_cast<QDialog*>(dialog)->accept(); // the dialog's own accept, which checks the file
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                Boxes.append({box->objectName(), box->windowTitle(), box->text(), box->icon()});
                if (QAbstractButton* button = box->button(Answer)) return button->click();
                box->accept();
            }
        });
        timer.start();
        action();
    }
};

// The box a run thread's report opened with open() (it does not block), once it is shown.
inline QMessageBox* WaitForRunBox(const QString& name, int timeoutMs = 5000) {
    QMessageBox* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w);
                    box && box->isVisible() && box->objectName() == name)
                    found = box;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}
