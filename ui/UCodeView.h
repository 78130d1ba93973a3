#pragma once
#include <QAbstractScrollArea>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "UCodeListing.h"

// The code tab's listing: one view over a TCodeListing in one of its three modes, painting
// only the rows on screen. A margin on the left shows breakpoints (a filled dot: enabled, a
// ring: disabled) and the row of the next instruction (an arrow on a yellow row); a click
// in the margin asks for a breakpoint toggle there. The cursor row (click, Up/Down, Page
// Up/Down, Home/End) is where F9 and F4 act.
//
// Window's thread only. The listing belongs to the caller; call ListingChanged after it was
// rebuilt.
class TCodeView : public QAbstractScrollArea {
    Q_OBJECT
    // The rows on screen, one per line, as shown (tests read what a user sees).
    Q_PROPERTY(QString visibleText READ VisibleText)

  public:
    using TMode = TCodeListing::TMode;
    // 0: no breakpoint on the row, 1: an enabled one, 2: only disabled ones.
    using TMarkQuery = std::function<int(TMode mode, int64_t row)>;

    explicit TCodeView(const TCodeListing& listing, QWidget* parent = nullptr);

    // Changes the mode; the row at the cursor (or at the top) stays where it was on screen.
    void SetMode(TMode mode);
    TMode Mode() const { return FMode; }
    // The next instruction's address (nullopt: none to mark). follow scrolls its row into
    // view when it is off screen.
    void SetCurrent(std::optional<uint64_t> address, bool follow);
    void ListingChanged();
    void SetMarkQuery(TMarkQuery query) { FMarks = std::move(query); }

    int64_t CursorRow() const { return FCursor; }
    void SetCursorRow(int64_t row);
    int64_t CurrentRow() const;
    int64_t TopRow() const;
    int VisibleRows() const;
    QString RowText(int64_t row) const;
    QString VisibleText() const;
    // The row under a point of the viewport, or -1.
    int64_t RowAt(int y) const;
    static constexpr int MarginWidth = 18;

  signals:
    // A click in the margin of a row.
    void MarginClicked(int64_t row);
    // The cursor row changed (a click or a key).
    void CursorMoved(int64_t row);
    // The context menu's entries for a row (the cursor is on it).
    void ToggleRequested(int64_t row);
    void RunToRequested(int64_t row);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    int RowHeight() const;
    void UpdateScrollRange();
    void ScrollIntoView(int64_t row, bool centre);
    // The row of mode `to` that shows what row `row` of mode `from` shows.
    int64_t MapRow(TMode from, int64_t row, TMode to) const;

    const TCodeListing& FListing;
    TMode FMode = TMode::Disassembly;
    std::optional<uint64_t> FCurrent;
    int64_t FCursor = -1;
    TMarkQuery FMarks;
};
