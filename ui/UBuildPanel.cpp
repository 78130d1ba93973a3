#include "UBuildPanel.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include "UWindowParts.h"

TBuildPanel::TBuildPanel(QWidget* parent) : QWidget(parent), FBuild(new TSourceBuild(this)) {
    Bar = new QWidget;
    Bar->setObjectName(QStringLiteral("BuildBar"));
    auto* bar = new QHBoxLayout(Bar);
    bar->setContentsMargins(0, 0, 0, 0);
    BtnOpenSource = Named(new QPushButton(QStringLiteral("打开源程序…")), "BtnOpenSource");
    BtnOpenSource->setToolTip(
        QStringLiteral("编译并打开C或汇编源程序 Build and open a C or assembly source (Ctrl+Shift+O)"));
    BtnRebuild = Named(new QPushButton(QStringLiteral("重新编译")), "BtnRebuild");
    BtnRebuild->setToolTip(QStringLiteral("重新编译上一个源程序 Build the last source again (Ctrl+B)"));
    BuildBusy = Named(new QProgressBar, "BuildBusy");
    BuildBusy->setRange(0, 0); // no steps to count: the bar moves while the tool runs
    BuildBusy->setFixedWidth(90);
    BuildBusy->setTextVisible(false);
    BtnCancelBuild = Named(new QPushButton(QStringLiteral("取消Cancel")), "BtnCancelBuild");
    for (QWidget* widget : {static_cast<QWidget*>(BtnOpenSource), static_cast<QWidget*>(BtnRebuild),
                            static_cast<QWidget*>(BuildBusy), static_cast<QWidget*>(BtnCancelBuild)})
        bar->addWidget(widget);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    BuildStatus = Named(new QLabel(QStringLiteral("尚未编译。No build yet.")), "BuildStatus");
    BuildStatus->setWordWrap(true);
    auto* split = new QSplitter(Qt::Vertical);
    BuildMessages = Named(new QListWidget, "BuildMessages");
    BuildMessages->setWordWrap(true);
    BuildSourceView = Named(new QPlainTextEdit, "BuildSourceView");
    BuildSourceView->setReadOnly(true);
    BuildSourceView->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(12);
    BuildSourceView->setFont(fixed);
    split->addWidget(BuildMessages);
    split->addWidget(BuildSourceView);
    layout->addWidget(BuildStatus);
    layout->addWidget(split, 1);

    OpenSourceDlg = MakeOpenFileDialog(
        this, "OpenSourceDlg", QStringLiteral("c"),
        {QStringLiteral("C或汇编源程序(*.c *.s) (*.c *.s *.asm)"), QStringLiteral("C源程序(*.c) (*.c)"),
         QStringLiteral("汇编源程序(*.s) (*.s *.asm)"), QStringLiteral("所有文件(*.*) (*)")});
    OpenSourceDlg->setWindowTitle(QStringLiteral("打开源程序Open a source"));

    connect(BtnOpenSource, &QPushButton::clicked, this, &TBuildPanel::OpenSource);
    connect(BtnRebuild, &QPushButton::clicked, this, &TBuildPanel::Rebuild);
    connect(BtnCancelBuild, &QPushButton::clicked, FBuild, &TSourceBuild::Cancel);
    connect(FBuild, &TSourceBuild::Finished, this, &TBuildPanel::Finished);
    connect(BuildMessages, &QListWidget::currentRowChanged, this, &TBuildPanel::ShowPlace);
    connect(BuildMessages, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowPlace(BuildMessages->row(item)); });
    SetBusy(false);
}

void TBuildPanel::OpenSource() {
    if (FBuild->Running()) return;
    if (!FLastSource.isEmpty()) OpenSourceDlg->setDirectory(QFileInfo(FLastSource).absolutePath());
    if (OpenSourceDlg->exec() != QDialog::Accepted) return;
    const QString path = OpenSourceDlg->selectedFiles().value(0);
    if (!path.isEmpty()) BuildSource(QDir::toNativeSeparators(path));
}

void TBuildPanel::Rebuild() {
    if (FLastSource.isEmpty()) return OpenSource();
    BuildSource(FLastSource);
}

void TBuildPanel::BuildSource(const QString& source) {
    if (FBuild->Running()) return;
    FLastSource = QFileInfo(source).absoluteFilePath();
    FMessages.clear();
    BuildMessages->clear();
    BuildSourceView->clear();
    BuildStatus->setText(QStringLiteral("正在编译Building ") + FLastSource + QStringLiteral(" …"));
    SetBusy(true);
    FBuild->Start(FLastSource, MemorySize ? MemorySize() : 0);
}

void TBuildPanel::Finished(bool ok, const QString& source, const QString& image,
                           const std::vector<TSourceBuild::TMessage>& messages) {
    SetBusy(false);
    FMessages = messages;
    BuildMessages->clear();
    for (const TSourceBuild::TMessage& message : FMessages) {
        auto* item = new QListWidgetItem(message.Text, BuildMessages);
        if (!message.Detail.isEmpty()) item->setToolTip(message.Detail);
        if (message.Severity.contains(QLatin1String("error"))) item->setForeground(QColor(0xB0, 0x00, 0x00));
    }
    int errors = 0;
    for (const TSourceBuild::TMessage& message : FMessages)
        errors += message.Severity.contains(QLatin1String("error"));
    const QString failure =
        QStringLiteral("编译失败Build failed: ") + source +
        (errors ? QStringLiteral(" (%1 error%2)").arg(errors).arg(errors > 1 ? "s" : "") : QString());
    BuildStatus->setText(ok ? QStringLiteral("编译成功Built ") + image : failure);
    if (ok) {
        emit Built(image);
    } else {
        emit Failed(failure);
        // The first error is the one to read first: shown at once.
        ShowFirstError();
    }
}

void TBuildPanel::ShowFirstError() {
    for (size_t i = 0; i < FMessages.size(); ++i)
        if (FMessages[i].Severity.contains(QLatin1String("error"))) {
            BuildMessages->setCurrentRow(static_cast<int>(i));
            ShowPlace(static_cast<int>(i)); // also when it was the current row already
            break;
        }
}

void TBuildPanel::SetBusy(bool busy) {
    BuildBusy->setVisible(busy);
    BtnCancelBuild->setVisible(busy);
    BtnOpenSource->setEnabled(!busy);
    BtnRebuild->setEnabled(!busy);
}

void TBuildPanel::ShowPlace(int row) {
    if (row < 0 || row >= static_cast<int>(FMessages.size())) return;
    const TSourceBuild::TMessage& message = FMessages[static_cast<size_t>(row)];
    if (message.Line <= 0) return;
    const QString path = QFileInfo(message.File).isAbsolute()
                             ? message.File
                             : QFileInfo(FLastSource).dir().filePath(message.File);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        BuildSourceView->setPlainText(QStringLiteral("无法读取Cannot read ") + path);
        return;
    }
    BuildSourceView->setPlainText(QString::fromUtf8(file.readAll()));
    const QTextBlock block = BuildSourceView->document()->findBlockByNumber(message.Line - 1);
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, std::max(0, message.Column - 1));
    BuildSourceView->setTextCursor(cursor);
    QTextEdit::ExtraSelection line;
    line.cursor = QTextCursor(block);
    line.format.setBackground(QColor(0xFF, 0xE0, 0xE0));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    BuildSourceView->setExtraSelections({line});
    // A view that has just been brought to the front has no size yet to centre in.
    QTimer::singleShot(0, BuildSourceView, [view = BuildSourceView] { view->centerCursor(); });
}
