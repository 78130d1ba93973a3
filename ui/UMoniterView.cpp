#include "UMoniterView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

const QString TMoniterView::DroppedNote = QStringLiteral("（较早的输出已丢弃 Earlier output dropped）");

TMoniterView::TMoniterView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
}

void TMoniterView::SetLog(TMoniterLog* log) {
    FLog = log;
    FSnapshot = {};
    CatchUp();
}

void TMoniterView::CatchUp() {
    if (!FLog) return;
    const TMoniterLog::TSnapshot now = FLog->Snapshot();
    if (now.Generation == FSnapshot.Generation && now.FirstLine == FSnapshot.FirstLine) return;
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    if (now.FirstLine != FSnapshot.FirstLine || now.LineCount < FSnapshot.LineCount) FAnchor = FCursor = -1;
    FSnapshot = now;
    UpdateScrollRange(atEnd);
    viewport()->update();
}

void TMoniterView::Clear() {
    if (FLog) FLog->Clear();
    CatchUp();
}

int64_t TMoniterView::LineCount() const {
    return static_cast<int64_t>(FSnapshot.LineCount) + (FSnapshot.Dropped ? 1 : 0);
}

QString TMoniterView::Line(int64_t index) const {
    if (!FLog || index < 0 || index >= LineCount()) return {};
    if (FSnapshot.Dropped) {
        if (index == 0) return DroppedNote;
        --index;
    }
    FLog->CopyLines(static_cast<uint64_t>(index), 1, FScratch);
    return FScratch.empty() ? QString() : QString::number(FScratch[0]);
}

QString TMoniterView::toPlainText() const {
    QStringList lines;
    const int64_t count = LineCount();
    if (!FLog || count == 0) return {};
    const bool note = FSnapshot.Dropped != 0;
    if (note) lines << DroppedNote;
    FLog->CopyLines(0, FSnapshot.LineCount, FScratch);
    lines.reserve(static_cast<qsizetype>(FScratch.size()) + 1);
    for (uint32_t n : FScratch)
        lines << QString::number(n);
    return lines.join(QLatin1Char('\n'));
}

QString TMoniterView::SelectedText() const {
    if (FAnchor < 0) return {};
    const int64_t first = std::min(FAnchor, FCursor), last = std::max(FAnchor, FCursor);
    QStringList lines;
    for (int64_t row = first; row <= last && row < LineCount(); ++row)
        lines << Line(row);
    return lines.join(QLatin1Char('\n'));
}

void TMoniterView::SelectAll() {
    if (LineCount() == 0) return;
    FAnchor = 0;
    FCursor = LineCount() - 1;
    viewport()->update();
}

void TMoniterView::CopySelection() const {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

int TMoniterView::RowHeight() const {
    return std::max(1, fontMetrics().height());
}

int TMoniterView::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

int64_t TMoniterView::RowAt(int y) const {
    const int64_t row = verticalScrollBar()->value() + std::max(0, y) / RowHeight();
    return std::min(row, LineCount() - 1);
}

void TMoniterView::UpdateScrollRange(bool followEnd) {
    // A scroll bar counts in int: at most ~2 * 10^9 rows, far more than the log keeps.
    // At the end the last line sits in the last whole row: no empty row below it.
    const int64_t maximum = std::max<int64_t>(0, LineCount() - VisibleRows());
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(std::min<int64_t>(maximum, INT32_MAX)));
    bar->setPageStep(VisibleRows());
    if (followEnd) bar->setValue(bar->maximum());
}

void TMoniterView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange(verticalScrollBar()->value() >= verticalScrollBar()->maximum());
}

