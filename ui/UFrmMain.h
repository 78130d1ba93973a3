#pragma once
#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <utility>

#include "URunControl.h"
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
class TMemoryTools;
class TRegisterPanel;

// The main window: owns the one CPU, carries every command in its menus and toolbar, and
// shows the machine in the register panel and the memory tools.
//
// Every handler runs on the window's thread through RunCommand, so an exception ends the
// handler in the application's error box and never crosses a Qt frame.
class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the controls, then the CPU (reset, 10000 zero bytes). Sets FrmMain to itself.
    TFrmMain();
    ~TFrmMain() override;

    // The only way the window touches Cpu: f(Cpu) runs while this thread holds the CPU
    // hand-over, so a run thread is parked at an instruction boundary meanwhile (and gets
    // the CPU back also when f throws). Keep f short: copy out, then update widgets.
    template <class F> decltype(auto) WithCpu(F&& f) {
        TRunControl::THandOver guard(Control);
        return std::forward<F>(f)(Cpu);
    }

    TCCPU Cpu;
    // The control word shared with the run thread; Running() is its Running bit.
    TRunControl Control;
    bool Running() const { return Control.IsRunning(); }
    int64_t ViewBegin = 0;
    int64_t ViewCount = 128;
    std::atomic<bool> ThreadActive{false};

    // Register panel transfers (CPU to boxes, boxes to CPU) and the memory tools' commands.
    void GetArgsToEdit();
    void EditToArgs();
    void BtnFlashClick();
    void BtnSetMemorySizeClick();

    // Menu and toolbar commands; a toolbar button shares its menu entry's handler.
    void MnuOpenClick();
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
    QSplitter* Splitter1 = nullptr;
    QWidget* PanelBottom = nullptr;
    QTabWidget* PageInfo = nullptr;
    QWidget* TabInfo = nullptr;
    QWidget* TabMesage = nullptr;
    QWidget* TabSheet1 = nullptr;
    QPlainTextEdit* MemoInfo = nullptr;
    QPlainTextEdit* MemoMessage = nullptr;
    // A widget of its own so that the monitor log's view can take its place.
    QPlainTextEdit* MemoMoniter = nullptr;
    QStatusBar* StsBar = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    QFileDialog* OpenBinDlg = nullptr;
    QTimer* TimerMain = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildPages();
    void BuildBottom();
    void ConnectCommands();
    // Runs handler as a command (see RunCommand).
    void Command(void (TFrmMain::*handler)());
    QToolButton* AddToolButton(const char* name, int image, const QString& hint, void (TFrmMain::*handler)());

    bool FShown = false;
};

// The one main window, set by its constructor and cleared by its destructor.
extern TFrmMain* FrmMain;
