// The main window's Debug menu, the source entries of its File menu and their keys, and what
// a failed build leaves behind. Part of TFrmMain (UFrmMain.h), kept apart so that each file
// stays short.
//
// The keys, as in the IDE most students know:
//   F5 run or continue, Shift+F5 stop, F9 breakpoint, F10 step over, F11 step into (a source
//   line in the source and mixed views, one instruction in the disassembly), Shift+F11 step
//   out, Ctrl+F10 (and F4) run to the cursor, Ctrl+B build, Ctrl+Shift+O open a source.
//   The instruction steps in every view are F8 (over) and F7 (into): the pair that Delphi and
//   the JetBrains IDEs use for stepping, and one that no common desktop takes (Ctrl+F-keys
//   switch workspaces under Xfce and KDE, Ctrl+Alt+F-keys switch consoles, Alt+F-keys and
//   Shift+F10 are window and context-menu keys).
//   Kept free for commands to come: Ctrl+S, Ctrl+F5, Ctrl+Shift+F5, Ctrl+Shift+F10 and
//   Ctrl+Shift+F11 (ReservedKeys).
#include <QAction>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "UBuildPanel.h"
#include "UCodeTab.h"
#include "UCodeView.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "URegisterPanel.h"
#include "UWindowParts.h"

const QList<QKeySequence>& TFrmMain::ReservedKeys() {
    static const QList<QKeySequence> keys = {
        QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::CTRL | Qt::Key_F5),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F10),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F11)};
    return keys;
}

void TFrmMain::BuildDebugMenu() {
    auto entry = [this](QMenu* menu, QAction* before, const char* name, const QString& caption,
                        const QList<QKeySequence>& keys) {
        auto* action = Named(new QAction(caption, this), name);
        action->setShortcuts(keys);
        if (before)
            menu->insertAction(before, action);
        else
            menu->addAction(action);
        return action;
    };
    MnuOpenSource = entry(MnuFile, N1, "MnuOpenSource", QStringLiteral("打开并编译源程序Open &Source…"),
                          {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)});
    MnuRebuild = entry(MnuFile, N1, "MnuRebuild", QStringLiteral("重新编译Re&build"),
                       {QKeySequence(Qt::CTRL | Qt::Key_B)});

    MnuDebug = Named(new QMenu(QStringLiteral("调试&Debug"), this), "MnuDebug");
    MnuMain->insertMenu(MnuInfo->menuAction(), MnuDebug);
    MnuDebugContinue = entry(MnuDebug, nullptr, "MnuDebugContinue", QStringLiteral("运行或继续Run/&Continue"),
                             {QKeySequence(Qt::Key_F5)});
    MnuDebugStop = entry(MnuDebug, nullptr, "MnuDebugStop", QStringLiteral("停止调试Stop &Debugging"),
                         {QKeySequence(Qt::SHIFT | Qt::Key_F5)});
    Separator(MnuDebug, "N5");
    MnuDebugBreakpoint = entry(MnuDebug, nullptr, "MnuDebugBreakpoint",
                               QStringLiteral("设置/取消断点Toggle &Breakpoint"), {QKeySequence(Qt::Key_F9)});
    Separator(MnuDebug, "N6");
    MnuDebugStepOver = entry(MnuDebug, nullptr, "MnuDebugStepOver", QStringLiteral("逐过程Step &Over"),
                             {QKeySequence(Qt::Key_F10)});
    MnuDebugStepInto = entry(MnuDebug, nullptr, "MnuDebugStepInto", QStringLiteral("逐语句Step &Into"),
                             {QKeySequence(Qt::Key_F11)});
    MnuDebugStepOut = entry(MnuDebug, nullptr, "MnuDebugStepOut", QStringLiteral("跳出Step O&ut"),
                            {QKeySequence(Qt::SHIFT | Qt::Key_F11)});
    MnuDebugRunToCursor =
        entry(MnuDebug, nullptr, "MnuDebugRunToCursor", QStringLiteral("运行到光标处Run to C&ursor"),
              {QKeySequence(Qt::CTRL | Qt::Key_F10), QKeySequence(Qt::Key_F4)});
    Separator(MnuDebug, "N7");
    MnuDebugInstructionStepOver =
        entry(MnuDebug, nullptr, "MnuDebugInstructionStepOver",
              QStringLiteral("逐指令步过Instruction Step Over(&N)"), {QKeySequence(Qt::Key_F8)});
    MnuDebugInstructionStepInto =
        entry(MnuDebug, nullptr, "MnuDebugInstructionStepInto",
              QStringLiteral("逐指令步入Instruction Step In&to"), {QKeySequence(Qt::Key_F7)});
}

