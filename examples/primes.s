; Prints the prime numbers below 50, testing each candidate by trial division.

MONITOR = 1
PRINT   = 1 << 56

        .start
        LDI  R13, MONITOR
        LDI  R14, PRINT
        LDI  R1, 2                      ; the candidate n
        LDI  R2, 49                     ; the last candidate
        LDI  R12, 2                     ; the first divisor
        LDA  R6, prime
        LDA  R7, advance
        LDA  R8, divide
        LDA  R9, candidate
candidate:
        MOV  R3, R12                    ; d := 2
divide: MUL  R4, R3, R3
        CMP  R4, R1
        JG   R6                         ; d * d > n: no divisor left, n is prime
        DIV  R4, R1, R3
        MUL  R4, R4, R3
        CMP  R4, R1
        JE   R7                         ; d divides n
        INC  R3, R3
        JMP  R8
prime:  OR   R4, R1, R14
        OUT  R13, R4
advance:
        CMP  R1, R2
        INC  R1, R1
        JNE  R9
