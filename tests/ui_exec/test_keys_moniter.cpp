// The keyboard port as fed by key events of MemoMessage, and the monitor view over the log.
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UKeyHold.h"
#include "UKeyMap.h"
#include "UModalDriver.h"
#include "UMoniterView.h"
#include "URegisterPanel.h"
#include "UWindowFixture.h"

namespace {
constexpr uint64_t Shift = TKeyboardPort::ShiftBit, Alt = TKeyboardPort::AltBit,
                   Ctrl = TKeyboardPort::CtrlBit;
constexpr uint64_t Print = uint64_t{1} << 56;

// One key event as the X11 plugin delivers it: the X key code as the native scan code and
// the server's time as the timestamp, never flagged as a repeat unless asked.
void SendKey(QWidget* target, QEvent::Type type, int key, quint32 scanCode, ulong time, bool repeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, scanCode, 0, 0, QString(), repeat);
    event.setTimestamp(time);
    QApplication::sendEvent(target, &event);
}

// The rest of the batch: what is posted while events are delivered runs after them.
void EndBatch() {
    QCoreApplication::processEvents();
}
} // namespace

class TKeysMoniterTest : public TWindowFixture {
    Q_OBJECT

    uint64_t Data() { return Window->Cpu.Ports.Keyboard.Data.load(); }
    QString Moniter() { return Window->MemoMoniter->property("plainText").toString(); }
    void Release(QWidget* target, int key, Qt::KeyboardModifiers modifiers, bool autoRepeat) {
        QKeyEvent event(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(target, &event);
    }

    // Key events go to MemoMessage, shown and focused, unless a test moves the focus.
    void AfterShow() override {
        Window->PageInfo->setCurrentWidget(Window->TabMesage);
        Window->MemoMessage->setFocus();
    }

  private slots:
    // Down stores the key word, a repeated release (the key is still held) keeps it, the
    // real release clears it once its batch of events has been delivered.
    void KeyDownRepeatUp_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<quint64>("word");
        QTest::newRow("A") << int(Qt::Key_A) << 0 << quint64(0x41);
        QTest::newRow("Shift+A") << int(Qt::Key_A) << int(Qt::ShiftModifier) << quint64(0x41 | Shift);
        QTest::newRow("Shift+1 as '!'")
            << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << quint64(0x31 | Shift);
        QTest::newRow("Shift+9 as '('")
            << int(Qt::Key_ParenLeft) << int(Qt::ShiftModifier) << quint64(0x39 | Shift);
        QTest::newRow("Shift+; as ':'")
            << int(Qt::Key_Colon) << int(Qt::ShiftModifier) << quint64(0xBA | Shift);
        QTest::newRow("Shift+' as '\"'")
            << int(Qt::Key_QuoteDbl) << int(Qt::ShiftModifier) << quint64(0xDE | Shift);
        QTest::newRow("Ctrl+Shift+Z")
            << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier) << quint64(0x5A | Shift | Ctrl);
        QTest::newRow("Ctrl+Alt+Delete") << int(Qt::Key_Delete) << int(Qt::ControlModifier | Qt::AltModifier)
                                         << quint64(0x2E | Alt | Ctrl);
        // A modifier key's own press counts it as held, whatever the platform reports.
        QTest::newRow("Alt alone") << int(Qt::Key_Alt) << 0 << quint64(0x12 | Alt);
        QTest::newRow("Shift alone") << int(Qt::Key_Shift) << 0 << quint64(0x10 | Shift);
        QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << 0 << quint64(0x11 | Ctrl);
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << quint64(0x0D);
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << quint64(0x1B);
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << quint64(0x08);
        QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << quint64(0x09);
        QTest::newRow("Space") << int(Qt::Key_Space) << 0 << quint64(0x20);
        QTest::newRow("Left") << int(Qt::Key_Left) << 0 << quint64(0x25);
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << quint64(0x28);
        QTest::newRow("Home") << int(Qt::Key_Home) << 0 << quint64(0x24);
        QTest::newRow("PageDown") << int(Qt::Key_PageDown) << 0 << quint64(0x22);
        QTest::newRow("Insert") << int(Qt::Key_Insert) << 0 << quint64(0x2D);
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << quint64(0x70);
        QTest::newRow("F12") << int(Qt::Key_F12) << 0 << quint64(0x7B);
        QTest::newRow("keypad 0") << int(Qt::Key_0) << int(Qt::KeypadModifier) << quint64(0x60);
        QTest::newRow("keypad 9") << int(Qt::Key_9) << int(Qt::KeypadModifier) << quint64(0x69);
        QTest::newRow("keypad *") << int(Qt::Key_Asterisk) << int(Qt::KeypadModifier) << quint64(0x6A);
        QTest::newRow("keypad /") << int(Qt::Key_Slash) << int(Qt::KeypadModifier) << quint64(0x6F);
        QTest::newRow("keypad End, NumLock off")
            << int(Qt::Key_End) << int(Qt::KeypadModifier) << quint64(0x23);
        QTest::newRow("keypad 5, NumLock off")
            << int(Qt::Key_Clear) << int(Qt::KeypadModifier) << quint64(0x0C);
        QTest::newRow("Shift+keypad +")
            << int(Qt::Key_Plus) << int(Qt::KeypadModifier | Qt::ShiftModifier) << quint64(0x6B | Shift);
        QTest::newRow("`") << int(Qt::Key_QuoteLeft) << 0 << quint64(0xC0);
        QTest::newRow("[") << int(Qt::Key_BracketLeft) << 0 << quint64(0xDB);
        QTest::newRow("Shift+\\ as '|'")
            << int(Qt::Key_Bar) << int(Qt::ShiftModifier) << quint64(0xDC | Shift);
        QTest::newRow("]") << int(Qt::Key_BracketRight) << 0 << quint64(0xDD);
    }
    void KeyDownRepeatUp() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(quint64, word);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QPlainTextEdit* memo = Window->MemoMessage;
        QTest::keyPress(memo, Qt::Key(key), mods);
        QCOMPARE(Data(), word);
        Release(memo, key, mods, true); // a held key repeats as release-press pairs
        QCOMPARE(Data(), word);
        QTest::keyPress(memo, Qt::Key(key), mods, -1);
        QCOMPARE(Data(), word);
        Release(memo, key, mods, false);
        EndBatch();
        QCOMPARE(Data(), 0u);
    }

    // The key still goes on to the area as typing; a second key replaces the first, and
    // releasing either clears the word.
    void TypingAndTwoKeys() {
        QPlainTextEdit* memo = Window->MemoMessage;
        memo->clear();
        QTest::keyClicks(memo, QStringLiteral("ab"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("ab"));
        QTest::keyPress(memo, Qt::Key_A);
        QTest::keyPress(memo, Qt::Key_B);
        QCOMPARE(Data(), 0x42u);
        QTest::keyRelease(memo, Qt::Key_A);
        EndBatch();
        QCOMPARE(Data(), 0u);
    }

    // Keys typed into another area never reach the port.
    void KeysElsewhere() {
        QTest::keyPress(Window->MemoInfo, Qt::Key_A);
        QCOMPARE(Data(), 0u);
        QTest::keyPress(Window->TabRegs->findChild<QWidget*>(QStringLiteral("EditR0")), Qt::Key_5);
        QCOMPARE(Data(), 0u);
    }

    // Alt with a menu's accelerator opens the menu, even from the input area.
    void AltAcceleratorOpensMenu() {
        QTimer::singleShot(0,
                           [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier); });
        QTRY_VERIFY(Window->MnuSystem->isVisible());
        Window->MnuSystem->close();
    }

    // What IN from port 0 reads while the key is held, and after it is released.
    void PortReadsTheKey() {
        QTest::keyPress(Window->MemoMessage, Qt::Key_K, Qt::ShiftModifier);
        QCOMPARE(Window->Cpu.Ports.ReadPort(0), 0x4B | Shift);
        QTest::keyRelease(Window->MemoMessage, Qt::Key_K, Qt::ShiftModifier);
        EndBatch();
        QCOMPARE(Window->Cpu.Ports.ReadPort(0), 0u);
    }

    // Unflagged release-press pairs of a held key, each pair in one batch as X11 sends them.
    // Events: p press, r release, R release flagged as a repeat; then the key (A, B, or a: A
    // with another scan code) and the time. "|" ends a batch. Seen: D down, U up, | batch.
    void RepeatPairs_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("seen");
        QTest::newRow("pair in one batch") << "pA1 | rA2 pA2 | rA2 pA2 | rA3 |"
                                           << "D|D|D|U|";
        QTest::newRow("release alone") << "pA1 | rA2 |"
                                       << "D|U|";
        QTest::newRow("press at another time") << "pA1 | rA2 pA3 |"
                                               << "D|UD|";
        QTest::newRow("another key at the same time") << "pA1 | rA2 pB2 |"
                                                      << "D|UD|";
        QTest::newRow("another scan code at the same time") << "pA1 | rA2 pa2 |"
                                                            << "D|UD|";
        QTest::newRow("flagged repeat") << "pA1 | RA2 pA2 | rA3 |"
                                        << "D|D|U|";
        QTest::newRow("two releases in one batch") << "pA1 pB1 | rA2 rB3 |"
                                                   << "DD|UU|";
        QTest::newRow("pair split over two batches") << "pA1 | rA2 | pA2 |"
                                                     << "D|U|D|";
    }
    void RepeatPairs() {
        QFETCH(QString, events);
        QFETCH(QString, seen);
        QPlainTextEdit area;
        QWidget window;
        QString log;
        TKeyHold hold(
            &area, &window, [&](QKeyEvent*) { log += u'D'; }, [&](QKeyEvent*) { log += u'U'; });
        for (const QString& event : events.split(u' ')) {
            if (event == u"|") {
                EndBatch();
                log += u'|';
                continue;
            }
            const QChar kind = event[0], key = event[1];
            SendKey(&area, kind == u'p' ? QEvent::KeyPress : QEvent::KeyRelease,
                    key == u'B' ? Qt::Key_B : Qt::Key_A, key == u'a' ? 138 : key.unicode(),
                    event.mid(2).toULong(), kind == u'R');
        }
        QCOMPARE(log, seen);
    }

    // When the key's release would go elsewhere, the hold ends at once; a menu keeps it.
    void LetGoWhenTheKeyboardLeaves_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("kept");
        QTest::newRow("box opened with open()") << "window-modal box" << false;
        QTest::newRow("application-modal box") << "application-modal box" << false;
        QTest::newRow("another tab") << "tab" << false;
        QTest::newRow("another window active") << "window" << false;
        QTest::newRow("menu") << "menu" << true;
    }
    void LetGoWhenTheKeyboardLeaves() {
        QFETCH(QString, what);
        QFETCH(bool, kept);
        QTest::keyPress(Window->MemoMessage, Qt::Key_A);
        QCOMPARE(Data(), 0x41u);
        std::unique_ptr<QWidget> other;
        if (what.endsWith(u"box")) {
            auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), QStringLiteral("box"),
                                        QMessageBox::Ok, Window.get());
            other.reset(box);
            if (what.startsWith(u"window")) {
                box->open();
            } else {
                box->setWindowModality(Qt::ApplicationModal);
                box->show();
            }
        } else if (what == u"tab") {
            Window->PageInfo->setCurrentWidget(Window->TabSheet1);
        } else if (what == u"window") {
            other = std::make_unique<QWidget>();
            other->show();
            other->activateWindow();
        } else {
            Window->MnuSystem->popup(Window->mapToGlobal(QPoint(20, 20)));
            QTRY_VERIFY(Window->MnuSystem->isVisible());
        }
        if (kept) {
            QTest::qWait(50);
            QCOMPARE(Data(), 0x41u);
        } else {
            QTRY_COMPARE(Data(), 0u);
        }
        Window->MnuSystem->close();
    }

    // The keyboard example prints a key's code and modifiers each time it goes down. Held
    // for a while it prints them once; Escape ends the run, and its release, which goes to
    // the end box, is not needed for the next run to see no key.
    void HeldKeyEchoedOnce() {
        QCOMPARE(
            Window->WithCpu([](TCCPU& cpu) { return cpu.Memory.LoadImage(ROZ_EXAMPLES "/keyboard.bin"); }),
            0);
        Window->MnuRun->trigger();
        QPlainTextEdit* memo = Window->MemoMessage;
        ulong time = 1000;
        SendKey(memo, QEvent::KeyPress, Qt::Key_A, 38, time);
        for (int repeat = 0; repeat < 30; ++repeat) {
            time += 40;
            SendKey(memo, QEvent::KeyRelease, Qt::Key_A, 38, time);
            SendKey(memo, QEvent::KeyPress, Qt::Key_A, 38, time);
            EndBatch();
            QTest::qWait(2);
        }
        SendKey(memo, QEvent::KeyRelease, Qt::Key_A, 38, time + 20);
        EndBatch();
        QCOMPARE(Data(), 0u);
        QTest::qWait(20);
        Window->CatchUpMoniter();
        QCOMPARE(Moniter(), QStringLiteral("65\n0"));

        SendKey(memo, QEvent::KeyPress, Qt::Key_Escape, 9, time + 100);
        QMessageBox* box = WaitForRunBox(QStringLiteral("EndMessage"));
        QVERIFY(box);
        QTRY_COMPARE(Data(), 0u);
        box->accept();
        Window->MnuRun->trigger();
        QTest::qWait(50);
        QCOMPARE(Window->Execution.State(), TRunState::Running);
        Window->MnuStop->trigger();
    }

    // ---- the monitor view ----

    void MoniterLinesAndClear() {
        TMoniterLog& log = Window->Execution.MoniterLog;
        for (uint64_t v : {Print | 65, Print | 0xFFFFFFFFu, Print | (uint64_t{0xABCDEF} << 32) | 10,
                           uint64_t{5}, uint64_t{2} << 56 | 1, Print})
            log.MoniterOutput(v);
        TMoniterView* view = Window->MemoMoniter;
        QCOMPARE(view->LineCount(), 0); // until it catches up
        Window->CatchUpMoniter();
        QCOMPARE(view->property("plainText").toString(), QStringLiteral("65\n4294967295\n10\n0"));
        QCOMPARE(view->LineCount(), 4);
        QCOMPARE(view->Line(1), QStringLiteral("4294967295"));
        QCOMPARE(view->Line(4), QString());
        log.MoniterOutput(Print | 1);
        log.MoniterOutput(0); // a clear between two catch-ups
        log.MoniterOutput(Print | 2);
        Window->CatchUpMoniter();
        QCOMPARE(view->property("plainText").toString(), QStringLiteral("2"));
        Window->MnuClearMoniter->trigger();
        QCOMPARE(view->LineCount(), 0);
        QCOMPARE(view->property("plainText").toString(), QString());
    }

    void MoniterSelectAndCopy() {
        TMoniterLog& log = Window->Execution.MoniterLog;
        for (uint32_t n = 1; n <= 3; ++n)
            log.MoniterOutput(Print | n);
        Window->CatchUpMoniter();
        TMoniterView* view = Window->MemoMoniter;
        view->setFocus();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1\n2\n3"));
        QCOMPARE(Data(), 0u); // not the input area
    }

    // A view at the end follows new lines, with the last line in the last whole row; a view
    // scrolled up by the user stays where it is.
    void MoniterFollowsTheEnd() {
        Window->PageInfo->setCurrentWidget(Window->TabSheet1);
        TMoniterView* view = Window->MemoMoniter;
        QTRY_VERIFY(view->isVisible());
        TMoniterLog& log = Window->Execution.MoniterLog;
        const int rows = view->viewport()->height() / view->fontMetrics().height();
        for (uint32_t n = 0; n < 100; ++n)
            log.MoniterOutput(Print | n);
        Window->CatchUpMoniter();
        QScrollBar* bar = view->verticalScrollBar();
        QCOMPARE(bar->value(), 100 - rows);
        bar->setValue(10);
        log.MoniterOutput(Print | 100);
        Window->CatchUpMoniter();
        QCOMPARE(bar->value(), 10);
        bar->setValue(bar->maximum());
        log.MoniterOutput(Print | 101);
        Window->CatchUpMoniter();
        QCOMPARE(bar->value(), 102 - rows);
    }

    // Navigation keys over 100 lines (0..99) in a view of exactly 10 rows, from a given top
    // row and no selection: the top row after the keys and the selected rows.
    void MoniterNavigation_data() {
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("topAfter");
        QTest::addColumn<QString>("selected"); // "first-last", or empty
        QTest::newRow("End") << 0 << "End" << 90 << "";
        QTest::newRow("Ctrl+End") << 0 << "Ctrl+End" << 90 << "";
        QTest::newRow("Home") << 50 << "Home" << 0 << "";
        QTest::newRow("Ctrl+Home") << 50 << "Ctrl+Home" << 0 << "";
        QTest::newRow("Page Down") << 0 << "PgDown" << 10 << "";
        QTest::newRow("Page Down near the end") << 85 << "PgDown" << 90 << "";
        QTest::newRow("Page Up") << 50 << "PgUp" << 40 << "";
        QTest::newRow("Page Up near the start") << 5 << "PgUp" << 0 << "";
        QTest::newRow("Shift+End") << 10 << "Shift+End" << 90 << "10-99";
        QTest::newRow("Ctrl+Shift+Home") << 50 << "Ctrl+Shift+Home" << 0 << "0-50";
        QTest::newRow("Shift+Page Down") << 0 << "Shift+PgDown" << 10 << "0-10";
        QTest::newRow("Shift+Down twice") << 0 << "Shift+Down Shift+Down" << 0 << "0-2";
        QTest::newRow("Shift+Up at the start") << 0 << "Shift+Up" << 0 << "0-0";
        QTest::newRow("plain key moves the cursor row") << 0 << "Shift+Down PgDown" << 10 << "11-11";
        QTest::newRow("cursor row kept in view") << 0 << "Shift+PgDown Down Down" << 10 << "12-12";
        QTest::newRow("cursor row to the end and back") << 0 << "Shift+Down End Home" << 0 << "0-0";
    }
    void MoniterNavigation() {
        QFETCH(int, top);
        QFETCH(QString, keys);
        QFETCH(int, topAfter);
        QFETCH(QString, selected);
        TMoniterLog log;
        for (uint32_t n = 0; n < 100; ++n)
            log.MoniterOutput(Print | n);
        TMoniterView view;
        view.SetLog(&log);
        view.resize(200, 10 * view.fontMetrics().height() + 2 * view.frameWidth());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.viewport()->height() / view.fontMetrics().height(), 10);
        view.verticalScrollBar()->setValue(top);
        const std::pair<const char*, Qt::Key> names[] = {
            {"End", Qt::Key_End},     {"Home", Qt::Key_Home}, {"PgDown", Qt::Key_PageDown},
            {"PgUp", Qt::Key_PageUp}, {"Down", Qt::Key_Down}, {"Up", Qt::Key_Up}};
        for (const QString& stroke : keys.split(u' ')) {
            Qt::KeyboardModifiers modifiers;
            if (stroke.contains(u"Ctrl+")) modifiers |= Qt::ControlModifier;
            if (stroke.contains(u"Shift+")) modifiers |= Qt::ShiftModifier;
            const QString name = stroke.section(u'+', -1);
            for (const auto& [text, key] : names)
                if (name == QLatin1String(text)) QTest::keyClick(&view, key, modifiers);
        }
        QCOMPARE(view.verticalScrollBar()->value(), topAfter);
        const QStringList lines = view.SelectedText().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.isEmpty() ? QString() : lines.first() + u'-' + lines.last(), selected);
    }

    // When the ring has dropped older lines, the first line says so.
    void MoniterDroppedLines() {
        TMoniterLog& log = Window->Execution.MoniterLog;
        for (uint64_t n = 0; n < TMoniterLog::Capacity + 5; ++n)
            log.MoniterOutput(Print | n);
        Window->CatchUpMoniter();
        TMoniterView* view = Window->MemoMoniter;
        QCOMPARE(view->LineCount(), static_cast<int64_t>(TMoniterLog::Capacity) + 1);
        QCOMPARE(view->Line(0), QStringLiteral("（较早的输出已丢弃 Earlier output dropped）"));
        QCOMPARE(view->Line(1), QStringLiteral("5"));
        QCOMPARE(view->Line(view->LineCount() - 1), QString::number(TMoniterLog::Capacity + 4));
        view->repaint(); // paints only the visible rows
        Window->MnuClearAll->trigger();
        QCOMPARE(view->LineCount(), 0);
    }
};

QTEST_MAIN(TKeysMoniterTest)
#include "test_keys_moniter.moc"
