#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "UCodeListing.h"
#include "UStackPanel.h"
#include "UStopListPanel.h"

class QComboBox;
class QLabel;
class QSplitter;
class QTabWidget;
class TBuildPanel;
class TCCPUBase;
class TCodeView;
class TRunClockLabel;
class TDebugger;
struct TStopRule;

// The third tab of PageCPU, "代码Code": the code of the loaded image as disassembly, source
// or both (CodeMode), with the next instruction marked and kept in view, breakpoints in the
// margin, the breakpoint list, and the call stack with the variables.
//
// The tab never touches the CPU or the debugger directly: the window reads a snapshot of both
// inside its CPU hand-over (Read) and shows it here (Show), and every change the user makes to
// the breakpoints goes through ChangeDebugger, which the window runs inside a hand-over (the
// run thread's decision hook reads the same lists) and then shows a fresh snapshot.
// Window's thread only.
class TCodeTab : public QWidget {
    Q_OBJECT
  public:
    explicit TCodeTab(QWidget* parent = nullptr);

    // What the tab shows of the machine and the debugger. Image: the loaded image's bytes,
    // at most its first 16 MiB.
    struct TSnapshot {
        int64_t IPOffset = 0;
        uint64_t Clock = 0; // the run clock: instructions since the last reset or load
        QString Place; // IPOffset's symbol and source line: "IPOffset 0x069c factorial+0xe8 f.c:6"
        std::vector<uint8_t> Image;
        std::vector<std::pair<uint64_t, bool>> Marks; // breakpoint addresses, enabled
        std::vector<int> BreakpointIds;
        std::vector<TStopListPanel::TRow> Breakpoints;
        std::vector<int> WatchIds;
        std::vector<TStopListPanel::TRow> Watches;
        bool HasStack = false; // false: the stack and variables were not read (during a run)
        std::vector<TStackPanel::TFrameRow> Frames;
        std::vector<uint64_t> FrameAddresses; // where each frame is: IPOffset, then the calls
        std::vector<std::vector<TStackPanel::TVariableRow>> FrameVariables;
        std::vector<TStackPanel::TVariableRow> Globals;
    };
    // Call while holding the CPU. withStack walks the call stack and reads the variables.
    static TSnapshot Read(const TCCPUBase& cpu, TDebugger& debugger, bool withStack);
    // Shows the snapshot: rebuilds the rows when the bytes changed and marks IPOffset's row;
    // follow scrolls it into view.
    void Show(const TSnapshot& snapshot, bool follow = true);

    // A newly opened image and its debug information as the debug session loaded it (none:
    // the disassembly only); it is then Listing().DebugInfo().
    void OpenImage(const std::vector<uint8_t>& image, const std::optional<TDebugInfo>& info);

    const TCodeListing& Listing() const { return FListing; }

    // Runs f on the debugger while the window holds the CPU, then shows a new snapshot.
    std::function<void(const std::function<void(TDebugger&)>&)> ChangeDebugger;
    // Runs f while the window holds the CPU, to read the machine (a variable's rows, a watch
    // expression's object); shows nothing.
    std::function<void(const std::function<void(TDebugger&, const TCCPUBase&)>&)> WithMachine;

    // After a failed build the loaded program is the earlier one: note is shown above the
    // code (CodeStale) until it is called with an empty one.
    void SetStaleNote(const QString& note);

    // Toggles the breakpoint of a row of the current mode: an instruction's (or a label's)
    // address, or a source line's every range (FILE:LINE). False when the row has no code.
    bool ToggleBreakpointAt(int64_t row);
    // F9: the cursor row's breakpoint, else the current row's.
    void ToggleBreakpointAtCursor();
    // The address "run to cursor" runs to: the cursor row's, else NoAddress.
    uint64_t CursorAddress() const;

    QComboBox* CodeMode = nullptr;
    QLabel* CodeInfo = nullptr;
    QLabel* CodePlace = nullptr;
    QLabel* CodeStale = nullptr; // hidden unless a failed build left an earlier program loaded
    TRunClockLabel* RunClock = nullptr;
    QSplitter* CodeSplitter = nullptr;
    TCodeView* CodeView = nullptr;
    QTabWidget* CodePanels = nullptr;
    TStopListPanel* BreakpointPanel = nullptr;
    TStopListPanel* WatchPanel = nullptr;
    TStackPanel* StackPanel = nullptr;
    TBuildPanel* BuildPanel = nullptr; // its Bar leads the top row

  signals:
    void RunToCursorRequested(uint64_t address);

  private:
    void SetDebugInfo(std::optional<TDebugInfo> info);
    void UpdateMarks();
    // Shows a frame's variables; selecting a caller also puts the cursor on its call.
    void ShowVariables(int frame);
    // Runs f through ChangeDebugger; the message it returns (empty: none) goes under panel.
    void Change(TStopListPanel* panel, const std::function<std::string(TDebugger&)>& f);
    void ConnectList(TStopListPanel* panel, std::vector<int> TSnapshot::*ids,
                     std::function<TStopRule*(TDebugger&, int)> rule);
    static int IdOf(const std::vector<int>& ids, int index);
    void AddWatch(const QString& text);
    std::vector<TStackPanel::TVariableRow> ExpandVariable(const TValueNode& node);

    TCodeListing FListing;
    TSnapshot FShown;
    bool FStackCurrent = false; // the variables shown are the machine's now (no run since)
    std::optional<uint64_t> FCurrent;
    // The margin's dots by mode and row: 1 enabled, 2 disabled only.
    std::map<int64_t, int> FMarkRows[3];
};
