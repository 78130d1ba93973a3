; Counts in R1 for ever, for the latency of Pause and Stop.
        .start
        LDA  R3, loop
loop:   INC  R1, R1
        JMP  R3
