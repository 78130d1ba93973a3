#pragma once
#include <QAbstractScrollArea>
#include <QString>
#include <cstdint>
#include <vector>

#include "UMoniterLog.h"

// The monitor output area: a read-only view over the monitor log that formats only the
// lines on screen, so a program may print millions of lines without the window slowing down.
// When the log has dropped older lines, the first line says so. Lines are selected whole
// (mouse, Shift+click, Ctrl+A, Shift with the navigation keys) and copied with Ctrl+C or the
// context menu. Up/Down, Page Up/Down and Home/End (also with Ctrl) move by a line, a page,
// or to the first / last line, as in a text view: without a cursor row they scroll; with
// one they move it (a single row selected) and keep it in view.
//
// Window's thread only. The log is written by the thread that executes the CPU; CatchUp
// brings the view up to date with it (the window calls it from a timer during a run and
// before every command).
class TMoniterView : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ toPlainText)

  public:
    static const QString DroppedNote; // "（较早的输出已丢弃 Earlier output dropped）"

    explicit TMoniterView(QWidget* parent = nullptr);

    void SetLog(TMoniterLog* log);
    // Reads the log's state; repaints (and follows the end, if the view was at the end)
    // only when it changed.
    void CatchUp();
    // Empties the monitor: a clear event in the log, as a program's clear would append.
    void Clear();

    int64_t LineCount() const;
    QString Line(int64_t index) const;
    QString toPlainText() const;
    QString SelectedText() const;
    void SelectAll();
    void CopySelection() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    int RowHeight() const;
    int VisibleRows() const;
    int64_t RowAt(int y) const;
    void UpdateScrollRange(bool followEnd);
    // Handles a navigation key; false for any other key.
    bool Navigate(int key, bool extend);
    void ScrollTo(int64_t row);

    TMoniterLog* FLog = nullptr;
    TMoniterLog::TSnapshot FSnapshot{};
    int64_t FAnchor = -1; // selected rows: between anchor and cursor, inclusive
    int64_t FCursor = -1;
    mutable std::vector<uint32_t> FScratch;
};
