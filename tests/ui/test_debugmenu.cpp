// The Debug menu and the source entries of the File menu: each command where a user looks
// for it with its key; the keys act wherever the focus is in the window, but typed in
// MemoMessage they reach the keyboard port and run nothing.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "UAsmProgram.h"
#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "URegisterPanel.h"
#include "UWindowFixture.h"

namespace {

const char* const Source = "        .start\n"
                           "        LDI  R1, 5\n"
                           "        LDI  R2, 7        ; line 3\n"
                           "        LDA  R6, loop\n"
                           "loop:   ADD  R3, R1, R2   ; line 5\n"
                           "        JMP  R6\n";

} // namespace

class TDebugMenuTest : public TWindowFixture {
    Q_OBJECT
    QTemporaryDir Temp;

    // Opens Source, assembled with its debug information, and goes to the code tab.
    void OpenProgram() {
        const TAsmProgramFiles files = WriteAsmProgram(Temp, QStringLiteral("keys"), Source);
        QVERIFY(files.DebugInfoError.empty());
        Window->OpenImageFile(files.Image);
        Window->PageCPU->setCurrentWidget(Window->TabCode);
        Window->activateWindow();
        QTRY_COMPARE(QGuiApplication::focusWindow(), Window->windowHandle());
    }
    int64_t IP() {
        return Window->WithCpu([](TCCPU& cpu) { return cpu.IPOffset; });
    }

  private slots:
    // Every command in its menu with the key table's keys; no two actions share a key, and
    // the keys kept for later commands are nobody's.
    void KeyTable_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("keys");
        const QString file = QStringLiteral("MnuFile"), debug = QStringLiteral("MnuDebug");
        QTest::newRow("open source") << "MnuOpenSource" << file << "Ctrl+Shift+O";
        QTest::newRow("build") << "MnuRebuild" << file << "Ctrl+B";
        QTest::newRow("run or continue") << "MnuDebugContinue" << debug << "F5";
        QTest::newRow("stop") << "MnuDebugStop" << debug << "Shift+F5";
        QTest::newRow("breakpoint") << "MnuDebugBreakpoint" << debug << "F9";
        QTest::newRow("step over") << "MnuDebugStepOver" << debug << "F10";
        QTest::newRow("step into") << "MnuDebugStepInto" << debug << "F11";
        QTest::newRow("step out") << "MnuDebugStepOut" << debug << "Shift+F11";
        QTest::newRow("run to cursor") << "MnuDebugRunToCursor" << debug << "Ctrl+F10, F4";
        QTest::newRow("instruction over") << "MnuDebugInstructionStepOver" << debug << "F8";
        QTest::newRow("instruction into") << "MnuDebugInstructionStepInto" << debug << "F7";
    }
    void KeyTable() {
        QFETCH(QString, action);
        QFETCH(QString, menu);
        QFETCH(QString, keys);
        auto* found = Window->findChild<QAction*>(action);
        QVERIFY(found);
        QVERIFY(Window->findChild<QMenu*>(menu)->actions().contains(found));
        QStringList shown;
        for (const QKeySequence& key : found->shortcuts())
            shown << key.toString();
        QCOMPARE(shown.join(QStringLiteral(", ")), keys);
        QCOMPARE(found->shortcutContext(), Qt::WindowShortcut);
        QSet<QString> taken;
        for (const QAction* menuAction : Window->MnuMain->actions())
            for (const QAction* each : menuAction->menu()->actions())
                for (const QKeySequence& key : each->shortcuts()) {
                    QVERIFY2(!TFrmMain::ReservedKeys().contains(key), qPrintable(key.toString()));
                    QVERIFY2(!taken.contains(key.toString()), qPrintable(key.toString()));
                    taken.insert(key.toString());
                }
        // The menus the window always had keep their places.
        const QList<QAction*> bar = Window->MnuMain->actions();
        QCOMPARE(bar.indexOf(Window->MnuFile->menuAction()), 0);
        QCOMPARE(bar.indexOf(Window->MnuSystem->menuAction()), 1);
        QCOMPARE(Window->MnuFile->actions().first(), Window->MnuOpen);
        QCOMPARE(Window->MnuFile->actions().last(), Window->MnuExit);
    }

    // F7 steps one instruction from anywhere in the window, the tab bar and the register
    // boxes too; typed in MemoMessage it is the keyboard port's and nothing steps.
    void KeysWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("steps");
        QTest::newRow("code tab bar") << "tabs" << true;
        QTest::newRow("register box") << "box" << true;
        QTest::newRow("MemoInfo") << "MemoInfo" << true;
        QTest::newRow("MemoMessage") << "MemoMessage" << false;
    }
    void KeysWhereverTheFocusIs() {
        QFETCH(QString, focus);
        QFETCH(bool, steps);
        OpenProgram();
        QWidget* target = focus == u"tabs"       ? static_cast<QWidget*>(Window->PageCPU->tabBar())
                          : focus == u"box"      ? static_cast<QWidget*>(Window->TabRegs->Box(0))
                          : focus == u"MemoInfo" ? static_cast<QWidget*>(Window->MemoInfo)
                                                 : static_cast<QWidget*>(Window->MemoMessage);
        if (target == Window->MemoMessage) Window->PageInfo->setCurrentWidget(Window->TabMesage);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        const int64_t before = IP();
        QTest::keyPress(Window->windowHandle(), Qt::Key_F7);
        QCOMPARE(Window->Cpu.Ports.Keyboard.Data.load() != 0, !steps);
        QTest::keyRelease(Window->windowHandle(), Qt::Key_F7);
        QCOMPARE(IP() != before, steps);
    }
};

QTEST_MAIN(TDebugMenuTest)
#include "test_debugmenu.moc"
