#include "USourceBuild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <unistd.h>

#ifndef ROZ_INSTALL_BINDIR
#define ROZ_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace {

bool IsAssembly(const QString& source) {
    const QString suffix = QFileInfo(source).suffix().toLower();
    return suffix == QLatin1String("s") || suffix == QLatin1String("asm");
}

// C programs are compiled for the machine's memory, at least this much; one that needs more
// is compiled for what it needs (--grow-memory), and Open then offers that size from its .dbg.
constexpr int64_t SmallestCompiledMemory = 10000;

TSourceBuild::TMessage Plain(const QString& text) {
    TSourceBuild::TMessage message;
    message.Text = text;
    return message;
}

} // namespace

std::vector<TSourceBuild::TMessage> TSourceBuild::ParseMessages(const QString& output) {
    static const QRegularExpression diagnostic(
        QStringLiteral("^(.+?):(\\d+):(?:(\\d+):)? (error|warning|note|fatal error): "));
    std::vector<TMessage> messages;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        QString text = line;
        if (text.endsWith(QLatin1Char('\r'))) text.chop(1);
        if (text.trimmed().isEmpty()) continue;
        const QRegularExpressionMatch match = diagnostic.match(text);
        if (!match.hasMatch() && !messages.empty() && !messages.back().Severity.isEmpty()) {
            TMessage& last = messages.back();
            last.Detail += (last.Detail.isEmpty() ? QString() : QStringLiteral("\n")) + text;
            continue;
        }
        TMessage message;
        message.Text = text;
        if (match.hasMatch()) {
            message.File = match.captured(1);
            message.Line = match.captured(2).toInt();
            message.Column = match.captured(3).toInt();
            message.Severity = match.captured(4);
        }
        messages.push_back(std::move(message));
    }
    return messages;
}

QString TSourceBuild::FindTool(const QString& name, const QString& appDir, QStringList* looked) {
    const QStringList folders = {appDir, appDir + QStringLiteral("/../asm"),
                                 appDir + QStringLiteral("/../cc"), QStringLiteral(ROZ_INSTALL_BINDIR)};
    for (const QString& folder : folders) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
        if (looked) looked->append(path);
        const QFileInfo file(path);
        if (file.isFile() && file.isExecutable()) return path;
    }
    return QString();
}

QString TSourceBuild::ImagePathOf(const QString& source) {
    const QFileInfo file(source);
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".bin"));
}

TSourceBuild::TSourceBuild(QObject* parent)
    : QObject(parent), AppDir(QCoreApplication::applicationDirPath()) {}

TSourceBuild::~TSourceBuild() {
    if (!FProcess) return;
    FProcess->disconnect(this);
    Cancel();
    FProcess->waitForFinished(2000);
}

bool TSourceBuild::Start(const QString& source, int64_t memorySize) {
    if (FProcess) return false;
    FSource = source;
    FImage = ImagePathOf(source);
    FCancelled = false;
    const QString tool = IsAssembly(source) ? QStringLiteral("roziduv2-asm") : QStringLiteral("roziduv2-cc");
    QStringList looked;
    const QString program = FindTool(tool, AppDir, &looked);
    auto fail = [this](const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, message = Plain(text)] { emit Finished(false, FSource, FImage, {message}); },
            Qt::QueuedConnection);
        return false;
    };
    if (!QFileInfo(source).isFile())
        return fail(QStringLiteral("找不到源程序Cannot find the source: ") + source);
    if (program.isEmpty())
        return fail(QStringLiteral("找不到%1 Cannot find %1; looked for ").arg(tool) +
                    looked.join(QStringLiteral(", ")));

    QStringList arguments{source, QStringLiteral("-o"), FImage};
    if (!IsAssembly(source))
        arguments << QStringLiteral("--memory-size")
                  << QString::number(std::max(memorySize, SmallestCompiledMemory))
                  << QStringLiteral("--grow-memory");
    FProcess = new QProcess(this);
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->setWorkingDirectory(QFileInfo(source).absolutePath());
    // Its own process group, so that Cancel also ends the clang it runs.
    FProcess->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(FProcess, &QProcess::errorOccurred, this, [this, program](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        Done(false, {Plain(QStringLiteral("无法启动Cannot start ") + program + QStringLiteral(": ") +
                           FProcess->errorString())});
    });
    connect(FProcess, &QProcess::finished, this, [this, program](int exitCode, QProcess::ExitStatus status) {
        std::vector<TMessage> messages = ParseMessages(QString::fromUtf8(FProcess->readAll()));
        const bool ok = !FCancelled && status == QProcess::NormalExit && exitCode == 0;
        if (FCancelled)
            messages.push_back(Plain(QStringLiteral("编译已取消。The build was cancelled.")));
        else if (status != QProcess::NormalExit)
            messages.push_back(Plain(program + QStringLiteral(" 异常结束crashed")));
        else if (!ok && messages.empty())
            messages.push_back(Plain(program + QStringLiteral(" exit status ") + QString::number(exitCode)));
        Done(ok, std::move(messages));
    });
    FProcess->start(program, arguments);
    return true;
}

void TSourceBuild::Cancel() {
    if (!FProcess) return;
    FCancelled = true;
    const qint64 pid = FProcess->processId();
    if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
    FProcess->kill();
}

void TSourceBuild::Done(bool ok, std::vector<TMessage> messages) {
    if (!FProcess) return;
    FProcess->deleteLater();
    FProcess = nullptr;
    emit Finished(ok, FSource, FImage, messages);
}
