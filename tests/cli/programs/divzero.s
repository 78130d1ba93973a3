; Divides by zero at its fourth instruction.
        .start
        LDI  R1, 5
        CLR  R2
        DIV  R3, R1, R2
        INC  R4, R4
