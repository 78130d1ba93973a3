#include "UHelpCommands.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QUrl>

#include "UCommandGuard.h"

std::function<bool(const QString& pathOrUrl)> DesktopOpener = [](const QString& pathOrUrl) {
    const QUrl url = QFileInfo(pathOrUrl).isAbsolute() ? QUrl::fromLocalFile(pathOrUrl) : QUrl(pathOrUrl);
    return QDesktopServices::openUrl(url);
};

namespace {

// The build tree keeps the documents beside the executable; an installed program keeps them
// in <prefix>/share/roziduv2 beside <prefix>/bin. Qt resolves the executable's links, so a
// link to the program elsewhere finds them too.
QString SharedFilePath(const QString& relative) {
    const QString here = QCoreApplication::applicationDirPath();
    const QString beside = here + QLatin1Char('/') + relative;
    const QString installed = QDir::cleanPath(here + QStringLiteral("/../share/roziduv2/") + relative);
    return !QFileInfo(beside).isFile() && QFileInfo(installed).isFile() ? installed : beside;
}

} // namespace

QString HelpDocumentPath(const QString& fileName) {
    return SharedFilePath(fileName);
}

QString ProductWebPagePath() {
    return SharedFilePath(QStringLiteral("site/index.html"));
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
    ShowMessageBox(parent, QMessageBox::Warning, QStringLiteral("系统提示System Hint"), failure);
}

QString DesktopOpenProgram = QStringLiteral("xdg-open");

void OpenProductWebPage(QWidget* parent) {
    // The home page ships beside the executable, so it opens without a network.
    const QString path = ProductWebPagePath();
    const QPointer<QWidget> owner(parent);
    auto* process = new QProcess(QCoreApplication::instance());
    const auto report = [owner, path] {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("系统提示System Hint"),
                                    QStringLiteral("无法打开网页") + path +
                                        QStringLiteral("\r\nCannot open the web page ") + path,
                                    QMessageBox::Ok, owner);
        box->setObjectName(QStringLiteral("WebPageFailed"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        FitCaption(box);
        box->open();
    };
    // A crash is reported by finished, not by errorOccurred, so that it is reported once.
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, report](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         report();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, report](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0) report();
                         process->deleteLater();
                     });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(DesktopOpenProgram, {path});
}
