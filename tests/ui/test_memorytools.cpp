// The memory tools: the 32-bit number syntax, the viewer with its limit, the size setter
// with its refusals, all through the real boxes and buttons.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <sys/resource.h>

#include "UBoxCloser.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"
#include "UMemoryTools.h"
#include "UNumberParse.h"

class TMemoryToolsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TFrmMain> Window;

    QLineEdit* Edit(const char* name) { return Window->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QString View() { return Window->findChild<QPlainTextEdit*>("MemoMemory")->toPlainText(); }
    QString Info() { return Window->MemoInfo->toPlainText(); }
    // Presses a button; returns the box it opened (Seen false when none).
    TBoxCloser Press(const char* button) {
        TBoxCloser closer;
        closer.Run([&] { Window->findChild<QPushButton*>(QString::fromLatin1(button))->click(); });
        return closer;
    }
    TBoxCloser Refresh(const QString& begin, const QString& count) {
        Edit("EditBeginMemory")->setText(begin);
        Edit("EditMemoryCount")->setText(count);
        return Press("BtnFlash");
    }

  private slots:
    void initTestCase() { SetApplicationTitle(); }
    void init() { Window = std::make_unique<TFrmMain>(); }
    void cleanup() { Window.reset(); }

    void NumberSyntax_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal") << "128" << true << 128;
        QTest::newRow("leading zero is decimal") << "080" << true << 80;
        QTest::newRow("plus sign") << "+5" << true << 5;
        QTest::newRow("minus sign") << "-5" << true << -5;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("one past largest") << "2147483648" << false << 0;
        QTest::newRow("one below smallest") << "-2147483649" << false << 0;
        QTest::newRow("many digits") << "99999999999999999999" << false << 0;
        QTest::newRow("dollar") << "$80" << true << 128;
        QTest::newRow("x") << "x80" << true << 128;
        QTest::newRow("X") << "X1f" << true << 31;
        QTest::newRow("0x") << "0x80" << true << 128;
        QTest::newRow("0X") << "0XfF" << true << 255;
        QTest::newRow("hex top bit is negative") << "$FFFFFFFF" << true << -1;
        QTest::newRow("hex 80000000") << "0x80000000" << true << int(-2147483648LL);
        QTest::newRow("hex leading zeros free") << "$0000000000000010" << true << 16;
        QTest::newRow("nine significant hex digits") << "$100000000" << false << 0;
        QTest::newRow("signed hex") << "-$10" << false << 0;
        QTest::newRow("prefix without digits") << "0x" << false << 0;
        QTest::newRow("dollar alone") << "$" << false << 0;
        QTest::newRow("leading blanks") << "  16" << true << 16;
        QTest::newRow("leading tab") << "\t16" << true << 16;
        QTest::newRow("blank before hex") << " $10" << true << 16;
        QTest::newRow("trailing blank") << "16 " << false << 0;
        QTest::newRow("blank after sign") << "- 5" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blanks only") << "   " << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("letters after digits") << "12a" << false << 0;
        QTest::newRow("hex digit in decimal") << "1F" << false << 0;
        QTest::newRow("full-width digits") << "１２" << false << 0;
    }
    void NumberSyntax() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        if (valid) {
            QCOMPARE(ParseInt32(text), value);
        } else {
            try {
                ParseInt32(text);
                QFAIL("accepted");
            } catch (const EConvertError& e) {
                QCOMPARE(QString::fromUtf8(e.what()),
                         QStringLiteral("'%1' is not a valid integer value").arg(text));
            }
        }
    }

    void RefreshAtStartShows32ZeroLines() {
        QVERIFY(!Press("BtnFlash").Seen);
        QCOMPARE(View(), QStringList(32, "00000000").join('\n'));
    }

    void ViewerRanges_data() {
        QTest::addColumn<QString>("begin");
        QTest::addColumn<QString>("count");
        QTest::addColumn<qlonglong>("viewBegin");
        QTest::addColumn<QString>("view");
        // Memory holds bytes i & 0xFF at address i (see ViewerRanges).
        QTest::newRow("$80 starts at 128") << "$80"
                                           << "8" << 128LL << "83828180\n87868584";
        QTest::newRow("0x80 the same") << "0x80"
                                       << "8" << 128LL << "83828180\n87868584";
        QTest::newRow("080 is decimal 80") << "080"
                                           << "4" << 80LL << "53525150";
        QTest::newRow("partial group dropped") << "0"
                                               << "7" << 0LL << "03020100";
        QTest::newRow("zero count") << "0"
                                    << "0" << 0LL << "";
        QTest::newRow("negative count") << "0"
                                        << "-4" << 0LL << "";
        QTest::newRow("start at the size") << "10000"
                                           << "16" << 10000LL << "";
        QTest::newRow("ends at the size") << "9992"
                                          << "100" << 9992LL << "0B0A0908\n0F0E0D0C";
        QTest::newRow("negative start shows 00 below 0") << "-2"
                                                         << "8" << -2LL << "01000000\n05040302";
    }
    void ViewerRanges() {
        QFETCH(QString, begin);
        QFETCH(QString, count);
        QFETCH(qlonglong, viewBegin);
        QFETCH(QString, view);
        uint8_t* bytes = Window->Cpu.Memory.Buffer();
        for (int i = 0; i < 10000; ++i)
            bytes[i] = static_cast<uint8_t>(i);
        Window->findChild<QPlainTextEdit*>("MemoMemory")->setPlainText("old");
        QVERIFY(!Refresh(begin, count).Seen);
        QCOMPARE(Window->ViewBegin, viewBegin);
        QCOMPARE(Window->ViewCount, count.toLongLong());
        QCOMPARE(View(), view);
    }

    // An invalid box ends the refresh where it happens.
    void ViewerErrors() {
        Window->findChild<QPlainTextEdit*>("MemoMemory")->setPlainText("old");
        TBoxCloser box = Refresh("12a", "16");
        QCOMPARE(box.Text, QStringLiteral("'12a' is not a valid integer value."));
        QCOMPARE(box.Icon, QMessageBox::Critical);
        QCOMPARE(Window->ViewBegin, 0);
        box = Refresh("64", "16 ");
        QCOMPARE(box.Text, QStringLiteral("'16 ' is not a valid integer value."));
        QCOMPARE(Window->ViewBegin, 64);
        QCOMPARE(Window->ViewCount, 128);
        QCOMPARE(View(), QStringLiteral("old"));
    }

    // The viewer shows at most 262144 bytes and says so in MemoInfo only when it cut.
    void ViewerLimit_data() {
        QTest::addColumn<qlonglong>("size");
        QTest::addColumn<QString>("begin");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("note");
        QTest::newRow("largest count, cut") << 1000000LL << "0"
                                            << "2147483647" << 65536 << true;
        QTest::newRow("exactly the limit") << 1000000LL << "0"
                                           << "262144" << 65536 << false;
        QTest::newRow("one byte over, only a partial group") << 1000000LL << "0"
                                                             << "262145" << 65536 << true;
        QTest::newRow("large count, small memory") << 10000LL << "0"
                                                   << "2147483647" << 2500 << false;
        QTest::newRow("near the end of memory") << 1000000LL << "900000"
                                                << "2147483647" << 25000 << false;
    }
    void ViewerLimit() {
        QFETCH(qlonglong, size);
        QFETCH(QString, begin);
        QFETCH(QString, count);
        QFETCH(int, lines);
        QFETCH(bool, note);
        QCOMPARE(Window->Cpu.Memory.SetSize(size), 0);
        QVERIFY(!Refresh(begin, count).Seen);
        QCOMPARE(Window->findChild<QPlainTextEdit*>("MemoMemory")->blockCount(), lines);
        const QString expected = note ? QStringLiteral("就绪\n内存显示长度超过上限，只显示前262144字节。Only "
                                                       "the first 262144 bytes are shown.")
                                      : QStringLiteral("就绪");
        QCOMPARE(Info(), expected);
    }

    void SetSizeKeepsRegistersAndPanel() {
        Window->Cpu.R[2] = 42;
        Window->GetArgsToEdit();
        const QString shown = Edit("EditR2")->text();
        Window->Cpu.Memory.Buffer()[5] = 9;
        Edit("EditSize")->setText("20000");
        QVERIFY(!Press("BtnSetMemorySize").Seen);
        QCOMPARE(Window->Cpu.Memory.Size(), 20000);
        QCOMPARE(Window->Cpu.Memory.UsedLength(), 0);
        QCOMPARE(Window->Cpu.Memory.PeekByte(5), 0);
        QCOMPARE(Window->Cpu.R[2], 42);
        QCOMPARE(Edit("EditR2")->text(), shown);
        QCOMPARE(Info(), QStringLiteral("就绪"));
    }

    void RefusedSizes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::newRow("zero") << "0"
                              << "内存大小必须大于0：0\r\nMemory size must be greater than 0: 0"
                              << QMessageBox::Warning;
        QTest::newRow("negative") << "-5"
                                  << "内存大小必须大于0：-5\r\nMemory size must be greater than 0: -5"
                                  << QMessageBox::Warning;
        QTest::newRow("top-bit hex is negative")
            << "$FFFFFFFF"
            << "内存大小必须大于0：-1\r\nMemory size must be greater than 0: -1" << QMessageBox::Warning;
        QTest::newRow("invalid text") << "10000 "
                                      << "'10000 ' is not a valid integer value." << QMessageBox::Critical;
    }
    void RefusedSizes() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QMessageBox::Icon, icon);
        Window->Cpu.Memory.Buffer()[7] = 3;
        Edit("EditSize")->setText(typed);
        const TBoxCloser box = Press("BtnSetMemorySize");
        QVERIFY(box.Seen);
        QCOMPARE(box.Text, message);
        QCOMPARE(box.Icon, icon);
        if (icon == QMessageBox::Warning) QCOMPARE(box.Title, QStringLiteral("系统提示"));
        QCOMPARE(Window->Cpu.Memory.Size(), 10000);
        QCOMPARE(Window->Cpu.Memory.PeekByte(7), 3);
    }

    // With the address space capped, 2147483647 bytes cannot be had: the box says so and the
    // old memory stays.
    void UnallocatableSize() {
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_AS, &old), 0);
        Window->Cpu.Memory.Buffer()[7] = 3;
        Edit("EditSize")->setText("2147483647");
        // Room for what the process already maps plus 256 MiB: far below the request.
        long pages = 0;
        QFile statm("/proc/self/statm");
        QVERIFY(statm.open(QIODevice::ReadOnly));
        pages = statm.readAll().split(' ').value(0).toLong();
        rlimit capped = old;
        capped.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (256ULL << 20);
        QCOMPARE(setrlimit(RLIMIT_AS, &capped), 0);
        const TBoxCloser box = Press("BtnSetMemorySize");
        setrlimit(RLIMIT_AS, &old);
        QCOMPARE(box.Title, QStringLiteral("系统提示"));
        QCOMPARE(box.Text,
                 QStringLiteral("无法分配内存：2147483647字节\r\nCannot allocate memory: 2147483647 bytes"));
        QCOMPARE(Window->Cpu.Memory.Size(), 10000);
        QCOMPARE(Window->Cpu.Memory.PeekByte(7), 3);
    }
};

QTEST_MAIN(TMemoryToolsTest)
#include "test_memorytools.moc"
