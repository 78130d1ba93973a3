; Prints 9, then divides by zero.
PRINT = 1 << 56
        .start
        LDI  R13, 1
        LDI  R1, PRINT | 9
        OUT  R13, R1
        LDI  R1, 5
        CLR  R2
        DIV  R3, R1, R2
        INC  R4, R4
