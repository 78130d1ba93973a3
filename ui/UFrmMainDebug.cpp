// The main window's debugger commands: the code tab's keys and builds, the settings handed to
// the run layer and the report of a debugger stop. Part of TFrmMain (UFrmMain.h), kept apart
// so that each file stays short.
#include <QFile>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QTimer>

#include "UBuildPanel.h"
#include "UCodeTab.h"
#include "UCodeView.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UProgramEnd.h"
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
            Session.SettingsChanged();
            TabCode->Show(code, false);
        });
    };
    ConnectDebugMenu();
    TabCode->WithMachine = [this](const std::function<void(TDebugger&, const TCCPUBase&)>& read) {
        RunCommand(this, [&] { WithCpu([&](TCCPU& cpu) { read(Debugger, cpu); }); });
    };
    connect(TabCode, &TCodeTab::RunToCursorRequested, this, [this](uint64_t address) {
        RunToAddress = address;
        RunToWholeLine = TabCode->CodeView->Mode() == TCodeListing::TMode::Source;
        Command(&TFrmMain::RunToCursorClick);
    });

    TabCode->BuildPanel->MemorySize = [this] {
        return WithCpu([](TCCPU& cpu) { return static_cast<int64_t>(cpu.Memory.Size()); });
    };
    connect(TabCode->BuildPanel, &TBuildPanel::Failed, MemoInfo, &QPlainTextEdit::appendPlainText);
    connect(TabCode->BuildPanel, &TBuildPanel::Failed, this,
            [this] { RunCommand(this, [this] { BuildFailed(); }); });
    // The build ends on the event loop, which a wait for the run thread also serves: the
    // image is then opened once the wait is over, as a deferred Open would be.
    connect(TabCode->BuildPanel, &TBuildPanel::Built, this, [this](const QString& image) {
        if (FWaits.Defer("OpenBuiltImage", [this, image] { OpenBuiltImage(image); })) return;
        OpenBuiltImage(image);
    });
}

QString TFrmMain::OpenDebugInfo(const QString& imagePath) {
    const std::vector<uint8_t> image = WithCpu([](TCCPU& cpu) {
        const uint8_t* bytes = cpu.Memory.Buffer();
        return std::vector<uint8_t>(bytes, bytes + cpu.Memory.UsedLength());
    });
    const TDebugLoad& loaded = Session.OpenImage(QFile::encodeName(imagePath).toStdString(), image);
    TabCode->OpenImage(image, loaded.Info);
    if (loaded.Missing || loaded.Info) return {};
    return QStringLiteral("调试信息已忽略。Debug information ignored: ") +
           QString::fromStdString(loaded.Error);
}

void TFrmMain::RunPlan(const TDebugSession::TMakePlan& make) {
    if (Session.Busy()) {
        MemoInfo->appendPlainText(QStringLiteral("程序正在运行，请先暂停。Pause the run first."));
        return;
    }
    if (!MayRunAfterFailedBuild()) return;
    if (!Session.PreparePlan(make)) return MnuStepClick();
    TabRegs->ClearMarks();
    TimerMain->start();
    {
        TCommandWaits::TScope wait(FWaits);
        Session.RunPlan(Poll());
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
    RunPlan([address = RunToAddress, whole = RunToWholeLine](const TCCPUBase& cpu, const TSourceMap& map) {
        return TDebugSession::RunToCursor(cpu, map, address, whole);
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
    const std::string why = Session.StopText();
    MemoInfo->appendPlainText(QStringLiteral("调试器暂停Debugger stop: ") + QString::fromStdString(why));
    if (Execution.State() != TRunState::Paused) return;
    CatchUpMoniter();
    GetArgsToEdit();
}

void TFrmMain::ShowRunEnd(uint64_t run) {
    // A run ended or replaced since it asked has no end to report (and the CPU is another's).
    if (!Execution.EndMessageDue(run)) return;
    // The end message is due whatever happens here: the run thread waits for it.
    std::string abnormal;
    try {
        abnormal = WithCpu([this](TCCPU& cpu) {
            // The end of the image, not a program that left memory.
            if (cpu.FetchStatus(cpu.IPOffset) != FetchEndOfImage) return std::string();
            return ClassifyProgramEnd(Debugger.Map(), cpu).Text();
        });
    } catch (const std::exception&) {
        abnormal.clear();
    }
    if (!abnormal.empty()) MemoInfo->appendPlainText(QString::fromStdString(abnormal));
    FRunBoxes.ShowEndMessage(Execution, run, QString::fromStdString(abnormal));
}
