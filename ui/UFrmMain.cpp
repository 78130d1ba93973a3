#include "UFrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "UAboutBox.h"
#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UHelpCommands.h"
#include "UKeyHold.h"
#include "UKeyMap.h"
#include "UMemoryTools.h"
#include "UMoniterView.h"
#include "UNumberParse.h"
#include "UProgramIcon.h"
#include "URegisterPanel.h"
#include "UToolbarImages.h"
#include "UWindowParts.h"

TFrmMain* FrmMain = nullptr;

namespace {

constexpr int ClientWidth = 1297;
constexpr int ClientHeight = 629; // below the menu bar: toolbar, tabs, splitter, bottom area
constexpr int ToolBarHeight = 29;
constexpr int BottomHeight = 164;

} // namespace

TFrmMain::TFrmMain(TThreadPriority priority) : QMainWindow(nullptr), Execution(Cpu, *this, priority) {
    setObjectName(QStringLiteral("FrmMain"));
    QApplication::setFont(WindowFont()); // menus and boxes are top-level and do not inherit
    setFont(WindowFont());
    setWindowTitle(QStringLiteral("ZELMOR C语言仿真CPU机2021.5"));
    setWindowIcon(ProgramIcon());
    // Fixed single border: system menu, minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    BuildMenus();
    BuildDebugMenu();
    BuildToolBar();
    BuildPages();
    BuildBottom();

    OpenBinDlg = MakeOpenBinDlg(this);

    TimerMain = Named(new QTimer(this), "TimerMain");
    TimerMain->setInterval(500);
    TimerMoniter = Named(new QTimer(this), "TimerMoniter");
    TimerMoniter->setInterval(40);

    ConnectCommands();
    ConnectDebugCommands();
    // As WithCpu: what a command reads is never ahead of the monitor.
    ExecutionCommands.OnHandOver = [this] { CatchUpMoniter(); };
    Session.OnHandOver = [this] { CatchUpMoniter(); };

    const int height = MnuMain->sizeHint().height() + ClientHeight;
    setFixedSize(ClientWidth, height);
    if (const QScreen* desktop = QGuiApplication::primaryScreen())
        move(desktop->availableGeometry().center() - QPoint(ClientWidth / 2, height / 2));
    FrmMain = this; // last: a construction that throws leaves no dangling FrmMain
}

TFrmMain::~TFrmMain() {
    // No events are served from here on: the disposal ends the body whatever it waits for.
    FDestroying = true;
    FWaits.Shut();
    FormDestroy();
    if (FrmMain == this) FrmMain = nullptr;
}

void TFrmMain::BuildMenus() {
    MnuMain = Named(menuBar(), "MnuMain");
    auto entry = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = Named(menu->addAction(caption), name);
        return action;
    };
    MnuFile = Named(MnuMain->addMenu(QStringLiteral("文件&File")), "MnuFile");
    MnuOpen = entry(MnuFile, "MnuOpen", QStringLiteral("装入二进制代码文件(&Open)"));
    N1 = Separator(MnuFile, "N1");
    MnuExit = entry(MnuFile, "MnuExit", QStringLiteral("退出本软件E&xit"));

    MnuSystem = Named(MnuMain->addMenu(QStringLiteral("CPU系统操作&System")), "MnuSystem");
    MnuReset = entry(MnuSystem, "MnuReset", QStringLiteral("复位&Reset"));
    N3 = Separator(MnuSystem, "N3");
    MnuStep = entry(MnuSystem, "MnuStep", QStringLiteral("单步执行&Step"));
    MnuRun = entry(MnuSystem, "MnuRun", QStringLiteral("连续执行&Run"));
    MnuPluase = entry(MnuSystem, "MnuPluase", QStringLiteral("暂停执行&Puase"));
    MnuResume = entry(MnuSystem, "MnuResume", QStringLiteral("恢复执行Res&ume"));
    MnuStop = entry(MnuSystem, "MnuStop", QStringLiteral("停止执行S&top"));
    MnuStop->setIcon(StopBitmap());

    MnuInfo = Named(MnuMain->addMenu(QStringLiteral("调试信息操作&Info")), "MnuInfo");
    MnuClearInfo = entry(MnuInfo, "MnuClearInfo", QStringLiteral("清空调试信息&Clear Info"));
    MnujClearMessage = entry(MnuInfo, "MnujClearMessage", QStringLiteral("清空输入信息Clear &Message"));
    MnuClearMoniter = entry(MnuInfo, "MnuClearMoniter", QStringLiteral("清空监视器输出信息Clear Moniter"));
    N2 = Separator(MnuInfo, "N2");
    MnuClearAll = entry(MnuInfo, "MnuClearAll", QStringLiteral("清空所有的信息Clear &All"));

    MnuHelp = Named(MnuMain->addMenu(QStringLiteral("帮助&Help")), "MnuHelp");
    MnuContent = entry(MnuHelp, "MnuContent", QStringLiteral("帮助主题(&Content)"));
    MnuShowInfo = entry(MnuHelp, "MnuShowInfo", QStringLiteral("机器指令和汇编编程参考(&Info)"));
    MnuWeb = entry(MnuHelp, "MnuWeb", QStringLiteral("访问本软件网站(&Web)"));
    N4 = Separator(MnuHelp, "N4");
    MnuAbout = entry(MnuHelp, "MnuAbout", QStringLiteral("关于本软件&About"));
}

