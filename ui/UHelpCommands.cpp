#include "UHelpCommands.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

std::function<bool(const QString& pathOrUrl)> DesktopOpener = [](const QString& pathOrUrl) {
    const QUrl url = QFileInfo(pathOrUrl).isAbsolute() ? QUrl::fromLocalFile(pathOrUrl) : QUrl(pathOrUrl);
    return QDesktopServices::openUrl(url);
};

QString HelpDocumentPath(const QString& fileName) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + fileName;
}

QString ProductWebPagePath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/site/index.html");
}

void OpenHelpDocument(QWidget* parent, const QString& fileName) {
    const QString path = HelpDocumentPath(fileName);
    const QString failure = QStringLiteral("不能打开帮助文件") + path + QStringLiteral("\r\n") +
                            QStringLiteral("Can not Open Help File") + path;
    if (QFileInfo(path).isFile()) {
        // A file that is there but cannot be shown (no viewer, damaged file) is not reported.
        (void)DesktopOpener(path);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("系统提示System Hint"), failure, QMessageBox::Ok,
                    parent);
    box.exec();
}

void OpenProductWebPage(QWidget* /*parent*/) {
    // The home page ships beside the executable, so it opens without a network; a page that
    // cannot be opened is not reported.
    (void)DesktopOpener(ProductWebPagePath());
}
