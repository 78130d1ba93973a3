// The register panel through its real boxes and buttons: display format, parse rules,
// errors, partial writes in row order, EditOp.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "UBoxCloser.h"
#include "UCommandGuard.h"
#include "UFrmMain.h"

class TRegisterPanelTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TFrmMain> Window;

    QLineEdit* Box(const QString& name) {
        return Window->findChild<QLineEdit*>(QStringLiteral("Edit") + name);
    }
    QPushButton* Button(const char* name) {
        return Window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // Presses "将输入的值放入CPU"; returns the error box text, empty when none appeared.
    QString PressEditToArgs() {
        TBoxCloser closer;
        closer.Run([&] { Button("BtnEditToArgs")->click(); });
        return closer.Seen ? closer.Text : QString();
    }

  private slots:
    void initTestCase() { SetApplicationTitle(); }
    // Shown, so that FormShow has filled the boxes as a user first sees them.
    void init() {
        Window = std::make_unique<TFrmMain>();
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void cleanup() { Window.reset(); }

    // Every row shows its own register: distinct values land in distinct boxes.
    void DisplayIsPerRegister() {
        for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
            Window->Cpu.PanelRegister(i) = 0x1000 + i;
        Window->Cpu.R[15] = -1;
        Button("BtnGetArgsToEdit")->click();
        for (int i = 0; i < TCCPUBase::PanelRegisterCount - 1; ++i)
            QCOMPARE(Box(TCCPUBase::PanelRegisterNames[i])->text(),
                     QStringLiteral("%1").arg(0x1000 + i, 16, 16, QChar('0')).toUpper());
        QCOMPARE(Box("R15")->text(), QStringLiteral("FFFFFFFFFFFFFFFF"));
        Window->Cpu.Version = static_cast<int64_t>(0xABCDEF0123456789ULL);
        Button("BtnGetArgsToEdit")->click();
        QCOMPARE(Box("Version")->text(), QStringLiteral("ABCDEF0123456789"));
    }

    void ParseRules_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qulonglong>("value");
        QTest::newRow("lower-case ff") << "ff" << true << 255ULL;
        QTest::newRow("sixteen F is minus one") << "FFFFFFFFFFFFFFFF" << true << ~0ULL;
        QTest::newRow("top bit from eight") << "8000000000000000" << true << 0x8000000000000000ULL;
        QTest::newRow("leading zeros do not count") << "0000000000000000001" << true << 1ULL;
        QTest::newRow("mixed case") << "aBcD" << true << 0xABCDULL;
        QTest::newRow("seventeen significant") << "10000000000000000" << false << 0ULL;
        QTest::newRow("empty") << "" << false << 0ULL;
        QTest::newRow("inner blank") << "12 34" << false << 0ULL;
        QTest::newRow("leading blank") << " 1" << false << 0ULL;
        QTest::newRow("trailing blank") << "1 " << false << 0ULL;
        QTest::newRow("sign") << "-1" << false << 0ULL;
        QTest::newRow("own 0x prefix") << "0x10" << false << 0ULL;
        QTest::newRow("dollar prefix") << "$10" << false << 0ULL;
        QTest::newRow("not hex") << "zz" << false << 0ULL;
    }
    void ParseRules() {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        QFETCH(qulonglong, value);
        Window->Cpu.R[3] = 12345;
        Box("R3")->setText(typed);
        const QString error = PressEditToArgs();
        if (valid) {
            QCOMPARE(error, QString());
            QCOMPARE(static_cast<qulonglong>(Window->Cpu.R[3]), value);
            QCOMPARE(Box("R3")->text(), typed); // kept as typed until the next refresh
        } else {
            QCOMPARE(error, QStringLiteral("'0x%1' is not a valid integer value.").arg(typed));
            QCOMPARE(Window->Cpu.R[3], 12345);
        }
    }

    void RefreshAfterWriteShowsCanonicalText() {
        Box("R3")->setText("ff");
        QCOMPARE(PressEditToArgs(), QString());
        Button("BtnGetArgsToEdit")->click();
        QCOMPARE(Box("R3")->text(), QStringLiteral("00000000000000FF"));
    }

    // Rows before the invalid box are written, it and all later rows are not.
    void PartialWrites_data() {
        QTest::addColumn<QString>("invalidBox");
        QTest::addColumn<int>("invalidRow");
        QTest::newRow("first row IPOffset") << "IPOffset" << 0;
        QTest::newRow("Version, last control row") << "Version" << 10;
        QTest::newRow("R5") << "R5" << 16;
        QTest::newRow("R15, last row") << "R15" << 26;
    }
    void PartialWrites() {
        QFETCH(QString, invalidBox);
        QFETCH(int, invalidRow);
        for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i) {
            Window->Cpu.PanelRegister(i) = 7;
            Box(TCCPUBase::PanelRegisterNames[i])->setText(QString::number(0x100 + i, 16));
        }
        Box(invalidBox)->setText("-1");
        QCOMPARE(PressEditToArgs(), QStringLiteral("'0x-1' is not a valid integer value."));
        for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
            QCOMPARE(Window->Cpu.PanelRegister(i), i < invalidRow ? 0x100 + i : 7);
    }

    void EditOpIsNeverRead() {
        Box("Op")->setText("not a number");
        Box("R0")->setText("5");
        QCOMPARE(PressEditToArgs(), QString());
        QCOMPARE(Window->Cpu.R[0], 5);
    }

    void EditOpShowsMemoryAtIPOffset_data() {
        QTest::addColumn<qlonglong>("ipOffset");
        QTest::addColumn<QString>("shown");
        QTest::newRow("bytes 01..08 at 0, reversed") << 0LL << "0807060504030201";
        QTest::newRow("unaligned start") << 1LL << "0008070605040302";
        QTest::newRow("last byte of memory, rest reads 0") << 9999LL << "00000000000000AA";
        QTest::newRow("beyond memory") << 10000LL << "0000000000000000";
        QTest::newRow("negative: bytes below 0 read 0") << -2LL << "0605040302010000";
        QTest::newRow("most negative") << qlonglong(INT64_MIN) << "0000000000000000";
        QTest::newRow("largest") << qlonglong(INT64_MAX) << "0000000000000000";
    }
    void EditOpShowsMemoryAtIPOffset() {
        QFETCH(qlonglong, ipOffset);
        QFETCH(QString, shown);
        uint8_t* bytes = Window->Cpu.Memory.Buffer();
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<uint8_t>(i + 1);
        bytes[9999] = 0xAA;
        Window->Cpu.IPOffset = ipOffset;
        Button("BtnGetArgsToEdit")->click();
        QCOMPARE(Box("Op")->text(), shown);
    }
};

QTEST_MAIN(TRegisterPanelTest)
#include "test_registerpanel.moc"
