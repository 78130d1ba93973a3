// A probe preloaded (LD_PRELOAD) into the installed window so that the installation check
// watches the real program, started as a user starts it, without a test hook in the
// product. It registers with every QCoreApplication that starts in the process and then:
//   - closes every message box the window shows (after recording its objectName and text);
//   - takes over the desktop's opener for file URLs, recording what would be opened;
//   - once the start-up's work is over (no box open, the event loop back at its top level,
//     the main window shown), triggers the actions named in ROZ_PROBE_ACTIONS (objectNames,
//     space-separated) one after the other, then records MemoInfo's lines and closes the
//     main window.
// It prints one JSON object on standard output when the program ends:
//   {"events": [{"box": name, "text": text} | {"opened": path} | {"triggered": name} |
//               {"absent": name} (no such action) | {"timeout": true}],
//    "info": [lines of MemoInfo]}
// With ROZ_PROBE_ACTIONS unset it does nothing, so a preload that leaks into a child
// process stays harmless.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

// A program that has not settled after this long is reported as such and closed.
constexpr int TimeoutMs = 10000;

class TWindowProbe : public QObject {
    Q_OBJECT

  public:
    explicit TWindowProbe(QStringList actions) : QObject(qApp), FActions(std::move(actions)) {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenFile");
        connect(&FTick, &QTimer::timeout, this, &TWindowProbe::Tick);
        FTick.start(10);
        QTimer::singleShot(TimeoutMs, this, [this] {
            FEvents.append(QJsonObject{{"timeout", true}});
            Finish();
        });
        connect(qApp, &QCoreApplication::aboutToQuit, this, &TWindowProbe::Print);
    }

    ~TWindowProbe() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

  public slots:
    // The desktop opener's replacement: the path is recorded and reported as opened.
    void OpenFile(const QUrl& url) { FEvents.append(QJsonObject{{"opened", url.toLocalFile()}}); }

  private:
    QStringList FActions;
    QTimer FTick;
    QJsonArray FEvents;
    QJsonArray FInfo;
    bool FFinished = false;
    bool FTriggering = false; // an action has been posted and has not returned yet

    static QMainWindow* MainWindow() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("FrmMain")) return qobject_cast<QMainWindow*>(widget);
        return nullptr;
    }

    // Runs on every tick, also inside the nested loop of a box that an action opened.
    void Tick() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            FEvents.append(QJsonObject{{"box", box->objectName()}, {"text", box->text()}});
            box->accept();
            return;
        }
        QMainWindow* window = MainWindow();
        if (FFinished || !window || !window->isVisible() || QThread::currentThread()->loopLevel() != 1)
            return;
        if (FActions.isEmpty()) {
            Finish();
            return;
        }
        if (FTriggering) return;
        const QString name = FActions.takeFirst();
        FEvents.append(QJsonObject{{"triggered", name}});
        auto* action = window->findChild<QAction*>(name);
        if (!action) {
            FEvents.append(QJsonObject{{"absent", name}});
            return;
        }
        // Not from this slot: a timer's slot is not re-entered, so a box that the action
        // opens with exec() would never be closed.
        FTriggering = true;
        QMetaObject::invokeMethod(
            action,
            [this, action] {
                action->trigger();
                FTriggering = false;
            },
            Qt::QueuedConnection);
    }

    void Finish() {
        if (FFinished) return;
        FFinished = true;
        if (QMainWindow* window = MainWindow()) {
            if (auto* info = window->findChild<QPlainTextEdit*>(QStringLiteral("MemoInfo")))
                FInfo = QJsonArray::fromStringList(info->toPlainText().split(u'\n'));
            window->close();
        }
        // A window that refuses to close must not keep the check waiting.
        QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(0); });
    }

    void Print() {
        const QByteArray json =
            QJsonDocument(QJsonObject{{"events", FEvents}, {"info", FInfo}}).toJson(QJsonDocument::Compact);
        std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
};

// Called by every QCoreApplication's constructor; the probe starts once the event loop
// runs, by which time the main window's start-up has posted its work.
void StartProbe() {
    const QString actions = qEnvironmentVariable("ROZ_PROBE_ACTIONS");
    if (!qEnvironmentVariableIsSet("ROZ_PROBE_ACTIONS")) return;
    QMetaObject::invokeMethod(
        qApp,
        [actions] {
            if (qobject_cast<QApplication*>(qApp)) new TWindowProbe(actions.split(u' ', Qt::SkipEmptyParts));
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartProbe)

#include "window_probe.moc"
