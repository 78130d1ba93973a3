#pragma once
#include <QLabel>
#include <cstdint>

// The run clock in the code tab's top row, "指令数Instructions: 12345": the instructions
// executed since the last reset or load (TCCPUBase::Clock), as the window's last refresh read
// it inside its CPU hand-over. objectName "RunClock". Window's thread only.
class TRunClockLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TRunClockLabel(QWidget* parent = nullptr);
    void SetCount(uint64_t count);
};
