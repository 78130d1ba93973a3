#pragma once
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

// Runs one command handler. Qt is not exception-safe, so nothing may leave a slot by an
// exception: an escaping std::exception is shown with its message, anything else with an
// empty text. The handler's remaining steps are abandoned; what it changed stays changed.
void RunCommand(QWidget* parent, const std::function<void()>& handler);
