; Counts in R1 for ever; only Pause, Stop, Run or closing the window end it.
        .start
        LDA  R3, loop
loop:   INC  R1, R1
        JMP  R3
