// The help menu's commands and the about box, driven as a student would: real modal boxes,
// closed from a timer, and a replaced desktop opener in place of a real viewer.
#include "UAboutBox.h"
#include "UHelpCommands.h"
#include "UProgramIcon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// What a modal message box showed before the timer closed it.
struct TSeenBox {
    bool Seen = false;
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
};

// Arms a timer that inspects the next modal box and closes it with its OK button.
void CloseNextMessageBox(TSeenBox& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.Seen = true;
        seen.Caption = box->windowTitle();
        seen.Text = box->text();
        seen.Icon = box->icon();
        for (QAbstractButton* button : box->buttons())
            seen.Buttons << QString::number(int(box->standardButton(button)));
        box->button(QMessageBox::Ok)->click();
    });
}

QString ExpectedFailure(const QString& fileName) {
    const QString path = QCoreApplication::applicationDirPath() + "/" + fileName;
    return QStringLiteral("不能打开帮助文件") + path + "\r\nCan not Open Help File" + path;
}

void Touch(const QString& fileName) {
    QFile file(HelpDocumentPath(fileName));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ITSF");
}

const QString Guide = QStringLiteral("ROZIDUV2.chm");
const QString Reference = QStringLiteral("VURIZUREZ.chm");

} // namespace

class THelpCommandsTest : public QObject {
    Q_OBJECT

    QStringList Opened;

  private slots:
    void init() {
        Opened.clear();
        DesktopOpener = [this](const QString& what) {
            Opened << what;
            return false; // a viewer that fails must not be reported
        };
        QFile::remove(HelpDocumentPath(Guide));
        QFile::remove(HelpDocumentPath(Reference));
    }

    void cleanup() {
        QFile::remove(HelpDocumentPath(Guide));
        QFile::remove(HelpDocumentPath(Reference));
    }

    void MissingDocumentShowsTheWarningBox_data() {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("guide") << Guide;
        QTest::newRow("reference") << Reference;
    }

    void MissingDocumentShowsTheWarningBox() {
        QFETCH(QString, fileName);
        TSeenBox seen;
        CloseNextMessageBox(seen);
        OpenHelpDocument(nullptr, fileName);
        QVERIFY(seen.Seen);
        QCOMPARE(seen.Caption, QStringLiteral("系统提示System Hint"));
        QCOMPARE(seen.Text, ExpectedFailure(fileName));
        QCOMPARE(seen.Icon, QMessageBox::Warning);
        QCOMPARE(seen.Buttons, QStringList{QString::number(int(QMessageBox::Ok))});
        QVERIFY(Opened.isEmpty());
    }

    // Only one of the two documents is present: each command looks at its own file.
    void TheTwoCommandsAreIndependent_data() {
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("missing");
        QTest::newRow("only the guide") << Guide << Reference;
        QTest::newRow("only the reference") << Reference << Guide;
    }

    void TheTwoCommandsAreIndependent() {
        QFETCH(QString, present);
        QFETCH(QString, missing);
        Touch(present);

        TSeenBox seen;
        CloseNextMessageBox(seen);
        OpenHelpDocument(nullptr, present);
        QCoreApplication::processEvents(); // lets a wrongly shown box be caught by the timer
        QVERIFY(!seen.Seen);
        QCOMPARE(Opened, QStringList{HelpDocumentPath(present)});

        Opened.clear();
        CloseNextMessageBox(seen);
        OpenHelpDocument(nullptr, missing);
        QVERIFY(seen.Seen);
        QCOMPARE(seen.Text, ExpectedFailure(missing));
        QVERIFY(Opened.isEmpty());
    }

    void PresentDocumentGoesToTheOpenerWithItsFullPath() {
        Touch(Guide);
        OpenHelpDocument(nullptr, Guide);
        QCOMPARE(Opened, QStringList{QCoreApplication::applicationDirPath() + "/ROZIDUV2.chm"});
    }

    // A folder with the document's name is not a document.
    void FolderWithTheNameCountsAsMissing() {
        QVERIFY(QDir().mkpath(HelpDocumentPath(Guide)));
        TSeenBox seen;
        CloseNextMessageBox(seen);
        OpenHelpDocument(nullptr, Guide);
        QDir().rmdir(HelpDocumentPath(Guide));
        QVERIFY(seen.Seen);
        QVERIFY(Opened.isEmpty());
    }

