// The main window's Open and memory size: loading an image (with its debug information),
// re-sizing the memory, and the offer of the memory an image's debug information asks for.
// Part of TFrmMain (UFrmMain.h), kept apart so that each file stays short.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "UBuildPanel.h"
#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "ULoadStatus.h"
#include "UMemoryTools.h"
#include "UNumberParse.h"
#include "URegisterPanel.h"

// The memory that the debug information beside imagePath asks for, when it belongs to the
// image file as it is; 0 otherwise.
uint64_t TFrmMain::MemoryAskedFor(const QString& imagePath) {
    // Only a regular file is read (a named pipe would block the window), and only when
    // there is debug information beside it.
    const std::string path = QFile::encodeName(imagePath).toStdString();
    const QFileInfo found(imagePath);
    if (!found.isFile() || found.size() > (int64_t{1} << 31) ||
        !QFileInfo(QFile::decodeName(TDebugInfo::PathFor(path).c_str())).isFile())
        return 0;
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = file.readAll();
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    const TDebugLoad& loaded = Session.Load(path, image);
    return loaded.Info ? loaded.Info->MemoryNeeded : 0;
}

void TFrmMain::MnuOpenClick() {
    if (FWaits.Defer("MnuOpenClick", [this] { Command(&TFrmMain::MnuOpenClick); })) return;
    if (OpenBinDlg->exec() != QDialog::Accepted) return;
    const QString path = QDir::toNativeSeparators(OpenBinDlg->selectedFiles().value(0));
    if (path.isEmpty()) return;
    OpenChosenFile(path);
}

void TFrmMain::OpenImageFile(const QString& path) {
    CatchUpMoniter();
    RunCommand(this, [this, path] { LoadImageFile(path); });
    CatchUpMoniter();
}

void TFrmMain::OpenGivenFile(const QString& path) {
    CatchUpMoniter();
    RunCommand(this, [this, path] { OpenChosenFile(path); });
    CatchUpMoniter();
}

