// The variables panel and the watch box on a compiled C program (the debugger tests' types.c
// at -O0), as a user meets them: stopped at a line, a structure shows as {x = 1, y = 2} with
// its address, a pointer opens into what it points to, an opened row stays open after a
// step, and a watch is set by a variable's name.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <memory>

#include "UCodeTab.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UModalDriver.h"
#include "UWindowFixture.h"

class TVariablesTest : public TWindowFixture {
    Q_OBJECT

    // The row under parent (nullptr: a heading) whose name is name.
    QTreeWidgetItem* Row(QTreeWidgetItem* parent, const QString& name) {
        auto* tree = Window->findChild<QTreeWidget*>(QStringLiteral("Variables"));
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem* item = parent ? parent->child(i) : tree->topLevelItem(i);
            if (item->text(0) == name) return item;
        }
        return nullptr;
    }
    static int LineOf(const char* marker) {
        std::ifstream in(ROZ_SOURCE_DIR "/tests/debug/types.c");
        int number = 0;
        for (std::string line; std::getline(in, line);)
            if (++number, line.find(marker) != std::string::npos) return number;
        return 0;
    }
    void Add(const char* kind, const QString& text) {
        Window->findChild<QLineEdit*>(QStringLiteral("Edit%1Location").arg(QLatin1String(kind)))
            ->setText(text);
        Window->findChild<QPushButton*>(QStringLiteral("BtnAdd%1").arg(QLatin1String(kind)))->click();
    }

  private slots:
    void StructuresPointersAndWatches() {
        TModalDriver driver;
        driver.FileToChoose = QStringLiteral(ROZ_DEBUG_FIXTURES "/types_O0.bin");
        driver.Run([&] { Window->MnuOpen->trigger(); });
        QVERIFY(driver.DialogSeen);
        Window->PageCPU->setCurrentWidget(Window->TabCode);
        Add("Breakpoint", QStringLiteral("types.c:%1").arg(LineOf("stop: after the block")));
        Window->MnuRun->trigger();
        QTRY_COMPARE(Window->MemoInfo->toPlainText().count(QStringLiteral("调试器暂停Debugger stop: ")), 1);

        QTreeWidgetItem* locals = Row(nullptr, QStringLiteral("局部Locals"));
        QVERIFY(locals);
        QVERIFY(!Row(locals, QStringLiteral("inner"))); // its block has ended
        QTreeWidgetItem* p = Row(locals, QStringLiteral("p"));
        QVERIFY(p);
        QCOMPARE(p->text(1), QStringLiteral("point_t"));
        QVERIFY(p->text(2).startsWith(QStringLiteral("0x")));
        QCOMPARE(p->text(3), QStringLiteral("{x = 1, y = 2}"));
        QCOMPARE(Row(locals, QStringLiteral("buf"))->text(3), QStringLiteral("\"Hi there\""));
        QCOMPARE(Row(locals, QStringLiteral("c"))->text(3), QStringLiteral("GREEN"));

        QTreeWidgetItem* list = Row(locals, QStringLiteral("list"));
        list->setExpanded(true);
        QTreeWidgetItem* target = Row(list, QStringLiteral("*list"));
        QVERIFY(target);
        target->setExpanded(true);
        QTreeWidgetItem* next = Row(target, QStringLiteral("next"));
        QVERIFY(next);
        next->setExpanded(true);
        QCOMPARE(Row(next, QStringLiteral("*next"))->text(3), QStringLiteral("{value = 2, next = NULL}"));

        // A step shows the variables anew; the rows opened stay open.
        Window->MnuStep->trigger();
        locals = Row(nullptr, QStringLiteral("局部Locals"));
        list = Row(locals, QStringLiteral("list"));
        QVERIFY(list->isExpanded());
        QVERIFY(
            Row(Row(Row(list, QStringLiteral("*list")), QStringLiteral("next")), QStringLiteral("*next")));

        auto* watches = Window->findChild<QTableWidget*>(QStringLiteral("WatchTable"));
        Add("Watch", QStringLiteral("list->next->value"));
        QCOMPARE(watches->rowCount(), 1);
        QVERIFY2(watches->item(0, TStopListPanel::ColLocation)
                     ->text()
                     .startsWith(QStringLiteral("list->next->value [0x")),
                 qPrintable(watches->item(0, TStopListPanel::ColLocation)->text()));
        Add("Watch", QStringLiteral("mvoes"));
        QCOMPARE(watches->rowCount(), 1);
        QCOMPARE(Window->findChild<QLabel*>(QStringLiteral("WatchMessage"))->text(),
                 QStringLiteral("无法设置监视点Cannot set a watchpoint: no variable 'mvoes' in scope"));
        Window->MnuStop->trigger();
    }
};

QTEST_MAIN(TVariablesTest)
#include "test_variables.moc"
