; Prints 5, clears, prints 6 and 7: the clear falls between two catch-ups of the view.
PRINT = 1 << 56
        .start
        LDI  R13, 1
        LDI  R1, PRINT | 5
        OUT  R13, R1
        CLR  R1
        OUT  R13, R1
        LDI  R1, PRINT | 6
        OUT  R13, R1
        LDI  R1, PRINT | 7
        OUT  R13, R1
