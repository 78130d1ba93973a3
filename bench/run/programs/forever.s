; Counts in R1 for ever: two instructions per count, no memory or port access.
        .start
        LDA  R3, loop
loop:   INC  R1, R1
        JMP  R3
