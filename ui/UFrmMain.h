#pragma once
#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "UCommandWaits.h"
#include "UDebugSession.h"
#include "UDebugger.h"
#include "UExecution.h"
#include "UExecutionCommands.h"
#include "URunBoxes.h"
#include "Uccpu.h"

class QAction;
class QFileDialog;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class TCodeTab;
class TKeyHold;
class TMemoryTools;
class TMoniterView;
class TRegisterPanel;

// The main window: owns the one CPU, carries every command in its menus and toolbar, and
// shows the machine in the register panel and the memory tools.
//
// Every handler runs on the window's thread through RunCommand, so an exception ends the
// handler in the application's error box and never crosses a Qt frame.
//
// The run thread reports through TRunHost on its own thread; the window posts those reports
// to its thread and shows them with QMessageBox::open(), so no box ever nests an event loop
// inside a wait for the run thread.
class TFrmMain : public QMainWindow, public TRunHost {
    Q_OBJECT
  public:
    // Builds the controls, then the CPU (reset, 10000 zero bytes). Sets FrmMain to itself.
    // The program runs its thread at the idle priority; tests and benchmarks choose Normal.
    explicit TFrmMain(TThreadPriority priority = TThreadPriority::Idle);
    ~TFrmMain() override;

    // The only way the window touches Cpu: f(Cpu) runs while this thread holds the CPU
    // hand-over, so a run thread is parked at an instruction boundary meanwhile (and gets
    // the CPU back also when f throws). Keep f short: copy out, then update widgets.
    // The monitor is brought up to date first, so whatever f reads is never ahead of it.
    template <class F> decltype(auto) WithCpu(F&& f) {
        TRunControl::THandOver guard = Execution.HandOver();
        CatchUpMoniter();
        return std::forward<F>(f)(Cpu);
    }

    TCCPU Cpu;
    // The debug session of the loaded image: its debug information, breakpoints, watchpoints
    // and stepping, paired with Execution (which it only binds to here). Declared before
    // Execution, so it outlives the run thread whose decision hook refers to its debugger.
    TDebugSession Session{Cpu, Execution};
    // The session's debugger: touched only while this thread holds the CPU.
    TDebugger& Debugger = Session.Debugger();
    // Execution control: the control word, the run thread and the monitor log. Declared
    // after Cpu, so it (and its thread) is gone before the CPU.
    TExecution Execution;
    // The execution commands that act on the CPU; the handlers below turn their results into
    // the window's texts and boxes.
    TExecutionCommands ExecutionCommands{Cpu, Execution};
    // The run flags are the execution's: Running is the control word's Running bit.
    bool Running() const { return Execution.IsRunning(); }
    int64_t ViewBegin = 0;
    int64_t ViewCount = 128;
    std::unique_ptr<TThreadRun>& RunThread = Execution.RunThread;
    std::atomic<bool>& ThreadActive = Execution.ThreadActive;

    // The monitor shows every line the log holds; called by a timer during a run and before
    // every command, refresh and box.
    void CatchUpMoniter();

    // Register panel transfers (CPU to boxes, boxes to CPU) and the memory tools' commands.
    void GetArgsToEdit();
    void EditToArgs();
    void BtnFlashClick();
    void BtnSetMemorySizeClick();

    // Menu and toolbar commands; a toolbar button shares its menu entry's handler.
    void MnuOpenClick();
    // Open without its dialog, through the command guard: the program's start with a file
    // argument. path is absolute.
    void OpenImageFile(const QString& path);
    // A file named by the user (Open's dialog, the command line): a C or assembly source
    // (.c, .h, .s, .asm) asks whether to build it, open it as raw bytes or do nothing; any
    // other file is opened as Open opens it. path is absolute.
    void OpenGivenFile(const QString& path);
    void MnuExitClick();
    void MnuResetClick();
    void MnuStepClick();
    void MnuRunClick();
    void MnuPluaseClick();
    void MnuResumeClick();
    void MnuStopClick();
    void MnuClearInfoClick();
    void MnujClearMessageClick();
    void MnuClearMoniterClick();
    void MnuClearAllClick();
    void MnuContentClick();
    void MnuShowInfoClick();
    void MnuWebClick();
    void MnuAboutClick();
    void FormShow();
    void FormDestroy();
    void TimerMainTimer();
    void MemoMessageKeyDown(QKeyEvent* event);
    void MemoMessageKeyUp(QKeyEvent* event);

