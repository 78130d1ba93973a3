// Building from the code tab with the real tools of the build tree: a source opened with its
// debug information, a rebuild that keeps a breakpoint on its line, failed builds listing
// their messages at their lines, cancelling a tool that hangs, and the memory-size offer.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>

#include "UAsmDebugInfo.h"
#include "UAssembler.h"
#include "UBuildPanel.h"
#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "ULocationResolver.h"
#include "UMemoryTools.h"
#include "UModalDriver.h"
#include "URegisterPanel.h"

namespace {

const char* const Loop = "        .start\n"
                         "        LDI  R1, 5\n"
                         "        LDI  R2, 7\n"
                         "        LDA  R6, loop\n"
                         "loop:   ADD  R3, R1, R2   ; line 5\n"
                         "        JMP  R6\n";

void Write(const QString& path, const char* text) {
    std::ofstream(path.toStdString()) << text;
}

} // namespace

class TSourceBuildTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TFrmMain> Window;
    QTemporaryDir Temp;

    TBuildPanel* Panel() { return Window->TabCode->BuildPanel; }
    // Presses button (which may show the source dialog, answered with file) and waits for
    // the build's end; a box that the open shows then is answered with answer.
    void Build(QPushButton* button, const QString& file = QString(),
               QMessageBox::StandardButton answer = QMessageBox::NoButton) {
        QSignalSpy done(Panel()->Build(), &TSourceBuild::Finished);
        TModalDriver driver;
        driver.FileToChoose = file;
        driver.Answer = answer;
        bool ended = false;
        driver.Run([&] {
            button->click();
            ended = done.wait(20000);
            QTest::qWait(0); // the deferred open, if a wait was in progress
        });
        QVERIFY(ended);
    }
    std::vector<uint64_t> BreakpointAddresses() {
        return Window->WithCpu([this](TCCPU&) {
            std::vector<uint64_t> all;
            for (const TBreakpoint& item : Window->Debugger.Breakpoints().Items())
                all.insert(all.end(), item.Where.Addresses.begin(), item.Where.Addresses.end());
            return all;
        });
    }
    uint64_t LineAddress(const char* location) {
        std::string error;
        const auto where = Window->WithCpu([&](TCCPU&) {
            return ResolveLocation(location, Window->Debugger.Map(), Window->Debugger.ImageLength(), error);
        });
        return where ? where->Addresses.front() : 0;
    }

  private slots:
    void initTestCase() { SetApplicationTitle(); }
    void init() {
        Window = std::make_unique<TFrmMain>(TThreadPriority::Normal);
        Panel()->Build()->AppDir = QStringLiteral(ROZ_APP_DIR);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void cleanup() { Window.reset(); }

    // Opened as Open opens it, in the source view; after the source changed, the rebuild's
    // breakpoint is on the same line, which has moved.
    void BuildAndRebuildKeepTheLine() {
        const QString source = Temp.filePath(QStringLiteral("loop.s"));
        Write(source, Loop);
        Build(Panel()->BtnOpenSource, source);
        QVERIFY(Window->MemoInfo->toPlainText().contains(QStringLiteral("已打开Bin文件:") +
                                                         Temp.filePath(QStringLiteral("loop.bin"))));
        QVERIFY(Window->TabCode->Listing().DebugInfo());
        QCOMPARE(Window->TabCode->CodeMode->currentIndex(), 1);
        const uint64_t before = LineAddress("loop.s:5");
        Window->TabCode->ChangeDebugger([](TDebugger& debugger) {
            std::string error;
            QVERIFY(debugger.Breakpoints().Add("loop.s:5", debugger.Map(), debugger.ImageLength(), error));
        });
        Write(source, QByteArray(Loop).replace("LDI  R2, 7", "ADD  R2, R1, R1").constData());
        Build(Panel()->BtnRebuild);
        const uint64_t after = LineAddress("loop.s:5");
        QVERIFY(after != before);
        QCOMPARE(BreakpointAddresses(), std::vector<uint64_t>{after});
    }

    // Each tool's errors are listed with their places, the first error's line is shown, the
    // panel comes to the front, MemoInfo says so and nothing is opened.
    void FailedBuildListsErrors_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("assembly") << "bad.s"
                                  << ".start\nLDI R1, 2\nfoo R1\n"
                                  << 3;
        QTest::newRow("C") << "bad.c"
                           << "int main(void) {\n  int a = 1;\n  return a + b;\n}\n"
                           << 3;
    }
    void FailedBuildListsErrors() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(int, line);
        const QString source = Temp.filePath(name);
        Write(source, text.toUtf8().constData());
        Build(Panel()->BtnOpenSource, source);
        QListWidget* list = Panel()->BuildMessages;
        QVERIFY(list->count() >= 1);
        QVERIFY2(list->currentItem()->text().startsWith(source + QStringLiteral(":%1:").arg(line)),
                 qPrintable(list->currentItem()->text()));
        QCOMPARE(Panel()->BuildSourceView->textCursor().blockNumber(), line - 1);
        QCOMPARE(Window->TabCode->CodePanels->currentWidget(), Panel());
        QVERIFY(Window->MemoInfo->toPlainText().endsWith(QStringLiteral("编译失败Build failed: ") + source +
                                                         QStringLiteral(" (1 error)")));
        QVERIFY(!Window->MemoInfo->toPlainText().contains(QStringLiteral("已打开Bin文件")));
    }

    // A C program larger than the machine's memory is compiled for what it needs, and the
    // open offers that size.
    void BigProgramOffersItsMemory() {
        const QString source = Temp.filePath(QStringLiteral("big.c"));
        Write(source, "#include <roziduv2.h>\nstatic int grid[50][100];\n"
                      "int main(void) { grid[49][99] = 3; print(grid[49][99]); return 0; }\n");
        Build(Panel()->BtnOpenSource, source, QMessageBox::Yes);
        const int64_t size =
            Window->WithCpu([](TCCPU& cpu) { return static_cast<int64_t>(cpu.Memory.Size()); });
        QVERIFY(Window->TabCode->Listing().DebugInfo());
        QCOMPARE(static_cast<uint64_t>(size), Window->TabCode->Listing().DebugInfo()->MemoryNeeded);
        QVERIFY(size > 20000);
        // Offered before the open, so the image is opened once and never refused.
        QCOMPARE(Window->MemoInfo->toPlainText().count(QStringLiteral("已打开Bin文件:")), 1);
        QVERIFY(!Window->MemoInfo->toPlainText().contains(QStringLiteral("装入Bin文件失败")));
    }

    // A tool that hangs, with a child of its own: busy while it runs; Cancel ends both.
    void CancelEndsTheToolAndItsChildren() {
        const QString tools = Temp.filePath(QStringLiteral("tools")),
                      pid = Temp.filePath(QStringLiteral("pid"));
        QVERIFY(QDir().mkpath(tools));
        Write(tools + QStringLiteral("/roziduv2-asm"),
              ("#!/bin/sh\nsleep 60 &\necho $! > " + pid.toStdString() + "\nwait\n").c_str());
        QFile::setPermissions(tools + QStringLiteral("/roziduv2-asm"), QFile::ReadOwner | QFile::ExeOwner);
        Panel()->Build()->AppDir = tools;
        const QString source = Temp.filePath(QStringLiteral("hang.s"));
        Write(source, Loop);
        QSignalSpy done(Panel()->Build(), &TSourceBuild::Finished);
        Panel()->BuildSource(source);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(pid).size() > 0; }, 5000));
        QVERIFY(!Panel()->BuildBusy->isHidden() && !Panel()->BtnRebuild->isEnabled());
        Panel()->BtnCancelBuild->click();
        QVERIFY(done.wait(5000));
        QVERIFY(Panel()->BuildBusy->isHidden() && Panel()->BtnRebuild->isEnabled());
        QCOMPARE(Panel()->BuildMessages->item(Panel()->BuildMessages->count() - 1)->text(),
                 QStringLiteral("编译已取消。The build was cancelled."));
        QFile pidFile(pid);
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const QString child = QStringLiteral("/proc/") + QString::fromLatin1(pidFile.readAll().trimmed());
        // Gone, or a zombie left to a parent that does not reap.
        QVERIFY(QTest::qWaitFor([&] {
            QFile stat(child + QStringLiteral("/stat"));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        }));
    }

    // An image whose debug information asks for more memory: Yes re-sizes and opens it
    // again; No leaves the size and says what is missing. An image too large for the memory
    // is refused as always, then offered.
    void MemorySizeOffer_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("padding");
        QTest::newRow("yes") << true << 0;
        QTest::newRow("no") << false << 0;
        QTest::newRow("refused, yes") << true << 12000;
    }
    void MemorySizeOffer() {
        QFETCH(bool, yes);
        QFETCH(int, padding);
        TAsmResult result = TAssembler().Assemble(Loop);
        result.Image.resize(result.Image.size() + static_cast<size_t>(padding));
        const QString image = Temp.filePath(QStringLiteral("big.bin"));
        std::ofstream(image.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(result.Image.data()),
                   static_cast<std::streamsize>(result.Image.size()));
        TDebugInfo info =
            TAsmDebugInfo::Make(result, Temp.filePath(QStringLiteral("big.s")).toStdString(), true);
        info.SetImage(image.toStdString(), result.Image);
        info.MemoryNeeded = 65536;
        QVERIFY(info.Write(TDebugInfo::PathFor(image.toStdString())).empty());
        TModalDriver driver;
        driver.FileToChoose = image;
        driver.Answer = yes ? QMessageBox::Yes : QMessageBox::No;
        driver.Run([&] { Window->MnuOpen->trigger(); });
        QCOMPARE(driver.Boxes.size(), padding ? 2 : 1);
        if (padding) QCOMPARE(driver.Boxes[0].Name, QStringLiteral("OpenFailed"));
        QCOMPARE(driver.Boxes.back().Name, QStringLiteral("MemorySizeOffer"));
        const int64_t size =
            Window->WithCpu([](TCCPU& cpu) { return static_cast<int64_t>(cpu.Memory.Size()); });
        QCOMPARE(size, yes ? 65536 : 10000);
        const QString log = Window->MemoInfo->toPlainText();
        QCOMPARE(log.count(QStringLiteral("已打开Bin文件:")), yes ? (padding ? 1 : 2) : 1);
        QCOMPARE(log.endsWith(
                     QStringLiteral("The program needs 65536 bytes of memory; the memory is 10000 bytes.")),
                 !yes);
    }

    // After a failed build, each command that executes the program asks once: Cancel runs
    // nothing and shows the first error; Yes runs the earlier program and is not asked again.
    // A good build ends it.
    void FailedBuildAsksBeforeRunning_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Run") << "MnuRun";
        QTest::newRow("Step") << "MnuStep";
        QTest::newRow("F5") << "MnuDebugContinue";
        QTest::newRow("F10") << "MnuDebugStepOver";
    }
    void FailedBuildAsksBeforeRunning() {
        QFETCH(QString, command);
        QAction* action = Window->findChild<QAction*>(command);
        QVERIFY(action);
        const QString source = Temp.filePath(QStringLiteral("stale.s"));
        Write(source, Loop);
        Build(Panel()->BtnOpenSource, source);
        QVERIFY(Window->TabCode->CodeStale->isHidden());
        Write(source, ".start\nfoo R1\n");
        Build(Panel()->BtnRebuild);
        QVERIFY(!Window->TabCode->CodeStale->isHidden());
        QVERIFY(Window->TabCode->CodeStale->text().contains(Temp.filePath(QStringLiteral("stale.bin"))));
        auto executed = [this] {
            return Window->Execution.State() != TRunState::NeverRun ||
                   Window->WithCpu([](TCCPU& cpu) { return cpu.IPOffset; }) != 0;
        };
        auto trigger = [&](QMessageBox::StandardButton answer) {
            TModalDriver driver;
            driver.Answer = answer;
            driver.Run([&] { action->trigger(); });
            return driver.Boxes;
        };
        Window->PageCPU->setCurrentWidget(Window->TabRegs);
        QList<TModalDriver::TBox> boxes = trigger(QMessageBox::Cancel);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].Name, QStringLiteral("RunPreviousBuild"));
        QVERIFY(!executed());
        QCOMPARE(Window->PageCPU->currentWidget(), Window->TabCode);
        QCOMPARE(Window->TabCode->CodePanels->currentWidget(), Panel());
        QVERIFY(Panel()->BuildMessages->currentItem()->text().startsWith(source + QStringLiteral(":2:")));
        QCOMPARE(trigger(QMessageBox::Yes).size(), 1);
        QTRY_VERIFY(executed());
        Window->MnuDebugStop->trigger();
        QCOMPARE(trigger(QMessageBox::Cancel).size(), 0); // answered: not asked again
        Window->MnuDebugStop->trigger();
        QVERIFY(!Window->TabCode->CodeStale->isHidden()); // still the earlier program
        Write(source, Loop);
        Build(Panel()->BtnRebuild);
        QVERIFY(Window->TabCode->CodeStale->isHidden());
        QCOMPARE(trigger(QMessageBox::Cancel).size(), 0);
        Window->MnuDebugStop->trigger();
    }

    // A source given to Open asks: Yes builds it and opens the image, No opens its bytes as
    // Open always did, Cancel does nothing; a header cannot be built (No opens its bytes);
    // any other file opens without a question.
    void OpenAsksForSources_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("opened"); // the file that ends up loaded, empty: none
        QTest::newRow("C, build") << "prog.c" << int(QMessageBox::Yes) << true << "prog.bin";
        QTest::newRow("C, raw") << "prog.c" << int(QMessageBox::No) << true << "prog.c";
        QTest::newRow("C, cancel") << "prog.c" << int(QMessageBox::Cancel) << true << "";
        QTest::newRow("assembly, build") << "prog.asm" << int(QMessageBox::Yes) << true << "prog.bin";
        QTest::newRow("header, yes is no choice") << "prog.h" << int(QMessageBox::Yes) << true << "";
        QTest::newRow("header, raw") << "prog.h" << int(QMessageBox::No) << true << "prog.h";
        QTest::newRow("text") << "prog.txt" << int(QMessageBox::Yes) << false << "prog.txt";
    }
    void OpenAsksForSources() {
        QFETCH(QString, name);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QString, opened);
        const QString path = Temp.filePath(name);
        Write(path, name.endsWith(QStringLiteral(".asm")) ? Loop : "int main(void) { return 3; }\n");
        QSignalSpy built(Panel()->Build(), &TSourceBuild::Finished);
        TModalDriver driver;
        driver.FileToChoose = path;
        driver.Answer = static_cast<QMessageBox::StandardButton>(answer);
        driver.Run([&] {
            Window->MnuOpen->trigger();
            if (opened.endsWith(QStringLiteral(".bin"))) QVERIFY(built.wait(20000));
            QTest::qWait(0);
        });
        QCOMPARE(driver.Boxes.size(), asked ? 1 : 0);
        if (asked) QCOMPARE(driver.Boxes[0].Name, QStringLiteral("OpenSourceQuestion"));
        const QString log = Window->MemoInfo->toPlainText();
        QCOMPARE(log.count(QStringLiteral("已打开Bin文件:")), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QVERIFY2(log.contains(QStringLiteral("已打开Bin文件:") + Temp.filePath(opened)), qPrintable(log));
    }

    // F10 on a C line that is several instructions goes to the next line in the source
    // view, and one instruction in the disassembly.
    void F10StepsALineOfC_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("source") << 1;
        QTest::newRow("disassembly") << 0;
    }
    void F10StepsALineOfC() {
        QFETCH(int, mode);
        const QString source = Temp.filePath(QStringLiteral("line.c"));
        Write(source, "int v = 4;\n"
                      "int main(void) {\n"
                      "  v = v * 3 + v / 2 - 7;\n"
                      "  v = v + 1;\n"
                      "  return v;\n"
                      "}\n");
        Build(Panel()->BtnOpenSource, source);
        QVERIFY(Window->TabCode->Listing().DebugInfo());
        Window->TabCode->ChangeDebugger([](TDebugger& debugger) {
            std::string error;
            QVERIFY(debugger.Breakpoints().Add("line.c:3", debugger.Map(), debugger.ImageLength(), error));
        });
        const QString stop = QStringLiteral("调试器暂停Debugger stop: ");
        Window->MnuRun->trigger();
        QTRY_COMPARE(Window->MemoInfo->toPlainText().count(stop), 1);
        Window->TabCode->CodeMode->setCurrentIndex(mode);
        Window->activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), Window->windowHandle());
        const int64_t before = Window->WithCpu([](TCCPU& cpu) { return cpu.IPOffset; });
        QTest::keyClick(Window->windowHandle(), Qt::Key_F10);
        if (mode == 1) QTRY_COMPARE(Window->MemoInfo->toPlainText().count(stop), 2);
        const auto [ip, line] = Window->WithCpu([this](TCCPU& cpu) {
            const auto where = static_cast<uint64_t>(cpu.IPOffset);
            return std::pair{cpu.IPOffset, Window->Debugger.Map().LineAt(where).Line};
        });
        QCOMPARE(line, mode == 1 ? 4u : 3u);
        QVERIFY(ip != before);
        Window->MnuDebugStop->trigger();
    }
};

QTEST_MAIN(TSourceBuildTest)
#include "test_sourcebuild.moc"
