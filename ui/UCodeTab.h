#pragma once
#include <QWidget>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "UCodeListing.h"

class QComboBox;
class QLabel;
class QShortcut;
class QSplitter;
class QTabWidget;
class TCCPUBase;
class TCodeView;

// The third tab of PageCPU, "代码Code": the code of the loaded image as disassembly, source
// or both (CodeMode), with the next instruction marked and kept in view, breakpoints in the
// margin, and the debugger's panels beside it.
//
// The window reads a snapshot inside its CPU hand-over (Read) and shows it here (Show); the
// tab never touches the CPU itself. Window's thread only.
class TCodeTab : public QWidget {
    Q_OBJECT
  public:
    explicit TCodeTab(QWidget* parent = nullptr);

    // What the tab needs of the machine: the next instruction and the image's bytes.
    struct TSnapshot {
        int64_t IPOffset = 0;
        std::vector<uint8_t> Image;
    };
    // Call while holding the CPU.
    static TSnapshot Read(const TCCPUBase& cpu);
    // Shows the snapshot: rebuilds the rows when the bytes changed, marks IPOffset's row
    // and scrolls it into view.
    void Show(const TSnapshot& snapshot);

    // A newly opened image: loads "prog.dbg" beside it when there is one. Returns the line
    // for MemoInfo when a debug information file exists but does not fit the image (or
    // cannot be read) and is ignored; empty otherwise.
    QString OpenImage(const QString& imagePath, const std::vector<uint8_t>& image);

    // The rows, for the view and the panels.
    const TCodeListing& Listing() const { return FListing; }

    // Puts the debugger's keys on scope (PageCPU) with Qt::WidgetWithChildrenShortcut, so
    // that they act only while the focus is inside it.
    void InstallShortcuts(QWidget* scope);

    QComboBox* CodeMode = nullptr;
    QLabel* CodeInfo = nullptr;
    QSplitter* CodeSplitter = nullptr;
    TCodeView* CodeView = nullptr;
    QTabWidget* CodePanels = nullptr;
    QShortcut* KeyToggleBreakpoint = nullptr; // F9
    QShortcut* KeyStepOver = nullptr;         // F10
    QShortcut* KeyStepOut = nullptr;          // Shift+F11
    QShortcut* KeyRunToCursor = nullptr;      // F4
    QShortcut* KeyLineStepInto = nullptr;     // F11
    QShortcut* KeyLineStepOver = nullptr;     // Ctrl+F10

    // Breakpoints by instruction address.
    const std::set<uint64_t>& Breakpoints() const { return FBreakpoints; }
    // Toggles the breakpoint that a row stands for (its instruction, or a source line's
    // first address); false when the row has no code.
    bool ToggleBreakpointAt(int64_t row);

  signals:
    void StepOverRequested();
    void StepOutRequested();
    void RunToCursorRequested(uint64_t address);
    void LineStepIntoRequested();
    void LineStepOverRequested();
    void BreakpointsChanged();

  private:
    void SetDebugInfo(std::optional<TDebugInfo> info);

    TCodeListing FListing;
    std::optional<uint64_t> FCurrent;
    std::set<uint64_t> FBreakpoints;
};
