#pragma once
#include <QWidget>
#include <cstdint>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// A list of the code tab's stops, breakpoints or watchpoints: one row per entry with its
// switch, place, hit count, condition, ignore count and the condition's error, and the boxes
// and buttons that add and delete. It shows what it is given and reports what the user
// changed; the list itself belongs to the debugger.
class TStopListPanel : public QWidget {
    Q_OBJECT
  public:
    struct TRow {
        QString Location;
        bool Enabled = true;
        uint64_t Hits = 0;
        QString Condition;
        uint64_t Ignore = 0;
        QString Error; // the condition's parse or evaluation error, shown in the last column
    };
    enum TColumn { ColEnabled, ColLocation, ColHits, ColCondition, ColIgnore, ColStatus, ColumnCount };

    // kind names the controls: "Breakpoint" gives BreakpointTable, EditBreakpointLocation,
    // BtnAddBreakpoint, BtnDeleteBreakpoint, BtnDeleteAllBreakpoints. placeTitle heads the
    // place column; hint is the add box's placeholder.
    TStopListPanel(const QString& kind, const QString& placeTitle, const QString& hint,
                   QWidget* parent = nullptr);

    // Replaces the rows shown (the user's edit in progress is dropped).
    void SetRows(const std::vector<TRow>& rows);
    int RowCount() const;

    QTableWidget* Table = nullptr;
    QLineEdit* EditLocation = nullptr;
    QPushButton* BtnAdd = nullptr;
    QPushButton* BtnDelete = nullptr;
    QPushButton* BtnDeleteAll = nullptr;
    QLabel* Message = nullptr; // kind + "Message": why the last change was refused, or empty

  signals:
    void EnabledChanged(int index, bool enabled);
    void ConditionEdited(int index, const QString& condition);
    void IgnoreEdited(int index, uint64_t count);
    void AddRequested(const QString& location);
    void DeleteRequested(int index);
    void DeleteAllRequested();

  private:
    bool FFilling = false; // SetRows is writing the cells: no edits to report
};
