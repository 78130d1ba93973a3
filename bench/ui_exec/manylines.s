; Prints the numbers 1 to 1000000, one line each.
PRINT = 1 << 56
        .start
        LDI  R13, 1
        LDI  R14, PRINT
        LDI  R1, 1
        LDI  R2, 1000000
        LDA  R3, loop
loop:   OR   R4, R1, R14
        OUT  R13, R4
        CMP  R1, R2
        INC  R1, R1
        JNE  R3