QToolButton* TFrmMain::AddToolButton(const char* name, int image, const QString& hint,
                                     void (TFrmMain::*handler)()) {
    auto* button = Named(new QToolButton, name);
    button->setIcon(ToolbarImage(image));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    ToolBar->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, handler] { Command(handler); });
    return button;
}

void TFrmMain::BuildToolBar() {
    ToolBar = Named(addToolBar(QStringLiteral("ToolBar")), "ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar->setFixedHeight(ToolBarHeight);
    ToolBar->setIconSize(QSize(16, 16));
    TBtnOpen =
        AddToolButton("TBtnOpen", 0, QStringLiteral("打开二进制的代码映像文件"), &TFrmMain::MnuOpenClick);
    ToolButton1 = Named(ToolBar->addSeparator(), "ToolButton1");
    ToolButton2 = AddToolButton("ToolButton2", 1, QStringLiteral("单步执行代码"), &TFrmMain::MnuStepClick);
    ToolButton3 = AddToolButton("ToolButton3", 2, QStringLiteral("连续执行代码"), &TFrmMain::MnuRunClick);
    ToolButton4 = Named(ToolBar->addSeparator(), "ToolButton4");
    ToolButton5 = AddToolButton("ToolButton5", 3, QStringLiteral("暂停执行代码"), &TFrmMain::MnuPluaseClick);
    ToolButton6 = AddToolButton("ToolButton6", 4, QStringLiteral("恢复执行代码"), &TFrmMain::MnuResumeClick);
    ToolButton7 = AddToolButton("ToolButton7", 5, QStringLiteral("停止执行代码"), &TFrmMain::MnuStopClick);
}

void TFrmMain::BuildPages() {
    Splitter1 = Named(new QSplitter(Qt::Vertical), "Splitter1");
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    PageCPU = Named(new QTabWidget, "PageCPU");
    TabRegs = Named(new TRegisterPanel, "TabRegs");
    TabMemory = Named(new TMemoryTools, "TabMemory");
    PageCPU->addTab(TabRegs, QStringLiteral("寄存器组"));
    PageCPU->addTab(TabMemory, QStringLiteral("内存工具"));
    TabCode = Named(new TCodeTab, "TabCode");
    PageCPU->addTab(TabCode, QStringLiteral("代码Code"));
    PageCPU->setCurrentIndex(0);
    Splitter1->addWidget(PageCPU);
}

void TFrmMain::BuildBottom() {
    PanelBottom = Named(new QWidget, "PanelBottom");
    auto* panelLayout = new QVBoxLayout(PanelBottom);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    PageInfo = Named(new QTabWidget, "PageInfo");
    panelLayout->addWidget(PageInfo);

    TabInfo = Named(new QWidget, "TabInfo");
    auto* info = new QVBoxLayout(TabInfo);
    info->setContentsMargins(0, 0, 0, 0);
    info->setSpacing(0);
    MemoInfo = Memo("MemoInfo", QStringLiteral("就绪"));
    StsBar = StatusBarWithPanels("StsBar", 150, QStringLiteral("ROZIDUV2 教学仿真CPU机 版权所有"));
    info->addWidget(MemoInfo);
    info->addWidget(StsBar);

    TabMesage = Named(new QWidget, "TabMesage");
    auto* message = new QVBoxLayout(TabMesage);
    message->setContentsMargins(0, 0, 0, 0);
    MemoMessage = Memo("MemoMessage", QStringLiteral("在此输入"));
    FKeyHold = std::make_unique<TKeyHold>(
        MemoMessage, this, [this](QKeyEvent* key) { RunCommand(this, [&] { MemoMessageKeyDown(key); }); },
        [this](QKeyEvent* key) { RunCommand(this, [&] { MemoMessageKeyUp(key); }); });
    message->addWidget(MemoMessage);

    TabSheet1 = Named(new QWidget, "TabSheet1");
    auto* monitor = new QVBoxLayout(TabSheet1);
    monitor->setContentsMargins(0, 0, 0, 0);
    monitor->setSpacing(0);
    MemoMoniter = Named(new TMoniterView, "MemoMoniter");
    MemoMoniter->SetLog(&Execution.MoniterLog);
    StatusBar1 = StatusBarWithPanels("StatusBar1", 50, QStringLiteral("ROZIDUV2 教学仿真CPU机 版权所有"));
    monitor->addWidget(MemoMoniter);
    monitor->addWidget(StatusBar1);

    PageInfo->addTab(TabInfo, QStringLiteral("调试信息"));
    PageInfo->addTab(TabMesage, QStringLiteral("输入信息"));
    PageInfo->addTab(TabSheet1, QStringLiteral("监视器输出信息"));
    PageInfo->setCurrentIndex(0);

    Splitter1->addWidget(PanelBottom);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    const int pageHeight = ClientHeight - ToolBarHeight - Splitter1->handleWidth() - BottomHeight;
    Splitter1->setSizes({pageHeight, BottomHeight});
}

void TFrmMain::ConnectCommands() {
    const std::pair<QAction*, void (TFrmMain::*)()> entries[] = {
        {MnuOpen, &TFrmMain::MnuOpenClick},
        {MnuExit, &TFrmMain::MnuExitClick},
        {MnuReset, &TFrmMain::MnuResetClick},
        {MnuStep, &TFrmMain::MnuStepClick},
        {MnuRun, &TFrmMain::MnuRunClick},
        {MnuPluase, &TFrmMain::MnuPluaseClick},
        {MnuResume, &TFrmMain::MnuResumeClick},
        {MnuStop, &TFrmMain::MnuStopClick},
        {MnuClearInfo, &TFrmMain::MnuClearInfoClick},
        {MnujClearMessage, &TFrmMain::MnujClearMessageClick},
        {MnuClearMoniter, &TFrmMain::MnuClearMoniterClick},
        {MnuClearAll, &TFrmMain::MnuClearAllClick},
        {MnuContent, &TFrmMain::MnuContentClick},
        {MnuShowInfo, &TFrmMain::MnuShowInfoClick},
        {MnuWeb, &TFrmMain::MnuWebClick},
        {MnuAbout, &TFrmMain::MnuAboutClick},
    };
    for (const auto& [action, handler] : entries)
        connect(action, &QAction::triggered, this, [this, handler = handler] { Command(handler); });
    connect(TimerMain, &QTimer::timeout, this, [this] { Command(&TFrmMain::TimerMainTimer); });
    connect(TimerMoniter, &QTimer::timeout, this, [this] {
        CatchUpMoniter();
        if (!Execution.IsThreadActive()) TimerMoniter->stop();
    });
    connect(TabRegs->BtnGetArgsToEdit, &QPushButton::clicked, this,
            [this] { Command(&TFrmMain::GetArgsToEdit); });
    connect(TabRegs->BtnEditToArgs, &QPushButton::clicked, this, [this] { Command(&TFrmMain::EditToArgs); });
    connect(TabMemory->BtnFlash, &QPushButton::clicked, this, [this] { Command(&TFrmMain::BtnFlashClick); });
    connect(TabMemory->BtnSetMemorySize, &QPushButton::clicked, this,
            [this] { Command(&TFrmMain::BtnSetMemorySizeClick); });
}

// The monitor catches up before the handler (which may read the machine or show a box) and
// after it (a step may have printed).
void TFrmMain::Command(void (TFrmMain::*handler)()) {
    CatchUpMoniter();
    RunCommand(this, [this, handler] { (this->*handler)(); });
    CatchUpMoniter();
}

void TFrmMain::CatchUpMoniter() {
    if (MemoMoniter) MemoMoniter->CatchUp();
}

void TFrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        Command(&TFrmMain::FormShow);
    }
}

