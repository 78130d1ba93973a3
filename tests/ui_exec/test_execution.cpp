// The execution commands as a user gives them: open (the real file dialog), reset, step,
// run, pause, resume, stop, the refresh timer and closing the window, on a real run thread.
#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UMemoryTools.h"
#include "UModalDriver.h"
#include "UMoniterView.h"
#include "URegisterPanel.h"
#include "UWindowFixture.h"

namespace {

QString Program(const char* name) {
    return QStringLiteral(ROZ_EXEC_PROGRAMS "/%1.bin").arg(QLatin1String(name));
}

// The IPOffset at which a single-stepped copy of the program meets its division by zero.
int64_t DivisionAddress() {
    TCCPU cpu;
    cpu.Memory.LoadImage(Program("divzero").toStdString());
    try {
        for (int i = 0; i < 100; ++i)
            cpu.FetchAndExecute(cpu.IPOffset);
    } catch (const TDivisionByZero&) {
        return cpu.IPOffset;
    }
    return -1;
}

// The instructions that single steps execute from a reset to the program's end.
uint64_t InstructionsOf(const char* name) {
    TCCPU cpu;
    cpu.Memory.LoadImage(Program(name).toStdString());
    uint64_t count = 0;
    while (cpu.FetchAndExecute(cpu.IPOffset) == FetchExecuted)
        ++count;
    return count;
}

} // namespace

class TExecutionTest : public TWindowFixture {
    Q_OBJECT
    QTemporaryDir Temp;

    QAction* Entry(const char* name) { return Window->findChild<QAction*>(QString::fromLatin1(name)); }
    QString Panel(const char* box) { return Window->findChild<QLineEdit*>(QString::fromLatin1(box))->text(); }
    QStringList InfoLines() { return Window->MemoInfo->toPlainText().split(u'\n'); }
    QString Moniter() { return Window->MemoMoniter->property("plainText").toString(); }
    void Load(const char* program) {
        QCOMPARE(
            Window->WithCpu([&](TCCPU& cpu) { return cpu.Memory.LoadImage(Program(program).toStdString()); }),
            0);
    }
    // Starts a run of a program that never ends and waits until it has counted a little.
    void RunForever() {
        Load("forever");
        Entry("MnuRun")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        QTRY_VERIFY(Window->WithCpu([](TCCPU& cpu) { return cpu.R[1]; }) > 1000);
    }
    int64_t R1() {
        return Window->WithCpu([](TCCPU& cpu) { return cpu.R[1]; });
    }

