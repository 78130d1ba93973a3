#pragma once
#include <QWidget>
#include <cstdint>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;

// The breakpoint list of the code tab: one row per breakpoint with its switch, location, hit
// count, condition, ignore count and the condition's error, and the buttons that add and
// delete. It shows what it is given and reports what the user changed; the list itself
// belongs to the debugger.
class TBreakpointPanel : public QWidget {
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

    explicit TBreakpointPanel(QWidget* parent = nullptr);

    // Replaces the rows shown (the user's edit in progress is dropped).
    void SetRows(const std::vector<TRow>& rows);
    int RowCount() const;

    QTableWidget* BreakpointTable = nullptr;
    QLineEdit* EditBreakpointLocation = nullptr;
    QPushButton* BtnAddBreakpoint = nullptr;
    QPushButton* BtnDeleteBreakpoint = nullptr;
    QPushButton* BtnDeleteAllBreakpoints = nullptr;

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
