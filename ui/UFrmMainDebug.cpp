// The main window's debugger commands: the code tab's keys, the settings handed to the run
// layer and the report of a debugger stop. Part of TFrmMain (UFrmMain.h), kept apart so that
// each file stays short.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QTimer>

#include "UBuildPanel.h"
#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UMemoryTools.h"
#include "URegisterPanel.h"
#include "URunLoop.h"

void TFrmMain::ConnectDebugCommands() {
    TabCode->ChangeDebugger = [this](const std::function<void(TDebugger&)>& change) {
        RunCommand(this, [&] {
            TCodeTab::TSnapshot code;
            WithCpu([&](TCCPU& cpu) {
                change(Debugger);
                code = TCodeTab::Read(cpu, Debugger, !Running());
            });
            DebugSettingsChanged();
            TabCode->Show(code, false);
        });
    };
    connect(TabCode, &TCodeTab::StepOverRequested, this, [this] { Command(&TFrmMain::StepOverClick); });
    connect(TabCode, &TCodeTab::StepOutRequested, this, [this] { Command(&TFrmMain::StepOutClick); });
    connect(TabCode, &TCodeTab::RunToCursorRequested, this, [this](uint64_t address) {
        RunToAddress = address;
        Command(&TFrmMain::RunToCursorClick);
    });
    connect(TabCode, &TCodeTab::LineStepIntoRequested, this,
            [this] { Command(&TFrmMain::LineStepIntoClick); });
    connect(TabCode, &TCodeTab::LineStepOverRequested, this,
            [this] { Command(&TFrmMain::LineStepOverClick); });

    TabCode->BuildPanel->MemorySize = [this] {
        return WithCpu([](TCCPU& cpu) { return static_cast<int64_t>(cpu.Memory.Size()); });
    };
    connect(TabCode->BuildPanel, &TBuildPanel::Failed, MemoInfo, &QPlainTextEdit::appendPlainText);
    // The build ends on the event loop, which a wait for the run thread also serves: the
    // image is then opened once the wait is over, as a deferred Open would be.
    connect(TabCode->BuildPanel, &TBuildPanel::Built, this, [this](const QString& image) {
        if (FWaits.Defer("OpenBuiltImage", [this, image] { OpenBuiltImage(image); })) return;
        OpenBuiltImage(image);
    });
}

namespace {

// The memory that the debug information beside imagePath asks for, when it belongs to the
// image file as it is; 0 otherwise.
uint64_t MemoryAskedFor(const QString& imagePath) {
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (int64_t{1} << 31)) return 0;
    const QByteArray bytes = file.readAll();
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    const std::string path = QFile::encodeName(imagePath).toStdString();
    std::string error;
    const std::optional<TDebugInfo> info = TDebugInfo::Load(TDebugInfo::PathFor(path), image, path, error);
    return info ? info->MemoryNeeded : 0;
}

} // namespace

void TFrmMain::OpenBuiltImage(const QString& image) {
    MemoInfo->appendPlainText(QStringLiteral("已编译Built ") + TabCode->BuildPanel->LastSource());
    // Asked before the open, so that an image larger than the memory is not refused first.
    AskForMemory(MemoryAskedFor(image));
    OpenImageFile(image);
    // The user built a source to read it: its lines are shown rather than the disassembly.
    if (TabCode->Listing().DebugInfo() && TabCode->CodeMode->currentIndex() == 0)
        TabCode->CodeMode->setCurrentIndex(1);
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

QString TFrmMain::OpenDebugInfo(const QString& imagePath) {
    const std::vector<uint8_t> image = WithCpu([](TCCPU& cpu) {
        const uint8_t* bytes = cpu.Memory.Buffer();
        return std::vector<uint8_t>(bytes, bytes + cpu.Memory.UsedLength());
    });
    const QString note = TabCode->OpenImage(imagePath, image);
    const std::optional<TDebugInfo>& info = TabCode->Listing().DebugInfo();
    WithCpu([&](TCCPU&) { Debugger.SetImage(info ? TSourceMap(*info) : TSourceMap(), image.size()); });
    DebugSettingsChanged();
    return note;
}

// The settings' hook refers to Debugger, which outlives every run. SetDebug takes its own
// hand-over, so the settings are made inside one and handed over after it.
void TFrmMain::DebugSettingsChanged() {
    TDebugSettings settings = WithCpu([this](TCCPU&) { return Debugger.StandingSettings(); });
    Execution.SetDebug(std::move(settings));
}

void TFrmMain::RunPlan(const std::function<TStepPlan(const TCCPUBase&, const TSourceMap&)>& make) {
    const TRunState state = Execution.State();
    if (state == TRunState::Running || state == TRunState::Stopping) {
        MemoInfo->appendPlainText(QStringLiteral("程序正在运行，请先暂停。Pause the run first."));
        return;
    }
    bool single = false;
    TDebugSettings settings = WithCpu([&](TCCPU& cpu) {
        TStepPlan plan = make(cpu, Debugger.Map());
        single = plan.SingleInstruction();
        return single ? TDebugSettings{} : Debugger.PlanSettings(std::move(plan));
    });
    if (single) return MnuStepClick();
    TabRegs->ClearMarks();
    TimerMain->start();
    {
        TCommandWaits::TScope wait(FWaits);
        Execution.RunOneShot(std::move(settings), Poll());
    }
    TimerMoniter->start();
}

void TFrmMain::StepOverClick() {
    RunPlan([](const TCCPUBase& cpu, const TSourceMap&) { return TStepPlan::StepOver(cpu); });
}
void TFrmMain::StepOutClick() {
    RunPlan([](const TCCPUBase& cpu, const TSourceMap&) { return TStepPlan::StepOut(cpu); });
}
void TFrmMain::RunToCursorClick() {
    RunPlan([address = RunToAddress](const TCCPUBase& cpu, const TSourceMap&) {
        return TStepPlan::RunTo(cpu, {address});
    });
}
void TFrmMain::LineStepIntoClick() {
    RunPlan([](const TCCPUBase& cpu, const TSourceMap& map) { return TStepPlan::SourceStepInto(cpu, map); });
}
void TFrmMain::LineStepOverClick() {
    RunPlan([](const TCCPUBase& cpu, const TSourceMap& map) { return TStepPlan::SourceStepOver(cpu, map); });
}

// On the run thread: posts and returns (the body parks after this).
void TFrmMain::RunDebugStopped(uint64_t run, const TRunResult&) {
    QMetaObject::invokeMethod(
        this, [this, run] { RunCommand(this, [&] { ShowDebugStop(run); }); }, Qt::QueuedConnection);
}

// A stop of an earlier run (replaced since) or one the user has already resumed from is
// old news: only the line is written then.
void TFrmMain::ShowDebugStop(uint64_t run) {
    if (run != Execution.RunNumber()) return;
    const std::string why = WithCpu([this](TCCPU&) { return Debugger.StopText(); });
    MemoInfo->appendPlainText(QStringLiteral("调试器暂停Debugger stop: ") + QString::fromStdString(why));
    if (Execution.State() != TRunState::Paused) return;
    CatchUpMoniter();
    GetArgsToEdit();
}