    void AfterClose() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<QMessageBox*>(w), "a box outlived the window");
    }

  private slots:
    // The real dialog chooses the file; the file is then taken away or replaced (when the
    // dialog has accepted it) to reach the load's failures.
    void Open_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("reason");
        QTest::newRow("loaded") << "print3" << QString();
        QTest::newRow("missing") << "gone"
                                 << "文件不存在\r\nFile does not exist";
        QTest::newRow("unreadable") << "directory"
                                    << "文件无法读取\r\nFile cannot be read";
        QTest::newRow("empty") << "empty"
                               << "文件为空\r\nFile is empty";
        QTest::newRow("too long") << "long"
                                  << "文件长度不小于内存大小\r\nFile is not shorter than memory";
        QTest::newRow("named pipe") << "fifo"
                                    << "不是普通文件\r\nNot a regular file"; // no writer: must not block
    }
    void Open() {
        QFETCH(QString, make);
        QFETCH(QString, reason);
        Load("clearbatch"); // what a refused image must leave in memory
        const int64_t usedBefore = Window->Cpu.Memory.UsedLength();
        Window->Cpu.IPOffset = 48;
        const QString path = make == "print3" ? Program("print3") : Temp.filePath(make + ".bin");
        QFile file(path);
        if (make == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (make != "print3") {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(make == "long" ? 10000 : make == "empty" ? 0 : 16, '\x01'));
            file.close();
        }
        QObject::connect(Window->OpenBinDlg, &QFileDialog::fileSelected, this, [&] {
            if (make == "gone" || make == "directory") QVERIFY(QFile::remove(path));
            if (make == "directory") QVERIFY(QDir().mkdir(path));
        });
        TModalDriver driver;
        driver.FileToChoose = path;
        driver.Run([&] { Entry("MnuOpen")->trigger(); });
        QDir().rmdir(path);
        if (make == "fifo") QFile::remove(path);
        Window->OpenBinDlg->disconnect(this);

        QVERIFY(driver.DialogSeen);
        const QStringList lines = InfoLines();
        QCOMPARE(lines.last(), QStringLiteral("复位成功！"));
        if (reason.isEmpty()) {
            QVERIFY(driver.Boxes.isEmpty());
            QCOMPARE(lines.at(lines.size() - 2),
                     QStringLiteral("已打开Bin文件:") + QDir::toNativeSeparators(path));
            QCOMPARE(Window->Cpu.Memory.UsedLength(), QFileInfo(path).size());
        } else {
            QCOMPARE(driver.Boxes.size(), 1);
            QCOMPARE(driver.Boxes[0].Title, QStringLiteral("系统提示"));
            QCOMPARE(driver.Boxes[0].Text, QStringLiteral("装入Bin文件失败:") + path + "\r\n" + reason);
            QCOMPARE(driver.Boxes[0].Icon, QMessageBox::NoIcon);
            QCOMPARE(lines.at(lines.size() - 2),
                     QStringLiteral("装入Bin文件失败:") + path + " " + QString(reason).replace("\r\n", " "));
            QVERIFY(!Window->MemoInfo->toPlainText().contains(QStringLiteral("已打开Bin文件")));
            QCOMPARE(Window->Cpu.Memory.UsedLength(), usedBefore);
        }
        QCOMPARE(Window->Cpu.IPOffset, 0);
        QCOMPARE(Panel("EditIPOffset"), QStringLiteral("0000000000000000"));
        QVERIFY(!Window->TabMemory->MemoMemory->toPlainText().isEmpty()); // the viewer was refreshed
    }

    // Typed with the completer's popup up and accepted with Enter, as a user does: the popup
    // goes with the dialog, and the next showing starts in the chosen file's folder.
    void OpenDialogTypedWithEnter() {
        QTimer timer;
        bool popupSeen = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!name) return;
            if (name->text().isEmpty())
                return QTest::keyClicks(name, QFileInfo(Program("print3")).absolutePath() + "/print");
            if (!name->completer()->popup()->isVisible()) return;
            popupSeen = true;
            QTest::keyClicks(name, "3.bin");
            QTest::keyClick(name, Qt::Key_Return);
        });
        timer.start(20);
        Entry("MnuOpen")->trigger();
        timer.stop();
        QVERIFY(popupSeen);
        QCOMPARE(InfoLines().at(1), QStringLiteral("已打开Bin文件:") + Program("print3"));
        for (QCompleter* completer : Window->OpenBinDlg->findChildren<QCompleter*>())
            QVERIFY(!completer->popup()->isVisible());
        QCOMPARE(Window->OpenBinDlg->directory().absolutePath(), QFileInfo(Program("print3")).absolutePath());
    }

    void OpenCancelled() {
        Window->Cpu.IPOffset = 48;
        TModalDriver driver;
        driver.Run([&] { Entry("MnuOpen")->trigger(); });
        QVERIFY(driver.DialogSeen);
        QVERIFY(driver.Boxes.isEmpty());
        QCOMPARE(Window->MemoInfo->toPlainText(), QStringLiteral("就绪"));
        QCOMPARE(Window->Cpu.IPOffset, 48);
    }

    void Reset() {
        Window->Cpu.R[3] = 5;
        Entry("MnuReset")->trigger();
        QCOMPARE(InfoLines().last(), QStringLiteral("复位成功！"));
        QCOMPARE(Window->Cpu.R[3], 0);
        QCOMPARE(Window->Cpu.Version, 1);
    }

    // Only the end of the image is reported; every register stays, the panel is refreshed.
    void StepWhereNothingExecutes_data() {
        QTest::addColumn<qint64>("ipOffset");
        QTest::addColumn<bool>("reported");
        QTest::newRow("end of image") << qint64(-1) << true;
        QTest::newRow("negative") << qint64(-8) << false;
        QTest::newRow("two bytes before the memory end") << qint64(9998) << false;
        QTest::newRow("at the memory end") << qint64(10000) << false;
    }
    void StepWhereNothingExecutes() {
        QFETCH(qint64, ipOffset);
        QFETCH(bool, reported);
        Load("print3");
        Window->Cpu.IPOffset = ipOffset < 0 && reported ? Window->Cpu.Memory.UsedLength() : ipOffset;
        Window->Cpu.R[5] = 77;
        const int64_t before = Window->Cpu.IPOffset;
        for (int round = 0; round < 2; ++round) {
            TModalDriver driver;
            driver.Run([&] { Entry("MnuStep")->trigger(); });
            QCOMPARE(driver.Boxes.size(), reported ? 1 : 0);
            if (reported) {
                QCOMPARE(driver.Boxes[0].Text, QStringLiteral("已经是最后一行程序！"));
                QCOMPARE(driver.Boxes[0].Title, QStringLiteral("系统提示"));
            }
            QCOMPARE(Window->Cpu.IPOffset, before);
            QCOMPARE(Window->Cpu.R[5], 77);
            QCOMPARE(Panel("EditR5"), QStringLiteral("000000000000004D"));
        }
    }

    // The error box, IPOffset left at the failing word, the panel not refreshed; again on
    // a second step.
    void StepDivisionByZero() {
        Load("divzero");
        TModalDriver driver;
        for (int i = 0; i < 20 && driver.Boxes.isEmpty(); ++i)
            driver.Run([&] { Entry("MnuStep")->trigger(); });
        QCOMPARE(driver.Boxes.size(), 1);
        QCOMPARE(Moniter(), QStringLiteral("9"));
        QCOMPARE(Panel("EditR9"), QStringLiteral("0000000000000000"));
        Window->Cpu.R[9] = 5; // a refresh would show it
        driver.Run([&] { Entry("MnuStep")->trigger(); });
        QCOMPARE(driver.Boxes.size(), 2);
        for (const auto& box : driver.Boxes) {
            QCOMPARE(box.Name, QStringLiteral("ErrorBox"));
            QCOMPARE(box.Title, QStringLiteral("ROZIDUV2高级语言CPU机"));
            QCOMPARE(box.Text, QStringLiteral("Division by zero."));
            QCOMPARE(box.Icon, QMessageBox::Critical);
        }
        QCOMPARE(Window->Cpu.IPOffset, DivisionAddress());
        QCOMPARE(Panel("EditR9"), QStringLiteral("0000000000000000"));
    }

    // The body waits for the end message with ThreadActive set; once it is closed the run
    // has finished, and the timer refreshes the panel once more and stops.
    void RunToTheEndMessage() {
        Load("print3");
        Window->Cpu.R[7] = 9; // reset by Run
        Entry("MnuRun")->trigger();
        QVERIFY(Window->TimerMain->isActive());
        QMessageBox* box = WaitForRunBox(QStringLiteral("EndMessage"));
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("程序执行完毕！"));
        QCOMPARE(box->windowTitle(), QStringLiteral("系统提示"));
        QCOMPARE(Moniter(), QStringLiteral("1\n2\n3")); // all output is shown with the box
        QVERIFY(!Window->Running());
        QTest::qWait(100);
        QVERIFY(Window->ThreadActive);
        QCOMPARE(Window->Execution.State(), TRunState::Stopping);
        box->accept();
        QTRY_VERIFY(!Window->ThreadActive);
        QCOMPARE(Window->Execution.State(), TRunState::Finished);
        QTRY_VERIFY_WITH_TIMEOUT(!Window->TimerMain->isActive(), 2000);
        QCOMPARE(Panel("EditIPOffset").toLongLong(nullptr, 16), Window->Cpu.IPOffset);
        QCOMPARE(Panel("EditR7"), QStringLiteral("0000000000000000"));
    }

    // The code tab's run clock: every instruction of a run and of a step since the last
    // reset, as the last refresh read it (at the end, while paused, after a step; a reset
    // refreshes nothing).
    void RunClock() {
        auto* clock = Window->findChild<QLabel*>(QStringLiteral("RunClock"));
        QVERIFY(clock);
        const auto shown = [&] { return clock->text().section(u' ', -1).toULongLong(); };
        Load("print3");
        Entry("MnuRun")->trigger();
        QMessageBox* box = WaitForRunBox(QStringLiteral("EndMessage"));
        QVERIFY(box);
        box->accept();
        QTRY_VERIFY_WITH_TIMEOUT(!Window->TimerMain->isActive(), 2000);
        QCOMPARE(clock->text(), QStringLiteral("指令数Instructions: %1").arg(InstructionsOf("print3")));
        RunForever();
        Entry("MnuPluase")->trigger();
        const uint64_t paused = Window->WithCpu([](TCCPU& cpu) { return cpu.Clock; });
        QVERIFY(paused > 1000);
        QCOMPARE(shown(), paused);
        Entry("MnuStep")->trigger();
        QCOMPARE(shown(), paused + 1);
        Entry("MnuReset")->trigger(); // refreshes nothing: the next refresh shows it
        Entry("MnuStep")->trigger();
        QCOMPARE(shown(), 1u);
    }

    void RunDivisionByZero() {
        Load("divzero");
        Entry("MnuRun")->trigger();
        QMessageBox* box = WaitForRunBox(QStringLiteral("ErrorBox"));
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Division by zero."));
        QCOMPARE(box->windowTitle(), QStringLiteral("ROZIDUV2高级语言CPU机"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QCOMPARE(Moniter(), QStringLiteral("9"));
        QTRY_VERIFY(!Window->ThreadActive);
        QVERIFY(!Window->Running());
        QVERIFY(!WaitForRunBox(QStringLiteral("EndMessage"), 100));
        QCOMPARE(Window->Cpu.IPOffset, DivisionAddress());
        box->accept();
        QTRY_VERIFY_WITH_TIMEOUT(!Window->TimerMain->isActive(), 2000);
    }

    // Two steps on the window's thread while paused; the resumed run goes on from them.
    void PauseStepStepResume() {
        RunForever();
        Entry("MnuPluase")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Paused);
        QVERIFY(!Window->Running());
        const int64_t paused = R1();
        QCOMPARE(Panel("EditR1").toLongLong(nullptr, 16), paused);
        QTest::qWait(20);
        QCOMPARE(R1(), paused); // parked
        Window->Cpu.R[1] = 1'000'000'000;
        Entry("MnuStep")->trigger();
        Entry("MnuStep")->trigger(); // INC and JMP, in some order
        QCOMPARE(R1(), 1'000'000'001);
        QCOMPARE(Panel("EditR1").toLongLong(nullptr, 16), 1'000'000'001);
        Entry("MnuResume")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        QVERIFY(Window->TimerMain->isActive());
        QTRY_VERIFY(R1() > 1'000'001'000);
    }

    // Step and Reset during a run take the CPU between two instructions; the run goes on
    // from the state they left.
    void StepAndResetWhileRunning() {
        RunForever();
        Entry("MnuStep")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        Entry("MnuReset")->trigger();
        QCOMPARE(InfoLines().last(), QStringLiteral("复位成功！"));
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        QTRY_VERIFY(R1() > 1000); // counting again from the reset
    }

    // Stop leaves a paused run paused and the timer off; Resume continues it.
    void StopWhilePaused() {
        RunForever();
        Entry("MnuPluase")->trigger();
        Entry("MnuStop")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Paused);
        QVERIFY(!Window->TimerMain->isActive());
        QVERIFY(Window->ThreadActive);
        const int64_t stopped = R1();
        QTest::qWait(20);
        QCOMPARE(R1(), stopped);
        Entry("MnuResume")->trigger();
        QTRY_VERIFY(R1() > stopped + 1000);
    }

    void StopWhileRunning() {
        RunForever();
        Entry("MnuStop")->trigger();
        QCOMPARE(Window->Execution.State(), TRunState::Finished);
        QVERIFY(!Window->ThreadActive);
        QCOMPARE(Panel("EditR1").toLongLong(nullptr, 16), R1());
    }

    // A second Run restarts from the reset; a Run given during the first one's wait (from a
    // timer served by the wait) is deferred until that wait has ended, then runs.
    void RunWhileRunning() {
        RunForever();
        const uint64_t first = Window->Execution.RunNumber();
        QTimer::singleShot(0, Entry("MnuRun"), &QAction::trigger);
        Entry("MnuRun")->trigger();
        QTRY_COMPARE(Window->Execution.RunNumber(), first + 2);
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        QVERIFY(Window->RunThread);
    }

    // Open and the re-size end a running or paused run first (as a replacing Run does, with
    // no end message), say so, then do their work; Resume afterwards continues nothing.
    void CommandsThatEndTheRun_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("paused");
        QTest::newRow("open while running") << "open" << false;
        QTest::newRow("open while paused") << "open" << true;
        QTest::newRow("re-size while running") << "resize" << false;
        QTest::newRow("re-size while paused") << "resize" << true;
    }
    void CommandsThatEndTheRun() {
        QFETCH(QString, command);
        QFETCH(bool, paused);
        RunForever();
        if (paused) Entry("MnuPluase")->trigger();
        const int before = InfoLines().size();
        TModalDriver driver;
        if (command == "open") {
            driver.FileToChoose = Program("print3");
            driver.Run([&] { Entry("MnuOpen")->trigger(); });
            QCOMPARE(Window->Cpu.Memory.UsedLength(), QFileInfo(Program("print3")).size());
        } else {
            Window->TabMemory->EditSize->setText("20000");
            driver.Run([&] { Window->TabMemory->BtnSetMemorySize->click(); });
            QCOMPARE(Window->Cpu.Memory.Size(), 20000);
        }
        QVERIFY(driver.Boxes.isEmpty());
        QCOMPARE(Window->Execution.State(), TRunState::Finished);
        QCOMPARE(InfoLines().at(before), QStringLiteral("运行已停止。The run was stopped."));
        const int64_t ip = Window->Cpu.IPOffset;
        Entry("MnuResume")->trigger();
        QVERIFY(!WaitForRunBox(QStringLiteral("EndMessage"), 300));
        QCOMPARE(Window->Execution.State(), TRunState::Finished);
        QCOMPARE(Window->Cpu.IPOffset, ip);
        QCOMPARE(Moniter(), QString()); // print3 did not run
    }

    // What the user types during a run survives the 500 ms refresh until it is written; the
    // run then goes on from it (R5 is not touched by the loop, R1 counts on from its box).
    void EditToArgsWhileRunning() {
        RunForever();
        QLineEdit* r5 = Window->TabRegs->EditR5;
        r5->selectAll();
        QTest::keyClicks(r5, "abc");
        QTest::qWait(700); // at least one tick
        QCOMPARE(r5->text(), QStringLiteral("abc"));
        const int64_t written = Panel("EditR1").toLongLong(nullptr, 16);
        Window->TabRegs->BtnEditToArgs->click();
        QCOMPARE(InfoLines().last(), QStringLiteral("运行中已将输入的值放入CPU，程序从新值继续。"
                                                    "Values written; the run goes on from them."));
        QTRY_COMPARE_WITH_TIMEOUT(Panel("EditR5"), QStringLiteral("0000000000000ABC"), 2000);
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        QTRY_VERIFY(Panel("EditR1").toLongLong(nullptr, 16) > written);
        QCOMPARE(Window->WithCpu([](TCCPU& cpu) { return cpu.R[5]; }), 0xABC);
    }

    void PauseAndResumeBeforeAnyRun() {
        Window->Cpu.R[2] = 3;
        Entry("MnuPluase")->trigger();
        Entry("MnuResume")->trigger();
        QCOMPARE(Panel("EditR2"), QStringLiteral("0000000000000000")); // not refreshed
        QVERIFY(!Window->Running());
        QVERIFY(!Window->TimerMain->isActive());
        Entry("MnuStop")->trigger();
        QCOMPARE(Panel("EditR2"), QStringLiteral("0000000000000003"));
    }

    // Closing never waits for ever and leaves no thread and no box behind.
    void Close_data() {
        QTest::addColumn<QString>("state");
        QTest::newRow("running") << "running";
        QTest::newRow("paused") << "paused";
        QTest::newRow("end message open") << "end message";
    }
    void Close() {
        QFETCH(QString, state);
        if (state == "end message") {
            Load("print3");
            Entry("MnuRun")->trigger();
            QVERIFY(WaitForRunBox(QStringLiteral("EndMessage")));
        } else {
            RunForever();
            if (state == "paused") Entry("MnuPluase")->trigger();
        }
        QVERIFY(Window->close());
        QVERIFY(!Window->RunThread);
        QVERIFY(!Window->ThreadActive);
        QTRY_VERIFY(!WaitForRunBox(QStringLiteral("EndMessage"), 0));
    }

    // A close that arrives while Run waits for its thread is carried out after the wait.
    void CloseDuringRunIsDeferred() {
        Load("forever");
        QTimer::singleShot(0, Window.get(), &QWidget::close);
        Entry("MnuRun")->trigger();
        QVERIFY(Window->isVisible());
        QTRY_VERIFY(!Window->isVisible());
        QVERIFY(!Window->RunThread);
    }

    // During a run the view catches up by itself; clears empty it through the log.
    void MoniterDuringRun() {
        Load("clearbatch");
        Entry("MnuRun")->trigger();
        QMessageBox* box = WaitForRunBox(QStringLiteral("EndMessage"));
        QVERIFY(box);
        QCOMPARE(Moniter(), QStringLiteral("6\n7"));
        QCOMPARE(Window->MemoMoniter->LineCount(), 2);
        box->accept();
        Entry("MnuClearMoniter")->trigger();
        QCOMPARE(Moniter(), QString());
        Load("print3");
        Entry("MnuRun")->trigger();
        box = WaitForRunBox(QStringLiteral("EndMessage"));
        QVERIFY(box);
        box->accept();
        Load("forever");
        Entry("MnuRun")->trigger();
        QCOMPARE(Moniter(), QStringLiteral("1\n2\n3")); // earlier output stays
        Entry("MnuClearAll")->trigger();
        QCOMPARE(Moniter(), QString());
    }

    // A single step that prints shows its line as soon as the command returns.
    void MoniterAfterEachStep() {
        Load("clearbatch");
        QStringList seen;
        for (int i = 0; i < 50 && Window->Cpu.IPOffset < Window->Cpu.Memory.UsedLength(); ++i) {
            Entry("MnuStep")->trigger();
            if (seen.isEmpty() || seen.last() != Moniter()) seen << Moniter();
        }
        QCOMPARE(seen, QStringList({"", "5", "", "6", "6\n7"}));
    }
};

QTEST_MAIN(TExecutionTest)
#include "test_execution.moc"
