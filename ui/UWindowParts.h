#pragma once
#include <QFont>
#include <QString>
#include <QStringList>

#include <QList>

class QAction;
class QFileDialog;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QWidget;

// Parts of the main window that need nothing of it: its font, its named widgets and the
// file dialog of Open.

// Gives object its documented control name (tests find it by that).
template <class T> T* Named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QAction* Separator(QMenu* menu, const char* name);

// The window's font: "宋体" at 12 px. Where no such font is installed it falls back to the
// CJK font that the program's set-up installs, so Chinese never renders as boxes.
QFont WindowFont();

// A status bar with a "就绪" panel of readyWidth and a notice filling the rest.
QStatusBar* StatusBarWithPanels(const char* name, int readyWidth, const QString& notice);

// A text area with a vertical scroll bar always shown, holding firstLine.
QPlainTextEdit* Memo(const char* name, const QString& firstLine);

// A non-native dialog named name for one existing file; filters are "<caption> (<patterns>)".
QFileDialog* MakeOpenFileDialog(QWidget* parent, const char* name, const QString& suffix,
                                const QStringList& filters);
// OpenBinDlg: one existing code image (.bin, .zlmbin or any file).
QFileDialog* MakeOpenBinDlg(QWidget* parent);

// Keeps the keys of actions from firing while the focus is in area: a key that one of them
// has as its shortcut goes to area as typing instead (area's own key handling, such as the
// keyboard port's, sees it). Other keys, the menus' Alt accelerators among them, work as usual.
void KeepShortcutsOut(QWidget* area, const QList<QAction*>& actions);
