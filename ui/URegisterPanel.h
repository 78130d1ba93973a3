#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "Uccpu.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The register panel (first tab of the upper tab control): one box per register plus EditOp,
// the eight bytes at IPOffset. It keeps no state besides the box texts.
//
// The panel never holds the CPU: the window reads or writes it inside its CPU hand-over and
// passes it in. The buttons only emit clicked; the window runs the transfers as commands.
class TRegisterPanel : public QWidget {
    Q_OBJECT
  public:
    // Boxes in transfer order: rows 0..26 are the CPU's panel registers, row 27 is EditOp.
    static constexpr int BoxCount = TCCPUBase::PanelRegisterCount + 1;
    using TValues = std::array<uint64_t, BoxCount>;

    explicit TRegisterPanel(QWidget* parent = nullptr);

    // Snapshot of every row from the CPU (call while holding the CPU); EditOp reads the
    // eight bytes at IPOffset little-endian, bytes outside memory counting as 0.
    static TValues Read(TCCPUBase& cpu);
    // Shows a snapshot, sixteen upper-case hex digits per box. KeepTyped leaves the boxes the
    // user has edited since they were last set (QLineEdit::isModified) as they are.
    enum TDisplay { All, KeepTyped };
    void Display(const TValues& values, TDisplay which = All);
    // Parses rows 0..26 in order and stores each register as soon as its box is parsed, so an
    // invalid box throws EConvertError with the earlier rows already written. Call while
    // holding the CPU. EditOp is never read.
    void Write(TCCPU& cpu) const;

    // Marks (in colour only; the texts stay) the boxes whose values differ from those of the
    // previous MarkChanged, and remembers values for the next one. ClearMarks removes the
    // marks and keeps the remembered values.
    void MarkChanged(const TValues& values);
    void ClearMarks();
    bool IsMarked(int row) const { return FMarked[static_cast<size_t>(row)]; }

    QLineEdit* Box(int row) const { return FBoxes[static_cast<size_t>(row)]; }

    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QGroupBox* GrpDebug = nullptr;
    QLineEdit* EditR0 = nullptr;
    QLineEdit* EditR1 = nullptr;
    QLineEdit* EditR2 = nullptr;
    QLineEdit* EditR3 = nullptr;
    QLineEdit* EditR4 = nullptr;
    QLineEdit* EditR5 = nullptr;
    QLineEdit* EditR6 = nullptr;
    QLineEdit* EditR7 = nullptr;
    QLineEdit* EditR8 = nullptr;
    QLineEdit* EditR9 = nullptr;
    QLineEdit* EditR10 = nullptr;
    QLineEdit* EditR11 = nullptr;
    QLineEdit* EditR12 = nullptr;
    QLineEdit* EditR13 = nullptr;
    QLineEdit* EditR14 = nullptr;
    QLineEdit* EditR15 = nullptr;
    QLineEdit* EditIPOffset = nullptr;
    QLineEdit* EditIPOffsetBegin = nullptr;
    QLineEdit* EditIPSegment = nullptr;
    QLineEdit* EditIPSegmentBegin = nullptr;
    QLineEdit* EditDataOffset = nullptr;
    QLineEdit* EditDataSegment = nullptr;
    QLineEdit* EditPSW = nullptr;
    QLineEdit* EditSP = nullptr;
    QLineEdit* EditStackOffsetBegin = nullptr;
    QLineEdit* EditStackSegment = nullptr;
    QLineEdit* EditVersion = nullptr;
    QLineEdit* EditOp = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* BtnGetArgsToEdit = nullptr;
    QPushButton* BtnEditToArgs = nullptr;

  private:
    void SetMarked(int row, bool marked);

    std::array<QLineEdit*, BoxCount> FBoxes{};
    std::optional<TValues> FMarkBase;
    std::array<bool, BoxCount> FMarked{};
};