    // The page's path goes to the opener program; a program that fails to start, exits
    // non-zero or crashes leaves a box with the path, one that succeeds leaves nothing.
    void WebPageOpener_data() {
        QTest::addColumn<QString>("script"); // the opener's body, or empty for a missing program
        QTest::addColumn<bool>("reported");
        QTest::newRow("opens") << "exit 0" << false;
        QTest::newRow("no viewer") << "exit 3" << true;
        QTest::newRow("crashes") << "kill -SEGV $$" << true;
        QTest::newRow("missing program") << QString() << true;
    }
    void WebPageOpener() {
        QFETCH(QString, script);
        QFETCH(bool, reported);
        QTemporaryDir temp;
        const QString argument = temp.filePath("argument");
        DesktopOpenProgram = temp.filePath("opener");
        if (!script.isEmpty()) {
            QFile opener(DesktopOpenProgram);
            QVERIFY(opener.open(QIODevice::WriteOnly));
            opener.write(
                QStringLiteral("#!/bin/sh\nprintf %s \"$1\" > '%1'\n%2\n").arg(argument, script).toUtf8());
            opener.close();
            opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString path = ProductWebPagePath();
        QVERIFY(path.startsWith(QCoreApplication::applicationDirPath() + "/"));
        OpenProductWebPage(nullptr);
        if (!script.isEmpty()) {
            QTRY_VERIFY(QFileInfo::exists(argument));
            QFile seen(argument);
            QVERIFY(seen.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(seen.readAll()), path);
        }
        QMessageBox* box = nullptr;
        const auto findBox = [&box] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "WebPageFailed" && w->isVisible()) box = qobject_cast<QMessageBox*>(w);
            return box != nullptr;
        };
        if (!reported) {
            QTest::qWait(300); // the opener has long ended
            QVERIFY(!findBox());
            return;
        }
        QTRY_VERIFY(findBox());
        QCOMPARE(box->windowTitle(), QStringLiteral("系统提示System Hint"));
        QCOMPARE(box->text(), QStringLiteral("无法打开网页") + path + "\r\nCannot open the web page " + path);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        box->accept();
    }

    void AboutBoxShowsTheSameTextsEachTime() {
        TAboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("关于本软件About"));
        QCOMPARE(box.size(), QSize(298, 263));
        QCOMPARE(box.minimumSize(), box.maximumSize());

        const QStringList names = {"ProgramIcon", "ProductName", "Version",   "Copyright",
                                   "CopyrightEn", "Comments",    "CommentsEn"};
        const QList<QLabel*> members = {box.ProgramIcon, box.ProductName, box.Version,   box.Copyright,
                                        box.CopyrightEn, box.Comments,    box.CommentsEn};
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(members[i], qPrintable(names[i]));
            QCOMPARE(members[i]->objectName(), names[i]);
            QCOMPARE(box.findChild<QLabel*>(names[i]), members[i]);
        }
        QCOMPARE(box.ProductName->text(), QStringLiteral("ROZIDUV2  128位仿真机软件"));
        QCOMPARE(box.Version->text(), QStringLiteral("版本号Version：2021.5"));
        QVERIFY(box.Comments->wordWrap() && box.CommentsEn->wordWrap());
        QCOMPARE(box.ProgramIcon->size(), QSize(33, 33));
        QVERIFY(!box.ProgramIcon->pixmap().isNull());
        QCOMPARE(box.OKButton->objectName(), QStringLiteral("OKButton"));
        QCOMPARE(box.OKButton->text(), QStringLiteral("关闭&OK"));
        QVERIFY(box.OKButton->isDefault());

        auto texts = [&box] {
            QStringList all;
            for (QLabel* label : box.findChildren<QLabel*>())
                all << label->objectName() + "=" + label->text();
            return all;
        };
        const QStringList first = texts();
        for (const QString& notice :
             {box.Copyright->text(), box.CopyrightEn->text(), box.Comments->text(), box.CommentsEn->text()})
            QVERIFY(!notice.trimmed().isEmpty());

        // First showing closed with the button, the second with Enter; both accept.
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
            if (shown) shown->OKButton->click();
        });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
        QCOMPARE(texts(), first);

        QStringList secondShowing;
        QTimer::singleShot(0, [&secondShowing, &texts] {
            auto* shown = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
            if (!shown) return;
            secondShowing = texts();
            QTest::keyClick(shown, Qt::Key_Return);
        });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
        QCOMPARE(secondShowing, first);
        QVERIFY(box.isHidden());
    }

    // The fixed client area must hold every text at the box's 12-pixel font.
    void AboutBoxClipsNoText() {
        TAboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (QLabel* label : box.findChildren<QLabel*>()) {
            if (label == box.ProgramIcon) continue;
            const QRect inBox(label->mapTo(&box, QPoint(0, 0)), label->size());
            QVERIFY2(box.rect().contains(inBox), qPrintable(label->objectName()));
            if (label->wordWrap())
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                         qPrintable(label->objectName()));
            else
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
        }
        QVERIFY(box.rect().contains(QRect(box.OKButton->pos(), box.OKButton->size())));
    }

    void IconsHaveSharpSizesForBothScales() {
        for (const QIcon& icon : {ProgramIcon(), StopBitmap()}) {
            const QList<QSize> sizes = icon.availableSizes();
            for (int size : {16, 32, 64})
                QVERIFY(sizes.contains(QSize(size, size)));
            // The pictures are not blank: the centre pixel of the 32 form is opaque.
            const QImage image = icon.pixmap(QSize(32, 32), 1.0).toImage();
            QCOMPARE(qAlpha(image.pixel(16, 16)), 255);
        }
        QVERIFY(ProgramIcon().availableSizes().contains(QSize(48, 48)));
    }
};

QTEST_MAIN(THelpCommandsTest)
#include "HelpCommandsTest.moc"
