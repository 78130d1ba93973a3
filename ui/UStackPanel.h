#pragma once
#include <QWidget>
#include <vector>

class QTreeWidget;

// The call stack and the variables of the selected frame, side by side in the code tab. It
// shows the texts the debugger formats; choosing a frame asks for its variables.
class TStackPanel : public QWidget {
    Q_OBJECT
  public:
    struct TFrameRow {
        QString Function, Location;
    };
    struct TVariableRow {
        QString Name, Type, Value;
    };

    explicit TStackPanel(QWidget* parent = nullptr);

    // Innermost frame first; the first frame is selected.
    void SetFrames(const std::vector<TFrameRow>& frames);
    // The selected frame's parameters and locals, then the globals, each under a heading.
    void SetVariables(const std::vector<TVariableRow>& locals, const std::vector<TVariableRow>& globals);
    int SelectedFrame() const;

    QTreeWidget* CallStack = nullptr;
    QTreeWidget* Variables = nullptr;

  signals:
    void FrameSelected(int index);

  private:
    bool FFilling = false;
};