// ---- register panel and memory tools ----

// The code tab follows every refresh of the panel; the boxes that changed since the last
// refresh of this kind are marked.
void TFrmMain::GetArgsToEdit() {
    TCodeTab::TSnapshot code;
    const TRegisterPanel::TValues values = WithCpu([&](TCCPU& cpu) {
        code = TCodeTab::Read(cpu, Debugger, true);
        return TRegisterPanel::Read(cpu);
    });
    TabRegs->Display(values);
    TabRegs->MarkChanged(values);
    TabCode->Show(code);
}

// During a run the values go in through the hand-over, between two instructions; the run
// loop reloads its state afterwards, so the run goes on from them (a paused run from its
// Resume). Typed boxes count as written: the next refresh shows the CPU's values again.
void TFrmMain::EditToArgs() {
    const TRunState state = Execution.State();
    WithCpu([this](TCCPU& cpu) { TabRegs->Write(cpu); });
    for (int row = 0; row < TRegisterPanel::BoxCount; ++row)
        TabRegs->Box(row)->setModified(false);
    MemoInfo->appendPlainText(state == TRunState::Running || state == TRunState::Paused
                                  ? QStringLiteral("运行中已将输入的值放入CPU，程序从新值继续。"
                                                   "Values written; the run goes on from them.")
                                  : QStringLiteral("已将输入的值放入CPU。Values written to the CPU."));
}

