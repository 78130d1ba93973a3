// The window's execution commands (open, reset, step, run, pause, resume, stop, the refresh
// timer, the window's end), the keyboard port's key events and the run thread's reports.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <chrono>
#include <utility>

#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UKeyMap.h"
#include "ULoadStatus.h"
#include "UMoniterView.h"
#include "URegisterPanel.h"

namespace {

const QString Hint = QStringLiteral("系统提示");

// How long a refresh tick waits for the run thread to hand the CPU over before it skips
// the tick: a run that does not reach a boundary in time is refreshed at the next one.
constexpr std::chrono::milliseconds RefreshWait{20};

// The reason for a refused code image, in Chinese, then in English; statuses as LoadImage
// returns them.
QString LoadFailure(int32_t status) {
    const QString text = QString::fromUtf8(roz::LoadStatusText(roz::LoadStatusOf(status)).Window);
    return text.contains(QLatin1String("%1")) ? text.arg(status) : text;
}

void ShowHint(QWidget* parent, const QString& text, const char* name) {
    ShowMessageBox(parent, QMessageBox::NoIcon, Hint, text, QString::fromLatin1(name));
}

} // namespace

// Counts the execution's waits; when the outermost ends, the commands deferred meanwhile run.
class TFrmMain::TWaitScope {
  public:
    explicit TWaitScope(TFrmMain& window) : FWindow(window) { ++FWindow.FWaits; }
    ~TWaitScope() {
        if (--FWindow.FWaits == 0) FWindow.RunDeferred();
    }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

  private:
    TFrmMain& FWindow;
};

// The hook serves timers, posted reports and repaints, not the user's input: clicks and keys
// given during a wait of at most a few milliseconds are delivered after it. The destructor
// serves nothing, as the window is half gone by then.
TExecution::TPollHook TFrmMain::Poll() {
    if (FDestroying) return {};
    return [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
}

bool TFrmMain::DeferDuringWait(void (TFrmMain::*handler)()) {
    if (FWaits == 0) return false;
    if (!FDeferred.contains(handler)) FDeferred.append(handler);
    return true;
}

void TFrmMain::RunDeferred() {
    if (FDestroying || (FDeferred.isEmpty() && !FCloseDeferred)) return;
    QTimer::singleShot(0, this, [this] {
        const auto handlers = std::exchange(FDeferred, {});
        for (auto handler : handlers)
            Command(handler);
        if (std::exchange(FCloseDeferred, false)) close();
    });
}

// ---- the run thread's reports (run thread) ----

void TFrmMain::RunEndMessageDue(uint64_t run) {
    QMetaObject::invokeMethod(
        this, [this, run] { ShowEndMessage(run); }, Qt::QueuedConnection);
}

void TFrmMain::RunFailed(uint64_t, const std::string& message) {
    const QString text = QString::fromStdString(message);
    QMetaObject::invokeMethod(
        this, [this, text] { ShowRunFailure(text); }, Qt::QueuedConnection);
}

// ---- their boxes (window's thread) ----

QMessageBox* TFrmMain::OpenRunBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    CatchUpMoniter(); // the box reports the end of output the user should already see
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    FitCaption(box);
    FRunBoxes.removeAll(nullptr);
    FRunBoxes.append(box);
    return box;
}

void TFrmMain::ShowEndMessage(uint64_t run) {
    // A run ended or replaced since it posted this (Open, a re-size, Run, closing) waits for
    // no message any more.
    if (run != Execution.RunNumber() || Execution.Control.Released()) return;
    QMessageBox* box =
        OpenRunBox(QMessageBox::NoIcon, QString::fromUtf8(EndCaption), QString::fromUtf8(EndMessage));
    box->setObjectName(QStringLiteral("EndMessage"));
    // The body waits for this with ThreadActive still set; a close for a run that has been
    // replaced meanwhile is ignored by the execution.
    connect(box, &QDialog::finished, this, [this, run] { Execution.EndMessageClosed(run); });
    box->open();
}

// The application's error box, as for a failing step, but without a nested event loop.
void TFrmMain::ShowRunFailure(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && !text.endsWith(u'.')) text += u'.';
    QMessageBox* box = OpenRunBox(QMessageBox::Critical, QCoreApplication::applicationName(), text);
    box->setObjectName(QStringLiteral("ErrorBox"));
    box->open();
}

void TFrmMain::CloseRunBoxes() {
    for (const QPointer<QMessageBox>& box : std::exchange(FRunBoxes, {}))
        if (box) box->done(QMessageBox::Ok);
}

void TFrmMain::EndRunForCommand() {
    const TRunState state = Execution.State();
    if (state == TRunState::NeverRun || state == TRunState::Finished) return;
    CloseRunBoxes(); // an end message open now belongs to this run, which has finished
    {
        TWaitScope wait(*this);
        Execution.End(Poll());
    }
    if (state == TRunState::Running || state == TRunState::Paused)
        MemoInfo->appendPlainText(QStringLiteral("运行已停止。The run was stopped."));
}

// ---- commands ----

