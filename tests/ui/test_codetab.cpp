// The code tab as a user meets it: the tab itself, an assembled image opened with its debug
// information (source shown, the line at IPOffset marked after each step), a debug
// information file of another image ignored, breakpoints from the margin and F9, and the
// changed registers marked.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>

#include "UAsmProgram.h"
#include "UAssembler.h"
#include "UCodeTab.h"
#include "UCodeView.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UModalDriver.h"
#include "URegisterPanel.h"
#include "UWindowFixture.h"

namespace {

// Endless, so that a run meets any breakpoint on the loop's lines.
const char* const Source = "        .start\n"
                           "        LDI  R1, 5\n"
                           "        LDI  R2, 7        ; line 3\n"
                           "        LDA  R6, loop\n"
                           "loop:   ADD  R3, R1, R2   ; line 5\n"
                           "        INC  R1, R1\n"
                           "        JMP  R6\n";

// A call for the steps: F10 on line 3 stops on line 4 with the call done.
const char* const CallSource = "        .start\n"
                               "        LDA  R6, sub\n"
                               "        CALL R6           ; line 3\n"
                               "        LDI  R1, 1        ; line 4\n"
                               "        LDA  R7, loop\n"
                               "loop:   JMP  R7           ; line 6\n"
                               "sub:    LDI  R2, 2\n"
                               "        RET\n";

} // namespace

class TCodeTabTest : public TWindowFixture {
    Q_OBJECT
    QTemporaryDir Temp;

    // Assembles Source into name.bin, name.dbg and name.s in the temporary folder.
    QString Build(const QString& name, const char* text = Source) {
        const TAsmProgramFiles files = WriteAsmProgram(Temp, name, text);
        if (!files.DebugInfoError.empty()) qWarning("no .dbg written");
        return files.Image;
    }
    void Open(const QString& path) {
        TModalDriver driver;
        driver.FileToChoose = path;
        driver.Run([&] { Window->MnuOpen->trigger(); });
        QVERIFY(driver.DialogSeen);
    }
    void Step(int times) {
        for (int i = 0; i < times; ++i)
            Window->MnuStep->trigger();
    }
    TCodeTab* Tab() { return Window->TabCode; }
    TCodeView* View() { return Window->findChild<TCodeView*>(QStringLiteral("CodeView")); }
    QString CurrentText() { return View()->RowText(View()->CurrentRow()); }
    size_t BreakpointCount() {
        return Window->WithCpu([this](TCCPU&) { return Window->Debugger.Breakpoints().Items().size(); });
    }

