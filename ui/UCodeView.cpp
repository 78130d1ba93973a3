#include "UCodeView.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>

namespace {

using TKind = TCodeListing::TKind;

const QColor CurrentBackground(255, 242, 140);
const QColor CursorBackground(215, 228, 248);
const QColor BreakpointColour(200, 30, 30);
const QColor LabelColour(140, 20, 20);
const QColor SourceColour(0, 70, 160);
const QColor HeaderColour(110, 110, 110);

} // namespace

TCodeView::TCodeView(const TCodeListing& listing, QWidget* parent)
    : QAbstractScrollArea(parent), FListing(listing) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(12);
    setFont(fixed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

int TCodeView::RowHeight() const {
    return std::max(1, fontMetrics().height() + 1);
}

int TCodeView::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

int64_t TCodeView::TopRow() const {
    return verticalScrollBar()->value();
}

int64_t TCodeView::RowAt(int y) const {
    const int64_t row = TopRow() + std::max(0, y) / RowHeight();
    return row < FListing.RowCount(FMode) ? row : -1;
}

int64_t TCodeView::CurrentRow() const {
    return FCurrent ? FListing.RowOfAddress(FMode, *FCurrent) : -1;
}

void TCodeView::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    const int64_t maximum = std::max<int64_t>(0, FListing.RowCount(FMode) - VisibleRows());
    bar->setRange(0, static_cast<int>(std::min<int64_t>(maximum, INT32_MAX)));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
    const int textWidth = FListing.MaxColumns(FMode) * fontMetrics().horizontalAdvance(QLatin1Char('0'));
    QScrollBar* across = horizontalScrollBar();
    across->setRange(0, std::max(0, MarginWidth + 8 + textWidth - viewport()->width()));
    across->setPageStep(viewport()->width());
    across->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 4);
}

void TCodeView::ScrollIntoView(int64_t row, bool centre) {
    if (row < 0) return;
    const int64_t top = TopRow(), rows = VisibleRows();
    if (row >= top && row < top + rows) return;
    QScrollBar* bar = verticalScrollBar();
    const int64_t to = centre ? row - rows / 3 : row < top ? row : row - rows + 1;
    bar->setValue(static_cast<int>(std::clamp<int64_t>(to, 0, bar->maximum())));
}

int64_t TCodeView::MapRow(TMode from, int64_t row, TMode to) const {
    if (row < 0) return -1;
    if (from == to) return row;
    // A source line without code stands for the next line that has some.
    uint64_t address = TCodeListing::NoAddress;
    for (int64_t r = row; r < FListing.RowCount(from) && address == TCodeListing::NoAddress; ++r) {
        address = FListing.AddressOfRow(from, r);
        if (from != TMode::Source) break;
    }
    if (address == TCodeListing::NoAddress) return -1;
    int64_t mapped = FListing.RowOfAddress(to, address);
    // The labels and source lines of an address stand above its instruction: they come along.
    if (to != TMode::Source)
        while (mapped > 0 && FListing.Row(to, mapped - 1).Kind != TKind::Instruction &&
               FListing.Row(to, mapped - 1).Address == address)
            --mapped;
    return mapped;
}

void TCodeView::SetMode(TMode mode) {
    if (mode == FMode) return;
    const int64_t top = TopRow();
    const bool cursorShown = FCursor >= top && FCursor < top + VisibleRows();
    const int64_t anchor = cursorShown ? FCursor : top;
    const int64_t offset = anchor - top;
    const int64_t mappedAnchor = MapRow(FMode, anchor, mode);
    const int64_t mappedCursor = MapRow(FMode, FCursor, mode);
    FMode = mode;
    UpdateScrollRange();
    FCursor = mappedCursor;
    if (mappedAnchor >= 0)
        verticalScrollBar()->setValue(
            static_cast<int>(std::clamp<int64_t>(mappedAnchor - offset, 0, verticalScrollBar()->maximum())));
    else
        ScrollIntoView(CurrentRow(), true);
    viewport()->update();
}

void TCodeView::SetCurrent(std::optional<uint64_t> address, bool follow) {
    FCurrent = address;
    if (follow) ScrollIntoView(CurrentRow(), true);
    viewport()->update();
}

void TCodeView::ListingChanged() {
    UpdateScrollRange();
    FCursor = std::min(FCursor, FListing.RowCount(FMode) - 1);
    viewport()->update();
}

