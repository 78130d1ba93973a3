#include "UMoniterRecorder.h"

#include <cinttypes>

void TMoniterRecorder::MoniterOutput(uint64_t value) {
    const TMoniterCommand command = TMoniterCommand::Decode(value);
    if (command.Kind == TMoniterCommand::None) return;
    if (FPrintTo) {
        if (command.Kind == TMoniterCommand::Print)
            std::fprintf(FPrintTo, "%" PRIu32 "\n", command.Number);
        else
            std::fputs("\f\n", FPrintTo);
        return;
    }
    if (Events.size() < Limit)
        Events.push_back(command.Kind == TMoniterCommand::Print ? command.Number : ClearEvent);
    else
        ++DroppedEvents;
    if (command.Kind == TMoniterCommand::Clear) {
        Lines.clear();
        DroppedLines = 0;
    } else {
        if (Lines.size() == LineLimit) Lines.pop_front(), ++DroppedLines;
        Lines.push_back(command.Number);
    }
}
