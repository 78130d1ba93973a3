// The end of a C program in the window: opened with its .dbg through the real Open, run to
// its end; an abnormal end (a stack overflow, a failed assert, abort()) shows a box that
// says what happened and where, in place of the end message and with its protocol (the run
// thread waits until it is closed), and the same line in MemoInfo; main's return keeps the
// end message.
#include <QAction>
#include <QPlainTextEdit>
#include <QtTest>
#include <memory>

#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UModalDriver.h"
#include "UWindowFixture.h"

class TProgramEndTest : public TWindowFixture {
    Q_OBJECT

    QAction* Entry(const char* name) { return Window->findChild<QAction*>(QString::fromLatin1(name)); }

  private slots:
    void RunToTheEnd_data() {
        QTest::addColumn<QString>("image");
        QTest::addColumn<qulonglong>("key");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        const QString o0 = QStringLiteral(ROZ_EXEC_C "/ends_O0.bin"),
                      o2 = QStringLiteral(ROZ_EXEC_C "/ends_O2.bin");
        const QString abnormal = QStringLiteral("AbnormalEndMessage");
        QTest::newRow("return") << o0 << 0ULL << "EndMessage"
                                << "程序执行完毕！";
        QTest::newRow("stack overflow")
            << o0 << 1ULL << abnormal
            << "程序异常结束Program ended abnormally: 栈溢出stack overflow in depth (ends.c:7)";
        QTest::newRow("assert") << o2 << 2ULL << abnormal
                                << "程序异常结束Program ended abnormally: 断言失败assertion failed: n > 0, "
                                   "in check (ends.c:12)";
        QTest::newRow("abort")
            << o0 << 3ULL << abnormal
            << "程序异常结束Program ended abnormally: 调用了abort() called in main (ends.c:20)";
    }
    void RunToTheEnd() {
        QFETCH(QString, image);
        QFETCH(qulonglong, key);
        QFETCH(QString, box);
        QFETCH(QString, text);
        TModalDriver driver;
        driver.FileToChoose = image;
        driver.Run([&] { Entry("MnuOpen")->trigger(); });
        QVERIFY(driver.Boxes.isEmpty());
        Window->Cpu.Ports.Keyboard.Data.store(key); // Run resets the CPU, not the port
        Entry("MnuRun")->trigger();
        QMessageBox* shown = WaitForRunBox(box);
        QVERIFY(shown);
        QCOMPARE(shown->text(), text);
        QCOMPARE(shown->windowTitle(), QStringLiteral("系统提示"));
        QTest::qWait(50);
        QVERIFY(Window->ThreadActive); // the run thread waits for the box
        const QStringList info = Window->MemoInfo->toPlainText().split(u'\n');
        QCOMPARE(info.contains(text), box != QStringLiteral("EndMessage"));
        shown->accept();
        QTRY_VERIFY(!Window->ThreadActive);
        QCOMPARE(Window->Execution.State(), TRunState::Finished);
    }
};

QTEST_MAIN(TProgramEndTest)
#include "test_programend.moc"