    // The code tab's debugger commands (UFrmMainDebug.cpp). Each starts like Resume from the
    // current state (a paused run goes on; with no run alive a new body starts, without a
    // reset) and ends paused at its stop, or as any run ends; while a run goes on they do
    // nothing but say so in MemoInfo. Without a line table the line steps are the
    // instruction steps.
    void StepOverClick();     // instruction step over
    void StepOutClick();      // Shift+F11
    void RunToCursorClick();  // Ctrl+F10 or F4, to RunToAddress
    void LineStepIntoClick(); // source line step into
    void LineStepOverClick(); // source line step over
    uint64_t RunToAddress = 0;
    bool RunToWholeLine = false; // the cursor was on a source line: every range of its code

    // The 调试Debug menu's own commands (UFrmMainMenus.cpp).
    void MnuDebugContinueClick();    // F5: Resume when paused, otherwise Run
    void MnuDebugStopClick();        // Shift+F5: ends a running or paused run
    void MnuDebugStepOverClick();    // F10: a line in the source and mixed views, else an instruction
    void MnuDebugStepIntoClick();    // F11: the same choice as F10
    void MnuDebugRunToCursorClick(); // to the code view's cursor row
    void MnuDebugBreakpointClick();  // F9 at the cursor row (else the current one)

    // After a failed build: true when the command that executes the program may go on. The
    // first command after the failure asks whether to run the earlier program; No shows the
    // first error. Once answered Yes, it is not asked again until the next failed build.
    bool MayRunAfterFailedBuild();
    // Keys kept free for the commands to come (save; build and run; the reverse steps): no
    // action of the window has them.
    static const QList<QKeySequence>& ReservedKeys();

    QMenuBar* MnuMain = nullptr;
    QMenu* MnuFile = nullptr;
    QAction* MnuOpen = nullptr;
    QAction* N1 = nullptr;
    QAction* MnuExit = nullptr;
    QMenu* MnuSystem = nullptr;
    QAction* MnuReset = nullptr;
    QAction* N3 = nullptr;
    QAction* MnuStep = nullptr;
    QAction* MnuRun = nullptr;
    QAction* MnuPluase = nullptr;
    QAction* MnuResume = nullptr;
    QAction* MnuStop = nullptr;
    // 调试Debug, after the CPU menu: every debugger command with its key.
    QMenu* MnuDebug = nullptr;
    QAction* MnuDebugContinue = nullptr;
    QAction* MnuDebugStop = nullptr;
    QAction* MnuDebugBreakpoint = nullptr;
    QAction* MnuDebugStepOver = nullptr;
    QAction* MnuDebugStepInto = nullptr;
    QAction* MnuDebugStepOut = nullptr;
    QAction* MnuDebugRunToCursor = nullptr;
    QAction* MnuDebugInstructionStepOver = nullptr;
    QAction* MnuDebugInstructionStepInto = nullptr;
    // In the File menu after MnuOpen: the code tab's source commands.
    QAction* MnuOpenSource = nullptr;
    QAction* MnuRebuild = nullptr;
    QMenu* MnuInfo = nullptr;
    QAction* MnuClearInfo = nullptr;
    QAction* MnujClearMessage = nullptr;
    QAction* MnuClearMoniter = nullptr;
    QAction* N2 = nullptr;
    QAction* MnuClearAll = nullptr;
    QMenu* MnuHelp = nullptr;
    QAction* MnuContent = nullptr;
    QAction* MnuShowInfo = nullptr;
    QAction* MnuWeb = nullptr;
    QAction* N4 = nullptr;
    QAction* MnuAbout = nullptr;

    QToolBar* ToolBar = nullptr;
    QToolButton* TBtnOpen = nullptr;
    QAction* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QAction* ToolButton4 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* ToolButton7 = nullptr;

    QTabWidget* PageCPU = nullptr;
    TRegisterPanel* TabRegs = nullptr;
    TMemoryTools* TabMemory = nullptr;
    TCodeTab* TabCode = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* PanelBottom = nullptr;
    QTabWidget* PageInfo = nullptr;
    QWidget* TabInfo = nullptr;
    QWidget* TabMesage = nullptr;
    QWidget* TabSheet1 = nullptr;
    QPlainTextEdit* MemoInfo = nullptr;
    QPlainTextEdit* MemoMessage = nullptr;
    TMoniterView* MemoMoniter = nullptr;
    QStatusBar* StsBar = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    QFileDialog* OpenBinDlg = nullptr;
    QTimer* TimerMain = nullptr;
    // Brings MemoMoniter up to date at least every 50 ms while a run thread exists.
    QTimer* TimerMoniter = nullptr;