void TFrmMain::ConnectDebugMenu() {
    const std::pair<QAction*, void (TFrmMain::*)()> entries[] = {
        {MnuDebugContinue, &TFrmMain::MnuDebugContinueClick},
        {MnuDebugStop, &TFrmMain::MnuDebugStopClick},
        {MnuDebugBreakpoint, &TFrmMain::MnuDebugBreakpointClick},
        {MnuDebugStepOver, &TFrmMain::MnuDebugStepOverClick},
        {MnuDebugStepInto, &TFrmMain::MnuDebugStepIntoClick},
        {MnuDebugStepOut, &TFrmMain::StepOutClick},
        {MnuDebugRunToCursor, &TFrmMain::MnuDebugRunToCursorClick},
        {MnuDebugInstructionStepOver, &TFrmMain::StepOverClick},
        {MnuDebugInstructionStepInto, &TFrmMain::MnuStepClick},
    };
    for (const auto& [action, handler] : entries)
        connect(action, &QAction::triggered, this, [this, handler = handler] { Command(handler); });
    // The source commands show the code tab, where the build's progress and messages are.
    auto source = [this](void (TBuildPanel::*command)()) {
        return [this, command] {
            RunCommand(this, [&] {
                PageCPU->setCurrentWidget(TabCode);
                (TabCode->BuildPanel->*command)();
            });
        };
    };
    connect(MnuOpenSource, &QAction::triggered, this, source(&TBuildPanel::OpenSource));
    connect(MnuRebuild, &QAction::triggered, this, source(&TBuildPanel::Rebuild));

    QList<QAction*> keyed;
    for (const QAction* menu : MnuMain->actions())
        if (menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (!action->shortcuts().isEmpty()) keyed.append(action);
    KeepShortcutsOut(MemoMessage, keyed);
}

// ---- the Debug menu's commands ----

void TFrmMain::MnuDebugContinueClick() {
    if (Execution.State() == TRunState::Paused)
        MnuResumeClick();
    else
        MnuRunClick();
}

// Unlike the CPU menu's Stop, which leaves a paused run paused, this ends the run, so that
// F5 afterwards starts the program again.
void TFrmMain::MnuDebugStopClick() {
    if (FWaits.Defer("MnuDebugStopClick", [this] { Command(&TFrmMain::MnuDebugStopClick); })) return;
    TimerMain->stop();
    TExecutionCommands::TEndedRun ended;
    {
        TCommandWaits::TScope wait(FWaits);
        ended = ExecutionCommands.EndRun(Poll());
    }
    ReportEndedRun(ended);
    Session.EndPlan();
    GetArgsToEdit();
}

void TFrmMain::MnuDebugBreakpointClick() {
    TabCode->ToggleBreakpointAtCursor();
}

void TFrmMain::MnuDebugStepOverClick() {
    if (TabCode->CodeView->Mode() == TCodeListing::TMode::Disassembly) return StepOverClick();
    LineStepOverClick();
}

void TFrmMain::MnuDebugStepIntoClick() {
    if (TabCode->CodeView->Mode() == TCodeListing::TMode::Disassembly) return MnuStepClick();
    LineStepIntoClick();
}

void TFrmMain::MnuDebugRunToCursorClick() {
    const uint64_t address = TabCode->CursorAddress();
    if (address == TCodeListing::NoAddress) {
        MemoInfo->appendPlainText(
            QStringLiteral("请先在代码区选择有代码的一行。Choose a line with code in the code view first."));
        return;
    }
    RunToAddress = address;
    RunToWholeLine = TabCode->CodeView->Mode() == TCodeListing::TMode::Source;
    RunToCursorClick();
}

// ---- a failed build ----

void TFrmMain::BuildFailed() {
    FFailedBuild = true;
    FFailedBuildAnswered = false;
    const QString source = TabCode->BuildPanel->LastSource();
    TabCode->SetStaleNote(
        FLoadedImage.isEmpty()
            ? QStringLiteral("编译%1失败，没有装入程序。Building %1 failed; no program is loaded.")
                  .arg(source)
            : QStringLiteral("编译%1失败，装入的仍是之前的程序%2。"
                             "Building %1 failed; the loaded program is still the previous build, %2.")
                  .arg(source, FLoadedImage));
}

bool TFrmMain::MayRunAfterFailedBuild() {
    if (!FFailedBuild || FFailedBuildAnswered) return true;
    const QString source = TabCode->BuildPanel->LastSource();
    const QString text =
        FLoadedImage.isEmpty()
            ? QStringLiteral("编译%1失败，没有装入程序。仍然执行内存中的内容吗？\r\n"
                             "Building %1 failed and no program is loaded. Run the memory as it is?")
                  .arg(source)
            : QStringLiteral("编译%1失败，装入的仍是之前的程序%2。运行之前的程序吗？\r\n"
                             "Building %1 failed; the loaded program is the previous build, %2. Run it?")
                  .arg(source, FLoadedImage);
    QMessageBox box(QMessageBox::Question, QStringLiteral("系统提示"), text,
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("RunPreviousBuild"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("运行之前的程序Run the previous build"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消并查看错误Cancel, show the error"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    FitCaption(&box);
    if (box.exec() == QMessageBox::Yes) {
        FFailedBuildAnswered = true;
        return true;
    }
    ShowFirstBuildError();
    return false;
}

void TFrmMain::ShowFirstBuildError() {
    PageCPU->setCurrentWidget(TabCode);
    TabCode->CodePanels->setCurrentWidget(TabCode->BuildPanel);
    TabCode->BuildPanel->ShowFirstError();
    TabCode->BuildPanel->BuildMessages->setFocus();
}