  private slots:
    void TabAfterTheMemoryTools() {
        auto* pages = Window->findChild<QTabWidget*>(QStringLiteral("PageCPU"));
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->widget(1)->objectName(), QStringLiteral("TabMemory"));
        QCOMPARE(pages->widget(2)->objectName(), QStringLiteral("TabCode"));
        QCOMPARE(pages->tabText(2), QStringLiteral("代码Code"));
        QCOMPARE(pages->currentIndex(), 0);
    }

    // The source shows; after each step the marked line is the one IPOffset's code came
    // from, also in the mixed and disassembly views; the start's words are line 1.
    void SourceFollowsSteps() {
        Open(Build(QStringLiteral("prog")));
        QCOMPARE(Window->MemoInfo->toPlainText().split(u'\n').last(), QStringLiteral("复位成功！"));
        Window->PageCPU->setCurrentWidget(Tab());
        auto* mode = Window->findChild<QComboBox*>(QStringLiteral("CodeMode"));
        mode->setCurrentIndex(1);
        QVERIFY(View()->VisibleText().contains(QStringLiteral("LDA  R6, loop")));
        QVERIFY(CurrentText().startsWith(QStringLiteral("    1  ")));
        const int start = static_cast<int>(TAssembler::StartWords().size());
        Step(start);
        QVERIFY2(CurrentText().startsWith(QStringLiteral("    2  ")), qPrintable(CurrentText()));
        Step(1);
        QVERIFY2(CurrentText().endsWith(QStringLiteral("; line 3")), qPrintable(CurrentText()));
        Step(2); // LDI R2, LDA R6: the loop
        QVERIFY(CurrentText().contains(QStringLiteral("ADD  R3, R1, R2")));
        mode->setCurrentIndex(2);
        QVERIFY2(CurrentText().contains(QStringLiteral("ADD R3, R1, R2")), qPrintable(CurrentText()));
        mode->setCurrentIndex(0);
        QVERIFY(CurrentText().contains(QStringLiteral("ADD R3, R1, R2")));
        Step(3); // round the loop: the mark comes back to ADD
        QVERIFY(CurrentText().contains(QStringLiteral("ADD R3, R1, R2")));
        QVERIFY(View()->VisibleText().contains(QStringLiteral("loop:")));
    }

    // After a step the boxes whose values it changed are marked, their texts as always;
    // Run clears the marks.
    void ChangedRegistersMarked() {
        Open(Build(QStringLiteral("marks")));
        Step(static_cast<int>(TAssembler::StartWords().size()) + 1); // LDI R1, 5
        TRegisterPanel* panel = Window->TabRegs;
        const auto row = [](const char* name) {
            for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
                if (std::string_view(TCCPUBase::PanelRegisterNames[i]) == name) return i;
            return -1;
        };
        QVERIFY(panel->IsMarked(row("R1")) && panel->IsMarked(row("IPOffset")));
        QVERIFY(!panel->IsMarked(row("R2")) && !panel->IsMarked(row("SP")));
        QCOMPARE(panel->EditR1->text(), QStringLiteral("0000000000000005"));
        Step(1);
        QVERIFY(!panel->IsMarked(row("R1")) && panel->IsMarked(row("R2")));
        Window->MnuRun->trigger();
        for (int i = 0; i < TRegisterPanel::BoxCount; ++i)
            QVERIFY(!panel->IsMarked(i));
        Window->MnuStop->trigger();
    }

    // A .dbg that belongs to another image is ignored with one line; the view is then the
    // disassembly alone.
    void MismatchIgnored() {
        const QString image = Build(QStringLiteral("other"));
        std::fstream(image.toStdString(), std::ios::binary | std::ios::in | std::ios::out).put('\x7f');
        Open(image);
        const QStringList lines = Window->MemoInfo->toPlainText().split(u'\n');
        QVERIFY2(lines.last().startsWith(QStringLiteral("调试信息已忽略。Debug information ignored: ")),
                 qPrintable(lines.last()));
        QCOMPARE(lines[lines.size() - 2], QStringLiteral("复位成功！"));
        auto* mode = Window->findChild<QComboBox*>(QStringLiteral("CodeMode"));
        QCOMPARE(mode->currentIndex(), 0);
        QVERIFY(!qobject_cast<QStandardItemModel*>(mode->model())->item(1)->isEnabled());
        QVERIFY(Tab()->Listing().RowCount(TCodeListing::TMode::Disassembly) > 0);
    }

    // The margin toggles; F9 acts inside PageCPU only: typed in MemoMessage it reaches the
    // keyboard port and sets nothing.
    void MarginAndF9() {
        Open(Build(QStringLiteral("keys")));
        Window->PageCPU->setCurrentWidget(Tab());
        // The closed file dialog may still hold the window system's focus for a moment.
        Window->activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), Window->windowHandle());
        View()->setFocus();
        QTest::mouseClick(View()->viewport(), Qt::LeftButton, {},
                          QPoint(5, View()->fontMetrics().height() / 2));
        QCOMPARE(BreakpointCount(), size_t{1});
        auto* table = Window->findChild<QTableWidget*>(QStringLiteral("BreakpointTable"));
        QCOMPARE(table->rowCount(), 1);
        // Keys go in through the window, as the window system delivers them, to the focus.
        QWindow* window = Window->windowHandle();
        QTest::keyClick(window, Qt::Key_F9); // no cursor row: at the marked one, the same row
        QCOMPARE(BreakpointCount(), size_t{0});
        View()->SetCursorRow(3);
        QTest::keyClick(window, Qt::Key_F9);
        QCOMPARE(BreakpointCount(), size_t{1});
        Window->PageInfo->setCurrentWidget(Window->TabMesage);
        Window->MemoMessage->setFocus();
        QTest::keyPress(window, Qt::Key_F9);
        QVERIFY(Window->Cpu.Ports.Keyboard.Data.load() != 0);
        QTest::keyRelease(window, Qt::Key_F9);
        QCOMPARE(BreakpointCount(), size_t{1});
        // A condition that does not parse is shown in the list.
        table->item(0, TStopListPanel::ColCondition)->setText(QStringLiteral("R1 =="));
        QVERIFY(!table->item(0, TStopListPanel::ColStatus)->text().startsWith(QStringLiteral("正常")));
    }

    // The watch box's forms as the list shows them; a form it does not take is explained.
    void WatchForms_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // empty: refused
        QTest::newRow("default size, write") << "0x1800"
                                             << "[0x1800, 0x1808) write";
        QTest::newRow("size and read") << "4096 16 r"
                                       << "[0x1000, 0x1010) read";
        QTest::newRow("both") << "0x20 1 rw"
                              << "[0x20, 0x21) write/read";
        QTest::newRow("keyboard port") << "in"
                                       << "port 0 input";
        QTest::newRow("monitor port") << "OUT"
                                      << "port 1 output";
        QTest::newRow("size 0") << "0x20 0"
                                << "";
        QTest::newRow("not a number") << "here"
                                      << "";
        QTest::newRow("too many words") << "1 2 w r"
                                        << "";
    }
    void WatchForms() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto* edit = Window->findChild<QLineEdit*>(QStringLiteral("EditWatchLocation"));
        auto* table = Window->findChild<QTableWidget*>(QStringLiteral("WatchTable"));
        edit->setText(typed);
        QTest::mouseClick(Window->findChild<QPushButton*>(QStringLiteral("BtnAddWatch")), Qt::LeftButton);
        QCOMPARE(table->rowCount(), shown.isEmpty() ? 0 : 1);
        if (!shown.isEmpty()) QCOMPARE(table->item(0, TStopListPanel::ColLocation)->text(), shown);
        QCOMPARE(Window->findChild<QLabel*>(QStringLiteral("WatchMessage"))->text().isEmpty(),
                 !shown.isEmpty());
    }

    // F10 runs a call to its return and F4 to the cursor's line, each ending paused with its
    // line in MemoInfo.
    void StepOverAndRunToCursor() {
        Open(Build(QStringLiteral("call"), CallSource));
        Window->PageCPU->setCurrentWidget(Tab());
        Window->activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), Window->windowHandle());
        Window->findChild<QComboBox*>(QStringLiteral("CodeMode"))->setCurrentIndex(1);
        Step(static_cast<int>(TAssembler::StartWords().size()) + 1);
        QVERIFY(CurrentText().contains(QStringLiteral("CALL R6")));
        View()->setFocus();
        QTest::keyClick(Window->windowHandle(), Qt::Key_F10);
        const QString stop = QStringLiteral("调试器暂停Debugger stop: ");
        QTRY_COMPARE(Window->MemoInfo->toPlainText().count(stop), 1);
        QVERIFY2(CurrentText().endsWith(QStringLiteral("; line 4")), qPrintable(CurrentText()));
        QCOMPARE(Window->Cpu.R[2], 2);
        QCOMPARE(Window->Cpu.R[1], 0);
        View()->SetCursorRow(6);
        QTest::keyClick(Window->windowHandle(), Qt::Key_F4);
        QTRY_COMPARE(Window->MemoInfo->toPlainText().count(stop), 2);
        QVERIFY2(CurrentText().endsWith(QStringLiteral("; line 6")), qPrintable(CurrentText()));
        QCOMPARE(Window->Execution.State(), TRunState::Paused);
        Window->MnuStop->trigger();
    }

    // A breakpoint set on a source line stops a run there, paused, with the reason in
    // MemoInfo; Resume runs the line and meets it again; a condition holds the run until it
    // is true.
    void BreakpointStopsRun() {
        Open(Build(QStringLiteral("run")));
        Window->PageCPU->setCurrentWidget(Tab());
        Window->activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), Window->windowHandle());
        Window->findChild<QComboBox*>(QStringLiteral("CodeMode"))->setCurrentIndex(1);
        View()->setFocus();
        View()->SetCursorRow(6); // row n is line n: the file's name is row 0
        QTest::keyClick(Window->windowHandle(), Qt::Key_F9);
        QCOMPARE(BreakpointCount(), size_t{1});
        // The stop is reported to the window's thread after the run has paused.
        auto stopsAtLine6 = [this](int stops) {
            QTRY_COMPARE(Window->MemoInfo->toPlainText().count(QStringLiteral("调试器暂停Debugger stop: ")),
                         stops);
            QCOMPARE(Window->Execution.State(), TRunState::Paused);
            QVERIFY2(CurrentText().contains(QStringLiteral("INC  R1, R1")), qPrintable(CurrentText()));
        };
        Window->MnuRun->trigger();
        stopsAtLine6(1);
        QCOMPARE(Window->Cpu.R[1], 5);
        Window->MnuResume->trigger();
        stopsAtLine6(2);
        QCOMPARE(Window->Cpu.R[1], 6);
        auto* table = Window->findChild<QTableWidget*>(QStringLiteral("BreakpointTable"));
        QCOMPARE(table->item(0, TStopListPanel::ColHits)->text(), QStringLiteral("2"));
        table->item(0, TStopListPanel::ColCondition)->setText(QStringLiteral("R1 == 9"));
        Window->MnuResume->trigger();
        stopsAtLine6(3);
        QCOMPARE(Window->Cpu.R[1], 9);
        Window->MnuStop->trigger();
    }
};

QTEST_MAIN(TCodeTabTest)
#include "test_codetab.moc"
