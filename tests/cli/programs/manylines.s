; Prints 1 to 2^20 + 5: five lines more than the monitor keeps.
PRINT = 1 << 56
        .start
        LDI  R13, 1
        LDI  R14, PRINT
        LDI  R2, (1 << 20) + 5
        LDA  R3, loop
loop:   INC  R1, R1
        OR   R4, R1, R14
        OUT  R13, R4
        CMP  R1, R2
        JNE  R3
