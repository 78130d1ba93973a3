#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// The application title: task bar name and the caption of the error box. Start-up stores it
// as the application name (not the display name, which Qt would append to window captions).
QString ApplicationTitle();
void SetApplicationTitle();

// The application's error box: stop icon, the application name as caption, the message with
// a full stop appended unless it already ends with one (an empty message stays empty). Modal; returns when
// closed.
void ShowErrorBox(QWidget* parent, const QString& message);

// Gives a message box a minimum width at which the window manager can show its caption next
// to the title bar's icon and buttons: QMessageBox sizes itself to its text alone, so a box
// with a short text showed its caption as "···". The width goes into a horizontal spacer of
// the box's grid layout, which QMessageBox keeps when it sizes itself on showing. Call after
// the caption, text and icon are set (setting an icon later rebuilds the layout).
void FitCaption(QMessageBox* box);

// A modal box with one OK button and the given icon, made wide enough for its caption;
// returns when it is closed. name becomes the box's objectName (tests find boxes by it).
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
                    const QString& name = QString());

// Runs one command handler. Qt is not exception-safe, so nothing may leave a slot by an
// exception: an escaping std::exception is shown with its message, anything else with an
// empty text. The handler's remaining steps are abandoned; what it changed stays changed.
void RunCommand(QWidget* parent, const std::function<void()>& handler);
