; Jumps past the end of memory (10000 bytes by default).
        .start
        LDI  R1, 100000
        JMP  R1
