#pragma once
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

// Closes the next real modal message box from a timer and records what it showed, so a
// test can press a button whose handler opens a box with exec().
struct TBoxCloser {
    bool Seen = false;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;

    // Runs action (which may open one modal box) and closes the box it opens.
    void Run(const std::function<void()>& action) {
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this, &timer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            Seen = true;
            Title = box->windowTitle();
            Text = box->text();
            Icon = box->icon();
            timer.stop();
            box->accept();
        });
        timer.start();
        action();
        timer.stop();
    }
};
