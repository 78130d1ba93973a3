#pragma once
#include <QSet>
#include <QWidget>
#include <functional>
#include <vector>

#include "UValueReader.h"

class QTreeWidget;
class QTreeWidgetItem;

// The call stack and the variables of the selected frame, side by side in the code tab. It
// shows the texts the debugger formats; choosing a frame asks for its variables. A structure,
// union, array or pointer row expands when opened: its rows come from Expand (which reads the
// machine), and the rows that were open stay open when the variables are shown anew.
class TStackPanel : public QWidget {
    Q_OBJECT
  public:
    struct TFrameRow {
        QString Function, Location;
    };
    struct TVariableRow {
        QString Name, Type, Value, Address;
        bool Expandable = false;
        TValueNode Node; // what Expand expands
    };

    explicit TStackPanel(QWidget* parent = nullptr);

    // Innermost frame first; the first frame is selected.
    void SetFrames(const std::vector<TFrameRow>& frames);
    // The selected frame's parameters and locals, then the globals, each under a heading.
    void SetVariables(const std::vector<TVariableRow>& locals, const std::vector<TVariableRow>& globals);
    int SelectedFrame() const;

    // The rows of an expandable row, asked for when it is first opened.
    std::function<std::vector<TVariableRow>(const TValueNode&)> Expand;

    QTreeWidget* CallStack = nullptr;
    QTreeWidget* Variables = nullptr;

  signals:
    void FrameSelected(int index);

  private:
    void AddRow(QTreeWidgetItem* parent, const TVariableRow& row);
    void Fill(QTreeWidgetItem* item);
    void Reopen(QTreeWidgetItem* item, int& budget);
    static QString PathOf(const QTreeWidgetItem* item);

    bool FFilling = false;
    std::vector<TValueNode> FNodes; // the expandable rows' nodes, by the index in their item
    QSet<QString> FOpen;            // the paths of the rows the user has opened
};