// A source opened as a code image would run its text as instructions: for the four source
// names the user chooses. Every other file opens as Open has always opened it.
void TFrmMain::OpenChosenFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const bool header = name.endsWith(QLatin1String(".h"));
    const bool c = name.endsWith(QLatin1String(".c"));
    // A name that is no file is refused by the open as always, with its reason.
    if ((!header && !c && !name.endsWith(QLatin1String(".s")) && !name.endsWith(QLatin1String(".asm"))) ||
        !QFileInfo(path).isFile())
        return LoadImageFile(path);
    // A header has nothing to build alone: only the raw open (or nothing) is offered.
    const QString text =
        header ? QStringLiteral("%1是C头文件，不能单独编译：请打开包含它的.c源程序。按原始字节装入它吗？\r\n"
                                "%1 is a C header, which cannot be built alone: open the .c source that "
                                "includes it. Load it as raw bytes?")
                     .arg(path)
        : c ? QStringLiteral("%1是C源程序。编译它并装入编译结果吗？\r\n"
                             "%1 is a C source. Build it and open the result?")
                  .arg(path)
            : QStringLiteral("%1是汇编源程序。汇编它并装入结果吗？\r\n"
                             "%1 is an assembly source. Build it and open the result?")
                  .arg(path);
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("系统提示"), text,
        (header ? QMessageBox::NoButton : QMessageBox::Yes) | QMessageBox::No | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("OpenSourceQuestion"));
    if (!header) box.button(QMessageBox::Yes)->setText(QStringLiteral("编译并装入Build and open"));
    box.button(QMessageBox::No)->setText(QStringLiteral("按原始字节装入Open as raw bytes"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消Cancel"));
    box.setDefaultButton(header ? QMessageBox::Cancel : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    FitCaption(&box);
    const int answer = box.exec();
    if (answer == QMessageBox::No) return LoadImageFile(path);
    if (answer != QMessageBox::Yes) return;
    OpenBinDlg->setDirectory(QFileInfo(path).absolutePath());
    PageCPU->setCurrentWidget(TabCode);
    if (TabCode->BuildPanel->Build()->Running()) {
        MemoInfo->appendPlainText(
            QStringLiteral("正在编译，请等它结束。A build is running; wait for its end."));
        return;
    }
    TabCode->BuildPanel->BuildSource(path);
}

void TFrmMain::LoadImageFile(const QString& path) {
    // The next showing starts in the folder of this file (the dialog is kept for the session).
    OpenBinDlg->setDirectory(QFileInfo(path).absolutePath());
    TExecutionCommands::TOpenResult opened;
    {
        TCommandWaits::TScope wait(FWaits);
        opened = ExecutionCommands.Open(QFile::encodeName(path).toStdString(), Poll());
    }
    ReportEndedRun(opened.Run);
    // Only a loaded image is announced; a refused one is explained, in MemoInfo on one line
    // and in a box, and memory stays as it was.
    QString debugNote;
    if (opened.Status == 0) {
        MemoInfo->appendPlainText(QStringLiteral("已打开Bin文件:") + path);
        // Whatever a failed build left loaded has been replaced.
        FLoadedImage = path;
        FFailedBuild = false;
        TabCode->SetStaleNote(QString());
        debugNote = OpenDebugInfo(path);
    } else {
        const QString reason = QString::fromUtf8(roz::LoadStatusText(roz::LoadStatusOf(opened.Status)).Window)
                                   .replace(QStringLiteral("%1"), QString::number(opened.Status));
        MemoInfo->appendPlainText(QStringLiteral("装入Bin文件失败:") + path + u' ' +
                                  QString(reason).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        ShowMessageBox(this, QMessageBox::NoIcon, QStringLiteral("系统提示"),
                       QStringLiteral("装入Bin文件失败:") + path + QStringLiteral("\r\n") + reason,
                       QStringLiteral("OpenFailed"));
    }
    MnuResetClick();
    BtnFlashClick();
    GetArgsToEdit();
    TabRegs->ClearMarks();
    if (!debugNote.isEmpty()) MemoInfo->appendPlainText(debugNote);
    OfferMemorySize(path, opened.Status == 0);
}

void TFrmMain::BtnSetMemorySizeClick() {
    const int32_t size = ParseInt32(TabMemory->EditSize->text());
    TExecutionCommands::TResizeResult resized;
    {
        TCommandWaits::TScope wait(FWaits);
        resized = ExecutionCommands.SetMemorySize(size, Poll());
    }
    // Re-sizing to nothing would throw the whole memory away; it is refused instead.
    if (resized.Refused) {
        ShowMessageBox(
            this, QMessageBox::Warning, QStringLiteral("系统提示"),
            QStringLiteral("内存大小必须大于0：%1\r\nMemory size must be greater than 0: %1").arg(size));
        return;
    }
    ReportEndedRun(resized.Run);
    if (resized.Status == -2)
        ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("系统提示"),
                       QStringLiteral("无法分配内存：%1字节\r\nCannot allocate memory: %1 bytes").arg(size));
}

void TFrmMain::OfferMemorySize(const QString& imagePath, bool loaded) {
    const std::optional<TDebugInfo>& info = TabCode->Listing().DebugInfo();
    const uint64_t needed = loaded ? (info ? info->MemoryNeeded : 0) : MemoryAskedFor(imagePath);
    if (AskForMemory(needed)) LoadImageFile(imagePath);
}

bool TFrmMain::AskForMemory(uint64_t needed) {
    const int64_t size = WithCpu([](TCCPU& cpu) { return static_cast<int64_t>(cpu.Memory.Size()); });
    if (needed <= static_cast<uint64_t>(size)) return false;
    const QString shortage = QStringLiteral("程序需要%1字节内存，当前内存为%2字节。"
                                            "The program needs %1 bytes of memory; the memory is %2 bytes.")
                                 .arg(needed)
                                 .arg(size);
    if (needed > static_cast<uint64_t>(INT32_MAX)) {
        MemoInfo->appendPlainText(shortage);
        return false;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("系统提示"),
                    shortage + QStringLiteral("\r\n现在将内存大小设为%1字节再装入吗？"
                                              "Set the memory size to %1 bytes and load the program?")
                                   .arg(needed),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("MemorySizeOffer"));
    box.setDefaultButton(QMessageBox::Yes);
    FitCaption(&box);
    if (box.exec() != QMessageBox::Yes) {
        MemoInfo->appendPlainText(shortage);
        return false;
    }
    TabMemory->EditSize->setText(QString::number(needed));
    BtnSetMemorySizeClick();
    return WithCpu([](TCCPU& cpu) { return static_cast<uint64_t>(cpu.Memory.Size()); }) == needed;
}

void TFrmMain::OpenBuiltImage(const QString& image) {
    FFailedBuild = false; // a good build ends what a failed one left
    TabCode->SetStaleNote(QString());
    MemoInfo->appendPlainText(QStringLiteral("已编译Built ") + TabCode->BuildPanel->LastSource());
    // Asked before the open, so that an image larger than the memory is not refused first.
    AskForMemory(MemoryAskedFor(image));
    OpenImageFile(image);
    // The user built a source to read it: its lines are shown rather than the disassembly.
    if (TabCode->Listing().DebugInfo() && TabCode->CodeMode->currentIndex() == 0)
        TabCode->CodeMode->setCurrentIndex(1);
}
