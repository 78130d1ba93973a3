#pragma once
#include <QString>
#include <functional>

class QWidget;

// The help menu's commands that open things outside the program.
//
// OpenHelpDocument: the path is HelpDocumentPath(fileName). If a file exists there it is handed to the
// desktop's default opener (result not examined); otherwise a warning box with caption "系统提示System Hint"
// says "不能打开帮助文件<path>\r\nCan not Open Help File<path>".
void OpenHelpDocument(QWidget* parent, const QString& fileName);

// Opens the product's web page, the home page shipped beside the executable
// (ProductWebPagePath()): DesktopOpenProgram is started with the page's path as its only
// argument and the window does not wait for it. When the program cannot be started, crashes
// or exits with a status other than 0 (no browser installed, for one), a warning box with
// caption "系统提示System Hint" gives the path so that the user can open it by hand:
// "无法打开网页<path>\r\nCannot open the web page <path>". The box opens with open(), once the
// program has ended, on parent if it still exists.
void OpenProductWebPage(QWidget* parent);

// The program that opens the web page with the user's viewer: "xdg-open", which, unlike
// QDesktopServices::openUrl, reports by its exit status whether a viewer took the page.
// Tests point it at other programs.
extern QString DesktopOpenProgram;

// The full path OpenHelpDocument looks at: the executable's folder, '/', fileName; when no
// file is there but one is in the installed data folder ../share/roziduv2 from the
// executable's folder, that one.
QString HelpDocumentPath(const QString& fileName);

// The shipped home page, site/index.html found the same way as the help documents.
QString ProductWebPagePath();

// The seam around the desktop opener: tests replace it to observe what would be opened.
// By default it calls QDesktopServices::openUrl. Returns the opener's result.
extern std::function<bool(const QString& pathOrUrl)> DesktopOpener;