void TMoniterView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int64_t first = verticalScrollBar()->value();
    const int rows = VisibleRows() + 1;
    const int height = RowHeight();
    const int64_t selFirst = FAnchor < 0 ? -1 : std::min(FAnchor, FCursor);
    const int64_t selLast = FAnchor < 0 ? -2 : std::max(FAnchor, FCursor);
    // Only the rows on screen are fetched and formatted.
    const bool note = FSnapshot.Dropped != 0;
    const int64_t firstNumber = std::max<int64_t>(0, first - (note ? 1 : 0));
    if (FLog)
        FLog->CopyLines(static_cast<uint64_t>(firstNumber), static_cast<uint64_t>(rows), FScratch);
    else
        FScratch.clear();
    for (int i = 0; i < rows; ++i) {
        const int64_t row = first + i;
        if (row >= LineCount()) break;
        QString text;
        if (note && row == 0)
            text = DroppedNote;
        else {
            const int64_t at = row - (note ? 1 : 0) - firstNumber;
            if (at < 0 || at >= static_cast<int64_t>(FScratch.size())) break;
            text = QString::number(FScratch[static_cast<size_t>(at)]);
        }
        const QRect line(0, i * height, viewport()->width(), height);
        const bool selected = row >= selFirst && row <= selLast;
        if (selected) painter.fillRect(line, palette().highlight());
        painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
        painter.drawText(line.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

void TMoniterView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || LineCount() == 0)
        return QAbstractScrollArea::mousePressEvent(event);
    const int64_t row = RowAt(static_cast<int>(event->position().y()));
    if (!(event->modifiers() & Qt::ShiftModifier) || FAnchor < 0) FAnchor = row;
    FCursor = row;
    viewport()->update();
}

void TMoniterView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || FAnchor < 0) return;
    FCursor = RowAt(static_cast<int>(event->position().y()));
    viewport()->update();
}

void TMoniterView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return CopySelection();
    if (event->matches(QKeySequence::SelectAll)) return SelectAll();
    if (!Navigate(event->key(), event->modifiers() & Qt::ShiftModifier))
        QAbstractScrollArea::keyPressEvent(event);
}

bool TMoniterView::Navigate(int key, bool extend) {
    const int64_t page = VisibleRows();
    int64_t delta = 0; // lines to move, unless to the first or last line
    bool first = false, last = false;
    switch (key) {
    case Qt::Key_Home:
        first = true;
        break;
    case Qt::Key_End:
        last = true;
        break;
    case Qt::Key_PageUp:
        delta = -page;
        break;
    case Qt::Key_PageDown:
        delta = page;
        break;
    case Qt::Key_Up:
        delta = -1;
        break;
    case Qt::Key_Down:
        delta = 1;
        break;
    default:
        return false;
    }
    const int64_t lastRow = LineCount() - 1;
    if (lastRow < 0) return true;
    QScrollBar* bar = verticalScrollBar();
    const int64_t top = bar->value();
    if (FCursor < 0 && !extend) {
        const int64_t to = first ? 0 : last ? bar->maximum() : top + delta;
        bar->setValue(static_cast<int>(std::clamp<int64_t>(to, 0, bar->maximum())));
        return true;
    }
    // Shift without a cursor row selects from the top row on screen.
    const int64_t from = FCursor < 0 ? top : FCursor;
    const int64_t to = std::clamp<int64_t>(first ? 0 : last ? lastRow : from + delta, 0, lastRow);
    if (!extend || FAnchor < 0) FAnchor = extend ? from : to;
    FCursor = to;
    if (delta == page || delta == -page) // a page moves the view with the cursor
        bar->setValue(static_cast<int>(std::clamp<int64_t>(top + delta, 0, bar->maximum())));
    ScrollTo(to);
    viewport()->update();
    return true;
}

void TMoniterView::ScrollTo(int64_t row) {
    QScrollBar* bar = verticalScrollBar();
    const int64_t top = bar->value(), rows = VisibleRows();
    if (row < top)
        bar->setValue(static_cast<int>(row));
    else if (row >= top + rows)
        bar->setValue(static_cast<int>(row - rows + 1));
}

void TMoniterView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("复制 Copy"), this, &TMoniterView::CopySelection);
    copy->setEnabled(FAnchor >= 0);
    menu.addAction(QStringLiteral("全选 Select All"), this, &TMoniterView::SelectAll);
    menu.exec(event->globalPos());
}