void TFrmMain::MnuOpenClick() {
    if (DeferDuringWait(&TFrmMain::MnuOpenClick)) return;
    if (OpenBinDlg->exec() != QDialog::Accepted) return;
    const QString path = QDir::toNativeSeparators(OpenBinDlg->selectedFiles().value(0));
    if (path.isEmpty()) return;
    // The next showing starts in the folder of this file (the dialog is kept for the session).
    OpenBinDlg->setDirectory(QFileInfo(path).absolutePath());
    // A run would go on with the new image without Run being pressed.
    EndRunForCommand();
    const std::string fileName = QFile::encodeName(path).toStdString();
    const int32_t status = WithCpu([&](TCCPU& cpu) { return cpu.Memory.LoadImage(fileName); });
    // Only a loaded image is announced; a refused one is explained, in MemoInfo on one line
    // and in a box, and memory stays as it was.
    if (status == 0) {
        MemoInfo->appendPlainText(QStringLiteral("已打开Bin文件:") + path);
    } else {
        const QString reason = LoadFailure(status);
        MemoInfo->appendPlainText(QStringLiteral("装入Bin文件失败:") + path + u' ' +
                                  QString(reason).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        ShowHint(this, QStringLiteral("装入Bin文件失败:") + path + QStringLiteral("\r\n") + reason,
                 "OpenFailed");
    }
    WithCpu([](TCCPU& cpu) { cpu.Reset(); });
    MemoInfo->appendPlainText(QStringLiteral("复位成功！"));
    BtnFlashClick();
    GetArgsToEdit();
}

// The panel keeps its values until the next refresh.
void TFrmMain::MnuResetClick() {
    WithCpu([](TCCPU& cpu) { cpu.Reset(); });
    MemoInfo->appendPlainText(QStringLiteral("复位成功！"));
}

// During a run the step takes the CPU between two instructions; the run goes on from the
// stepped state. Division by zero leaves the handler through the command guard's error box,
// so the panel is not refreshed then.
void TFrmMain::MnuStepClick() {
    const int64_t status = WithCpu([](TCCPU& cpu) { return cpu.FetchAndExecute(cpu.IPOffset); });
    CatchUpMoniter();
    if (status == FetchEndOfImage) ShowHint(this, QStringLiteral("已经是最后一行程序！"), "LastLine");
    GetArgsToEdit();
}

// The execution disposes of the old thread before the reset, so no old body runs after it.
void TFrmMain::MnuRunClick() {
    if (DeferDuringWait(&TFrmMain::MnuRunClick)) return;
    TimerMain->start();
    {
        TWaitScope wait(*this);
        Execution.Run(Poll());
    }
    TimerMoniter->start();
}

void TFrmMain::MnuPluaseClick() {
    if (!Execution.Pause()) return; // never run: nothing at all
    GetArgsToEdit();
}

void TFrmMain::MnuResumeClick() {
    if (!Execution.Resume()) return;
    GetArgsToEdit();
    TimerMain->start();
    TimerMoniter->start();
}

// Waits until the body has ended (or parked, or waits for its end message), at most 100 ms;
// a paused run stays paused.
void TFrmMain::MnuStopClick() {
    TimerMain->stop(); // first: the wait serves timers
    {
        TWaitScope wait(*this);
        Execution.Stop(Poll());
    }
    GetArgsToEdit();
}

void TFrmMain::TimerMainTimer() {
    {
        TRunControl::THandOver guard = Execution.HandOver(RefreshWait);
        if (!guard.Acquired()) return; // the next tick tries again
        // The tick comes every 500 ms during a run: a box the user is typing into keeps its
        // text until BtnEditToArgs writes it or a command refreshes the panel.
        TabRegs->Display(WithCpu([](TCCPU& cpu) { return TRegisterPanel::Read(cpu); }),
                         TRegisterPanel::KeepTyped);
    }
    if (!Running()) TimerMain->stop();
}

// The key word is one atomic store: no hand-over, so typing never waits for the run thread.
// A modifier key counts as held in its own press, as Windows reports it (X11 reports the
// modifiers from before the press).
void TFrmMain::MemoMessageKeyDown(QKeyEvent* event) {
    Qt::KeyboardModifiers modifiers = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Shift:
        modifiers |= Qt::ShiftModifier;
        break;
    case Qt::Key_Control:
        modifiers |= Qt::ControlModifier;
        break;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        modifiers |= Qt::AltModifier;
        break;
    default:
        break;
    }
    Cpu.Ports.Keyboard.Data.store(
        TKeyboardPort::KeyWord(WindowsVirtualKey(event->key(), modifiers), modifiers & Qt::ShiftModifier,
                               modifiers & Qt::AltModifier, modifiers & Qt::ControlModifier),
        std::memory_order_relaxed);
}

void TFrmMain::MemoMessageKeyUp(QKeyEvent*) {
    Cpu.Ports.Keyboard.Data.store(0, std::memory_order_relaxed);
}

// The run thread must have ended before Cpu goes. A box the body waits for is closed first,
// so the body is not left waiting for a user who can no longer answer.
void TFrmMain::FormDestroy() {
    TimerMain->stop();
    TimerMoniter->stop();
    CloseRunBoxes();
    {
        TWaitScope wait(*this);
        Execution.Dispose(Poll());
    }
    CatchUpMoniter();
}

// Closing ends the run thread at once; while a wait of the execution is in progress the
// close is deferred until it has ended.
void TFrmMain::closeEvent(QCloseEvent* event) {
    if (FWaits > 0) {
        FCloseDeferred = true;
        event->ignore();
        return;
    }
    Command(&TFrmMain::FormDestroy);
    QMainWindow::closeEvent(event);
}
