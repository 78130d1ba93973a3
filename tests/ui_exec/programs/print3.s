; Prints 1, 2 and 3, then the image ends.
PRINT = 1 << 56
        .start
        LDI  R13, 1
        LDI  R1, PRINT | 1
        OUT  R13, R1
        LDI  R1, PRINT | 2
        OUT  R13, R1
        LDI  R1, PRINT | 3
        OUT  R13, R1
