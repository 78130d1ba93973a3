#pragma once
#include <QString>
#include <functional>

class QWidget;

// The help menu's commands that open things outside the program.
//
// OpenHelpDocument: the path is the executable's folder, its separator, and fileName. If a
// file exists there it is handed to the desktop's default opener (result not examined);
// otherwise a warning box with caption "系统提示System Hint" says
// "不能打开帮助文件<path>\r\nCan not Open Help File<path>".
void OpenHelpDocument(QWidget* parent, const QString& fileName);

// Opens the product's web page with the desktop's default opener; nothing is reported.
// The page is the home page shipped beside the executable (ProductWebPagePath()).
void OpenProductWebPage(QWidget* parent);

// The full path OpenHelpDocument looks at: the executable's folder, '/', fileName.
QString HelpDocumentPath(const QString& fileName);

// The shipped home page: the executable's folder followed by "/site/index.html".
QString ProductWebPagePath();

// The seam around the desktop opener: tests replace it to observe what would be opened.
// By default it calls QDesktopServices::openUrl. Returns the opener's result.
extern std::function<bool(const QString& pathOrUrl)> DesktopOpener;
