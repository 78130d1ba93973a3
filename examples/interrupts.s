; An interrupt vector table. INT Rn continues at Rn * 64 + 4, so the handler of
; interrupt n starts at n * 64 + 4; it ends with IRET, which returns after the INT.
; Interrupt 2 prints R1, interrupt 3 prints R1 squared.

MONITOR = 1
PRINT   = 1 << 56
VECTOR  = 64                            ; bytes per vector slot
STACK   = 4096

        .start                          ; 0..55
        LDA  R0, main
        JMP  R0                         ; over the table

        .org 2 * VECTOR + 4             ; interrupt 2
        OR   R4, R1, R14
        OUT  R13, R4
        IRET

        .org 3 * VECTOR + 4             ; interrupt 3
        MUL  R4, R1, R1
        OR   R4, R4, R14
        OUT  R13, R4
        IRET

main:   LDI  R10, STACK
        WRCTL StackOffsetBegin, R10
        LDI  R13, MONITOR
        LDI  R14, PRINT
        LDI  R2, 2
        LDI  R3, 3
        LDI  R1, 7
        INT  R2                         ; 7
        INT  R3                         ; 49
        INC  R1, R1
        INT  R3                         ; 64
        INT  R2                         ; 8