void TCodeView::SetCursorRow(int64_t row) {
    FCursor = std::clamp<int64_t>(row, -1, FListing.RowCount(FMode) - 1);
    ScrollIntoView(FCursor, false);
    viewport()->update();
    emit CursorMoved(FCursor);
}

QString TCodeView::RowText(int64_t row) const {
    return QString::fromStdString(FListing.Text(FMode, row));
}

QString TCodeView::VisibleText() const {
    QStringList lines;
    const int64_t top = TopRow();
    for (int64_t row = top; row < top + VisibleRows() && row < FListing.RowCount(FMode); ++row)
        lines << RowText(row);
    return lines.join(QLatin1Char('\n'));
}

void TCodeView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TCodeView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = RowHeight();
    const int width = viewport()->width();
    const int shift = horizontalScrollBar()->value();
    const int64_t top = TopRow();
    const int64_t count = FListing.RowCount(FMode);
    const int64_t current = CurrentRow();
    painter.fillRect(QRect(0, 0, MarginWidth, viewport()->height()), palette().window());
    for (int i = 0; i <= VisibleRows(); ++i) {
        const int64_t row = top + i;
        if (row >= count) break;
        const TCodeListing::TRow& data = FListing.Row(FMode, row);
        const QRect line(MarginWidth, i * height, width - MarginWidth, height);
        if (row == current)
            painter.fillRect(line, CurrentBackground);
        else if (row == FCursor)
            painter.fillRect(line, CursorBackground);
        if (row == FCursor && row == current) painter.drawRect(line.adjusted(0, 0, -1, -1));

        const int mark = FMarks ? FMarks(FMode, row) : 0;
        const QRectF dot(3, i * height + (height - 11) / 2.0, 11, 11);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (mark == 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(BreakpointColour);
            painter.drawEllipse(dot);
        } else if (mark == 2) {
            painter.setPen(QPen(BreakpointColour, 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(dot.adjusted(1, 1, -1, -1));
        }
        if (row == current) {
            QPainterPath arrow;
            const qreal y = i * height + height / 2.0;
            arrow.moveTo(4, y - 4);
            arrow.lineTo(12, y);
            arrow.lineTo(4, y + 4);
            arrow.closeSubpath();
            painter.setPen(QPen(QColor(120, 90, 0), 1));
            painter.setBrush(QColor(255, 200, 0));
            painter.drawPath(arrow);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);

        QColor colour = palette().text().color();
        QFont rowFont = font();
        switch (data.Kind) {
        case TKind::Label:
            colour = LabelColour;
            rowFont.setBold(true);
            break;
        case TKind::SourceLine:
            if (FMode == TMode::Mixed) colour = SourceColour;
            break;
        case TKind::FileHeader:
            colour = HeaderColour;
            break;
        case TKind::Instruction:
            break;
        }
        painter.setFont(rowFont);
        painter.setPen(colour);
        painter.setClipRect(line);
        painter.drawText(line.adjusted(4 - shift, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, RowText(row));
        painter.setClipping(false);
    }
}

void TCodeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    const int64_t row = RowAt(static_cast<int>(event->position().y()));
    if (row < 0) return;
    if (event->position().x() < MarginWidth)
        emit MarginClicked(row);
    else
        SetCursorRow(row);
}

void TCodeView::keyPressEvent(QKeyEvent* event) {
    const int64_t count = FListing.RowCount(FMode);
    if (count == 0) return QAbstractScrollArea::keyPressEvent(event);
    const int64_t from = FCursor < 0 ? TopRow() : FCursor;
    int64_t to = from;
    switch (event->key()) {
    case Qt::Key_Up:
        to = from - 1;
        break;
    case Qt::Key_Down:
        to = from + 1;
        break;
    case Qt::Key_PageUp:
        to = from - VisibleRows();
        break;
    case Qt::Key_PageDown:
        to = from + VisibleRows();
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = count - 1;
        break;
    default:
        return QAbstractScrollArea::keyPressEvent(event);
    }
    SetCursorRow(std::clamp<int64_t>(to, 0, count - 1));
}

void TCodeView::contextMenuEvent(QContextMenuEvent* event) {
    const int64_t row = RowAt(event->pos().y());
    if (row < 0) return;
    SetCursorRow(row);
    QMenu menu(this);
    menu.addAction(QStringLiteral("设置/取消断点 Toggle breakpoint\tF9"), this,
                   [this, row] { emit ToggleRequested(row); });
    menu.addAction(QStringLiteral("运行到此处 Run to here\tCtrl+F10"), this,
                   [this, row] { emit RunToRequested(row); });
    menu.exec(event->globalPos());
}
