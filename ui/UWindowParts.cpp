#include "UWindowParts.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTreeView>

QAction* Separator(QMenu* menu, const char* name) {
    return Named(menu->addSeparator(), name);
}

QFont WindowFont() {
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC")});
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    return font;
}

QStatusBar* StatusBarWithPanels(const char* name, int readyWidth, const QString& notice) {
    auto* bar = Named(new QStatusBar, name);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(19);
    auto* ready = new QLabel(QStringLiteral("就绪"));
    ready->setMinimumWidth(readyWidth);
    bar->addWidget(ready);
    bar->addWidget(new QLabel(notice), 1);
    return bar;
}

QPlainTextEdit* Memo(const char* name, const QString& firstLine) {
    auto* memo = Named(new QPlainTextEdit, name);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (!firstLine.isEmpty()) memo->setPlainText(firstLine);
    return memo;
}

QFileDialog* MakeOpenFileDialog(QWidget* parent, const char* name, const QString& suffix,
                                const QStringList& filters) {
    auto* dialog = Named(new QFileDialog(parent), name);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(suffix);
    // Each filter is "<caption> (<patterns>)" and only the caption is shown, so the last one
    // can read "(*.*)" and still match names without a dot.
    dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog->setNameFilters(filters);
    // The file name's completer leaves its popup on screen when Enter accepts the dialog,
    // where it would take the next click.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QCompleter* completer : dialog->findChildren<QCompleter*>())
            if (QAbstractItemView* popup = completer->popup()) popup->hide();
    });
    // Wide enough for the size, type and date columns, which Qt's default widths cut to "···"
    // ("137…tes", "C s…ode"): those columns take their contents' width, the name the rest.
    dialog->resize(860, 480);
    if (auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    return dialog;
}

QFileDialog* MakeOpenBinDlg(QWidget* parent) {
    return MakeOpenFileDialog(parent, "OpenBinDlg", QStringLiteral("bin"),
                              {QStringLiteral("二进制代码文件(*.bin) (*.bin)"),
                               QStringLiteral("新二进制代码文件(*.zlmbin) (*.zlmbin)"),
                               QStringLiteral("所有文件(*.*) (*)")});
}

namespace {

class TShortcutFence : public QObject {
  public:
    TShortcutFence(QWidget* area, const QList<QAction*>& actions) : QObject(area), FActions(actions) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence typed(
            QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
        for (const QAction* action : FActions)
            for (const QKeySequence& shortcut : action->shortcuts())
                if (shortcut == typed) {
                    event->accept(); // delivered to the area as a key press
                    return true;
                }
        return false;
    }

  private:
    QList<QAction*> FActions;
};

} // namespace

void KeepShortcutsOut(QWidget* area, const QList<QAction*>& actions) {
    area->installEventFilter(new TShortcutFence(area, actions));
}