    // TRunHost, called on the run thread: both post to the window's thread and return.
    void RunEndMessageDue(uint64_t run) override;
    void RunFailed(uint64_t run, const std::string& message) override;
    void RunDebugStopped(uint64_t run, const TRunResult& result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Open's work after its dialog: loads the image at path, reports it in MemoInfo (or a
    // box), resets and refreshes.
    void LoadImageFile(const QString& path);
    // OpenGivenFile's work inside a command.
    void OpenChosenFile(const QString& path);
    void BuildMenus();
    // The Debug menu and the source entries of the File menu; their keys act wherever the
    // focus is in the window except in MemoMessage, whose keys belong to the keyboard port.
    void BuildDebugMenu();
    void ConnectDebugMenu();
    // A failed build leaves the loaded program in place: the code tab says so and the next
    // command that executes it asks first (MayRunAfterFailedBuild).
    void BuildFailed();
    // Shows the build panel with the first error of the last build.
    void ShowFirstBuildError();
    void BuildToolBar();
    void BuildPages();
    void BuildBottom();
    void ConnectCommands();
    // Runs handler as a command (see RunCommand).
    void Command(void (TFrmMain::*handler)());
    QToolButton* AddToolButton(const char* name, int image, const QString& hint, void (TFrmMain::*handler)());

    // Waits of the execution (Run, Stop, disposal) serve the window's events through this
    // hook. Commands that would replace the thread or the window meanwhile are deferred.
    TExecution::TPollHook Poll();
    // Before Open's and the re-size's own work: a running or paused run is ended as a
    // replacing Run ends it (no end message; a later Resume continues nothing) and
    // "运行已停止。" is written to MemoInfo. A body that waits for its end message has finished
    // already: its box is closed and nothing is written.
    void ReportEndedRun(const TExecutionCommands::TEndedRun& ended);
    // Starts the plan that make builds from the CPU and the source map (see StepOverClick).
    void RunPlan(const TDebugSession::TMakePlan& make);
    // On the window's thread after the run stopped for the debugger: the stop's line in
    // MemoInfo, then the refresh that a pause gives.
    void ShowDebugStop(uint64_t run);
    // On the window's thread when a run asks for its end message: for a program whose debug
    // information marks an abnormal end (a stack overflow, a failed assert, abort()) and
    // that ended so, the box and MemoInfo line that say what happened and where; else the
    // end message.
    void ShowRunEnd(uint64_t run);
    void ConnectDebugCommands();
    // After Open loaded an image: its debug information for the code tab and the debugger.
    // Returns the line for MemoInfo when a .dbg beside it was ignored, else empty.
    QString OpenDebugInfo(const QString& imagePath);
    // What the debug information beside an image file asks for (0: nothing, or none).
    uint64_t MemoryAskedFor(const QString& imagePath);
    // After Open: when the debug information (the loaded one, or for a refused image the one
    // beside it that belongs to the file) asks for more memory than the machine has, the
    // offer of AskForMemory, and the image is opened again once the memory has that size.
    void OfferMemorySize(const QString& imagePath, bool loaded);
    // When needed is more than the memory size, a box offers that size: Yes re-sizes (with
    // the re-size's own messages), No leaves it and writes the shortage to MemoInfo. True
    // when the memory now has that size.
    bool AskForMemory(uint64_t needed);
    // A build from the code tab succeeded: Open without its dialog, then the source view.
    void OpenBuiltImage(const QString& image);

    // Set by a failed build, cleared by every image that loads.
    bool FFailedBuild = false;
    // The failure has been answered "run the earlier program": not asked again.
    bool FFailedBuildAnswered = false;
    QString FLoadedImage; // the image last opened, empty while none is
    bool FShown = false;
    bool FDestroying = false;
    TCommandWaits FWaits{this};
    TRunBoxes FRunBoxes{this, [this] { CatchUpMoniter(); }};
    // Feeds MemoMessageKeyDown/Up from MemoMessage. Declared after Cpu, so it is gone
    // (and watches nothing) before the CPU.
    std::unique_ptr<TKeyHold> FKeyHold;
};

// The one main window, set by its constructor and cleared by its destructor.
extern TFrmMain* FrmMain;
