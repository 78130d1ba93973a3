#include "UWindowParts.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>

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
    // Wide enough for the size and date columns, which Qt's default size cuts to "···".
    dialog->resize(760, 460);
    return dialog;
}

QFileDialog* MakeOpenBinDlg(QWidget* parent) {
    return MakeOpenFileDialog(parent, "OpenBinDlg", QStringLiteral("bin"),
                              {QStringLiteral("二进制代码文件(*.bin) (*.bin)"),
                               QStringLiteral("新二进制代码文件(*.zlmbin) (*.zlmbin)"),
                               QStringLiteral("所有文件(*.*) (*)")});
}