void TFrmMain::BtnFlashClick() {
    ViewBegin = ParseInt32(TabMemory->EditBeginMemory->text());
    ViewCount = ParseInt32(TabMemory->EditMemoryCount->text());
    TabMemory->MemoMemory->clear();
    bool cut = false;
    const std::string text =
        WithCpu([&](TCCPU& cpu) { return TMemoryTools::ViewText(cpu.Memory, ViewBegin, ViewCount, cut); });
    TabMemory->ShowView(text);
    if (cut)
        MemoInfo->appendPlainText(QStringLiteral(
            "内存显示长度超过上限，只显示前262144字节。Only the first 262144 bytes are shown."));
}

// ---- menu commands ----

void TFrmMain::MnuExitClick() {
    close();
}

void TFrmMain::MnuClearInfoClick() {
    MemoInfo->clear();
}
void TFrmMain::MnujClearMessageClick() {
    MemoMessage->clear();
}
void TFrmMain::MnuClearMoniterClick() {
    MemoMoniter->Clear();
}

void TFrmMain::MnuClearAllClick() {
    MemoInfo->clear();
    MemoMessage->clear();
    MemoMoniter->Clear();
}

void TFrmMain::MnuContentClick() {
    OpenHelpDocument(this, QStringLiteral("ROZIDUV2.chm"));
}
void TFrmMain::MnuShowInfoClick() {
    OpenHelpDocument(this, QStringLiteral("VURIZUREZ.chm"));
}
void TFrmMain::MnuWebClick() {
    OpenProductWebPage(this);
}

void TFrmMain::MnuAboutClick() {
    if (AboutBox) AboutBox->exec();
}

void TFrmMain::FormShow() {
    GetArgsToEdit();
}

// ---- execution: waits, the run thread's reports ----

