// The main window as a user meets it: start-up state, menus, toolbar, text areas, the clear
// commands, Exit, the file dialog and the error box.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <stdexcept>

#include "UBoxCloser.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UMoniterView.h"

class TFrmMainTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TFrmMain> Window;

    template <class T> T* Find(const char* name) {
        T* found = Window->findChild<T*>(QString::fromLatin1(name));
        if (!found) qWarning("no %s named %s", T::staticMetaObject.className(), name);
        return found;
    }
    // Every text area, the monitor's view included, offers its text as plainText.
    QString Text(const QString& memo) {
        return Window->findChild<QWidget*>(memo)->property("plainText").toString();
    }

  private slots:
    void initTestCase() { SetApplicationTitle(); }
    void init() {
        Window = std::make_unique<TFrmMain>();
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void cleanup() { Window.reset(); }

    void GlobalAndMembers() {
        QCOMPARE(FrmMain, Window.get());
        QCOMPARE(Window->ViewBegin, 0);
        QCOMPARE(Window->ViewCount, 128);
        QVERIFY(!Window->Running());
        QVERIFY(!Window->ThreadActive);
        QCOMPARE(Window->Cpu.Memory.Size(), 10000);
    }

    void WindowFrame() {
        QCOMPARE(Window->windowTitle(), QStringLiteral("ZELMOR C语言仿真CPU机2021.5"));
        QCOMPARE(Window->minimumSize(), Window->maximumSize());
        QCOMPARE(Window->width(), 1297);
        QVERIFY(!(Window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(Window->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(Window->font().pixelSize(), 12);
        QCOMPARE(Find<QSplitter>("Splitter1")->orientation(), Qt::Vertical);
        QVERIFY(!Find<QTimer>("TimerMain")->isActive());
        QCOMPARE(Find<QTimer>("TimerMain")->interval(), 500);
    }

    // Every menu's entries in order, with captions and separators, and the menu bar's Alt
    // mnemonics.
    void MenuTree() {
        auto names = [](QMenu* menu) {
            QStringList list;
            for (QAction* a : menu->actions())
                list << (a->isSeparator() ? "-" + a->objectName() : a->objectName() + "=" + a->text());
            return list;
        };
        // The source commands join the File menu between Open and its separator.
        QCOMPARE(
            names(Find<QMenu>("MnuFile")),
            QStringList({"MnuOpen=装入二进制代码文件(&Open)", "MnuOpenSource=打开并编译源程序Open &Source…",
                         "MnuRebuild=重新编译Re&build", "-N1", "MnuExit=退出本软件E&xit"}));
        QCOMPARE(
            names(Find<QMenu>("MnuSystem")),
            QStringList({"MnuReset=复位&Reset", "-N3", "MnuStep=单步执行&Step", "MnuRun=连续执行&Run",
                         "MnuPluase=暂停执行&Puase", "MnuResume=恢复执行Res&ume", "MnuStop=停止执行S&top"}));
        QCOMPARE(names(Find<QMenu>("MnuInfo")),
                 QStringList({"MnuClearInfo=清空调试信息&Clear Info",
                              "MnujClearMessage=清空输入信息Clear &Message",
                              "MnuClearMoniter=清空监视器输出信息Clear Moniter", "-N2",
                              "MnuClearAll=清空所有的信息Clear &All"}));
        QCOMPARE(names(Find<QMenu>("MnuHelp")),
                 QStringList({"MnuContent=帮助主题(&Content)", "MnuShowInfo=机器指令和汇编编程参考(&Info)",
                              "MnuWeb=访问本软件网站(&Web)", "-N4", "MnuAbout=关于本软件&About"}));
        QStringList bar, mnemonics;
        for (QAction* a : Find<QMenuBar>("MnuMain")->actions()) {
            bar << a->menu()->objectName() + "=" + a->text();
            mnemonics << QKeySequence::mnemonic(a->text()).toString();
        }
        // The Debug menu follows the CPU menu; the others keep their order.
        QCOMPARE(bar, QStringList({"MnuFile=文件&File", "MnuSystem=CPU系统操作&System", "MnuDebug=调试&Debug",
                                   "MnuInfo=调试信息操作&Info", "MnuHelp=帮助&Help"}));
        QCOMPARE(mnemonics, QStringList({"Alt+F", "Alt+S", "Alt+D", "Alt+I", "Alt+H"}));
        QVERIFY(!Find<QAction>("MnuStop")->icon().isNull());
    }

    void ToolBarButtons() {
        QStringList order;
        for (QAction* a : Window->ToolBar->actions()) {
            if (a->isSeparator())
                order << "-" + a->objectName();
            else if (QWidget* w = Window->ToolBar->widgetForAction(a))
                order << w->objectName() + "=" + w->toolTip();
        }
        QCOMPARE(order,
                 QStringList({"TBtnOpen=打开二进制的代码映像文件", "-ToolButton1", "ToolButton2=单步执行代码",
                              "ToolButton3=连续执行代码", "-ToolButton4", "ToolButton5=暂停执行代码",
                              "ToolButton6=恢复执行代码", "ToolButton7=停止执行代码"}));
        for (auto* button :
             Window->ToolBar->findChildren<QToolButton*>(QRegularExpression("^(TBtn|ToolButton)")))
            QVERIFY2(!button->icon().pixmap(QSize(16, 16)).isNull(), qPrintable(button->objectName()));
    }

    void TabsAndInitialTexts() {
        auto* upper = Find<QTabWidget>("PageCPU");
        QCOMPARE(upper->currentIndex(), 0);
        QCOMPARE(upper->widget(0)->objectName(), QStringLiteral("TabRegs"));
        QCOMPARE(upper->tabText(0), QStringLiteral("寄存器组"));
        QCOMPARE(upper->widget(1)->objectName(), QStringLiteral("TabMemory"));
        QCOMPARE(upper->tabText(1), QStringLiteral("内存工具"));
        auto* lower = Find<QTabWidget>("PageInfo");
        QCOMPARE(lower->currentIndex(), 0);
        QCOMPARE(lower->parentWidget()->objectName(), QStringLiteral("PanelBottom"));
        const QStringList tabs = {"TabInfo=调试信息", "TabMesage=输入信息", "TabSheet1=监视器输出信息"};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lower->widget(i)->objectName() + "=" + lower->tabText(i), tabs[i]);
        QCOMPARE(Text("MemoInfo"), QStringLiteral("就绪"));
        QCOMPARE(Text("MemoMessage"), QStringLiteral("在此输入"));
        QCOMPARE(Text("MemoMoniter"), QString());
        QVERIFY(Find<TMoniterView>("MemoMoniter"));
        QCOMPARE(Text("MemoMemory"), QString());
        QCOMPARE(Find<QStatusBar>("StsBar")->findChildren<QLabel*>().value(0)->text(),
                 QStringLiteral("就绪"));
        QCOMPARE(Find<QStatusBar>("StatusBar1")->findChildren<QLabel*>().value(0)->text(),
                 QStringLiteral("就绪"));
        // One notice in both bars: choosing the monitor tab does not seem to cut it.
        QCOMPARE(Find<QStatusBar>("StatusBar1")->findChildren<QLabel*>().value(1)->text(),
                 Find<QStatusBar>("StsBar")->findChildren<QLabel*>().value(1)->text());
    }

    void GroupBoxesAndButtons_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const char* rows[][2] = {{"GroupBox2", "通用寄存器组R[i]"},
                                 {"GroupBox3", "控制寄存器组"},
                                 {"GrpDebug", "寄存器监控功能"},
                                 {"GrpMemoryTools", "指定内存查看工具"},
                                 {"GroupBox1", "内存设置工具"},
                                 {"BtnGetArgsToEdit", "将将CPU的值输入到界面"},
                                 {"BtnEditToArgs", "将输入的值放入CPU"},
                                 {"BtnFlash", "刷新"},
                                 {"BtnSetMemorySize", "重新设置"},
                                 {"Label1", "当前指令是IPOffset的指向的内存"},
                                 {"LabelTip", "重新设置内存后，应重新装入程序文件。"},
                                 {"EditBeginMemory", "0"},
                                 {"EditMemoryCount", "128"},
                                 {"EditSize", "10000"}};
        for (auto& r : rows)
            QTest::newRow(r[0]) << r[0] << QString::fromUtf8(r[1]);
    }
    void GroupBoxesAndButtons() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QWidget* w = Window->findChild<QWidget*>(name);
        QVERIFY(w);
        QString shown = w->property("title").toString();
        if (shown.isEmpty()) shown = w->property("text").toString();
        QCOMPARE(shown, caption);
    }

    // After start every register box shows sixteen zeros except Version; EditOp too.
    void RegisterBoxesAtStart() {
        for (const char* name : TCCPUBase::PanelRegisterNames) {
            auto* box = Find<QLineEdit>(qPrintable(QStringLiteral("Edit") + name));
            QVERIFY(box);
            QCOMPARE(box->text(), QString::fromLatin1(strcmp(name, "Version") == 0 ? "0000000000000001"
                                                                                   : "0000000000000000"));
        }
        QCOMPARE(Find<QLineEdit>("EditOp")->text(), QStringLiteral("0000000000000000"));
    }

    void ClearCommands_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("emptied");
        QTest::newRow("info") << "MnuClearInfo" << QStringList{"MemoInfo"};
        QTest::newRow("message") << "MnujClearMessage" << QStringList{"MemoMessage"};
        QTest::newRow("moniter") << "MnuClearMoniter" << QStringList{"MemoMoniter"};
        QTest::newRow("all") << "MnuClearAll" << QStringList{"MemoInfo", "MemoMessage", "MemoMoniter"};
    }
    void ClearCommands() {
        QFETCH(QString, entry);
        QFETCH(QStringList, emptied);
        const QStringList memos = {"MemoInfo", "MemoMessage", "MemoMoniter", "MemoMemory"};
        for (const QString& m : memos)
            if (auto* memo = Window->findChild<QPlainTextEdit*>(m)) memo->setPlainText(m + " text");
        Window->Execution.MoniterLog.MoniterOutput(uint64_t{1} << 56 | 7); // the monitor prints 7
        Window->CatchUpMoniter();
        const uint64_t r1 = static_cast<uint64_t>(Window->Cpu.R[1] = 77);
        Window->findChild<QAction*>(entry)->trigger();
        for (const QString& m : memos)
            QCOMPARE(Text(m), emptied.contains(m) ? QString() : m == "MemoMoniter" ? "7" : m + " text");
        QCOMPARE(static_cast<uint64_t>(Window->Cpu.R[1]), r1);
        QCOMPARE(Find<QStatusBar>("StsBar")->findChildren<QLabel*>().value(0)->text(),
                 QStringLiteral("就绪"));
    }

    void ExitClosesTheWindow() {
        Find<QAction>("MnuExit")->trigger();
        QVERIFY(!Window->isVisible());
    }

    // The dialog shows the captions as written; the last filter matches names without a dot.
    void OpenDialogFilters() {
        auto* dialog = Find<QFileDialog>("OpenBinDlg");
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("bin"));
        auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
        QVERIFY(combo);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        QCOMPARE(shown,
                 QStringList({"二进制代码文件(*.bin)", "新二进制代码文件(*.zlmbin)", "所有文件(*.*)"}));
        const QString all = dialog->nameFilters().last();
        const QString patterns = all.mid(all.lastIndexOf('(') + 1).chopped(1);
        QVERIFY(QDir::match(patterns, QStringLiteral("README")));
        QVERIFY(QDir::match(patterns, QStringLiteral("prog.zlmbin")));
    }

    void ErrorBox_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full stop appended") << "'0x12 34' is not a valid integer value"
                                            << "'0x12 34' is not a valid integer value.";
        QTest::newRow("already ends in one") << "Division by zero."
                                             << "Division by zero.";
        QTest::newRow("not a std::exception") << QString() << QString();
    }
    void ErrorBox() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        TBoxCloser closer;
        closer.Run([&] {
            RunCommand(Window.get(), [&] {
                if (message.isEmpty()) throw 42;
                throw std::runtime_error(message.toStdString());
            });
        });
        QVERIFY(closer.Seen);
        QCOMPARE(closer.Icon, QMessageBox::Critical);
        QCOMPARE(closer.Title, QStringLiteral("ROZIDUV2高级语言CPU机"));
        QCOMPARE(closer.Text, shown);
    }
};

QTEST_MAIN(TFrmMainTest)
#include "test_frmmain.moc"