// The hook serves timers, posted reports and repaints, not the user's input: clicks and keys
// given during a wait of at most a few milliseconds are delivered after it. The destructor
// serves nothing, as the window is half gone by then.
TExecution::TPollHook TFrmMain::Poll() {
    if (FDestroying) return {};
    return [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
}

// Both come on the run thread: they post to the window's thread and return.
void TFrmMain::RunEndMessageDue(uint64_t run) {
    QMetaObject::invokeMethod(
        this, [this, run] { RunCommand(this, [&] { ShowRunEnd(run); }); }, Qt::QueuedConnection);
}

void TFrmMain::RunFailed(uint64_t, const std::string& message) {
    const QString text = QString::fromStdString(message);
    QMetaObject::invokeMethod(
        this, [this, text] { FRunBoxes.ShowFailure(text); }, Qt::QueuedConnection);
}

void TFrmMain::ReportEndedRun(const TExecutionCommands::TEndedRun& ended) {
    if (!ended.Ended) return;
    FRunBoxes.CloseAll(); // an end message open now belonged to that run, which has finished
    if (ended.WasRunning) MemoInfo->appendPlainText(QStringLiteral("运行已停止。The run was stopped."));
}

// ---- execution commands ----

// The panel keeps its values until the next refresh.
void TFrmMain::MnuResetClick() {
    ExecutionCommands.Reset();
    MemoInfo->appendPlainText(QStringLiteral("复位成功！"));
}

// During a run the step takes the CPU between two instructions; the run goes on from the
// stepped state. Division by zero leaves the handler through the command guard's error box,
// so the panel is not refreshed then.
void TFrmMain::MnuStepClick() {
    if (!MayRunAfterFailedBuild()) return;
    const int64_t status = ExecutionCommands.Step();
    CatchUpMoniter();
    if (status == FetchEndOfImage)
        ShowMessageBox(this, QMessageBox::NoIcon, QStringLiteral("系统提示"),
                       QStringLiteral("已经是最后一行程序！"), QStringLiteral("LastLine"));
    GetArgsToEdit();
}

// The execution disposes of the old thread before the reset, so no old body runs after it.
void TFrmMain::MnuRunClick() {
    if (FWaits.Defer("MnuRunClick", [this] { Command(&TFrmMain::MnuRunClick); })) return;
    if (!MayRunAfterFailedBuild()) return;
    TimerMain->start();
    TabRegs->ClearMarks();
    {
        TCommandWaits::TScope wait(FWaits);
        Session.Run(Poll());
    }
    TimerMoniter->start();
}

void TFrmMain::MnuPluaseClick() {
    if (!Session.Pause()) return; // never run: nothing at all
    GetArgsToEdit();
}

void TFrmMain::MnuResumeClick() {
    if (Execution.State() == TRunState::Paused && !MayRunAfterFailedBuild()) return;
    if (!Execution.Resume()) return;
    GetArgsToEdit();
    TabRegs->ClearMarks();
    TimerMain->start();
    TimerMoniter->start();
}

// Waits until the body has ended (or parked, or waits for its end message), at most 100 ms;
// a paused run stays paused.
void TFrmMain::MnuStopClick() {
    TimerMain->stop(); // first: the wait serves timers
    {
        TCommandWaits::TScope wait(FWaits);
        Session.Stop(Poll());
    }
    GetArgsToEdit();
}

// The tick comes every 500 ms during a run: a box the user is typing into keeps its text
// until BtnEditToArgs writes it or a command refreshes the panel. A tick whose hand-over the
// run thread does not give in time is skipped; the next one tries again. The code tab walks
// the call stack only once the run has stopped.
void TFrmMain::TimerMainTimer() {
    TCodeTab::TSnapshot code;
    if (!ExecutionCommands.Refresh([&](TCCPUBase& cpu) {
            TabRegs->Display(TRegisterPanel::Read(cpu), TRegisterPanel::KeepTyped);
            code = TCodeTab::Read(cpu, Debugger, !Running());
        }))
        return;
    TabCode->Show(code);
    if (!Running()) TimerMain->stop();
}

// The key word is one atomic store: no hand-over, so typing never waits for the run thread.
void TFrmMain::MemoMessageKeyDown(QKeyEvent* event) {
    Cpu.Ports.Keyboard.Data.store(KeyPressWord(event), std::memory_order_relaxed);
}

void TFrmMain::MemoMessageKeyUp(QKeyEvent*) {
    Cpu.Ports.Keyboard.Data.store(0, std::memory_order_relaxed);
}

// The run thread must have ended before Cpu goes. A box the body waits for is closed first,
// so the body is not left waiting for a user who can no longer answer.
void TFrmMain::FormDestroy() {
    TimerMain->stop();
    TimerMoniter->stop();
    FRunBoxes.CloseAll();
    {
        TCommandWaits::TScope wait(FWaits);
        Execution.Dispose(Poll());
    }
    CatchUpMoniter();
}

// Closing ends the run thread at once; while a wait of the execution is in progress the
// close is deferred until it has ended.
void TFrmMain::closeEvent(QCloseEvent* event) {
    if (FWaits.Waiting()) {
        FWaits.DeferClose([this] { close(); });
        event->ignore();
        return;
    }
    Command(&TFrmMain::FormDestroy);
    QMainWindow::closeEvent(event);
}
