; Clears the monitor, then counts from 1 to 10 on it.
;
; The monitor is port 1. A value written to it is a command: bits 56..63 hold the
; command byte (0 clear, 1 print) and bits 0..31 the number to print.

MONITOR = 1
PRINT   = 1 << 56

        .start                          ; IPOffsetBegin = 8: LDI reads the cell after it
        LDI  R13, MONITOR
        LDI  R14, PRINT
        CLR  R0
        OUT  R13, R0                    ; command 0, number 0: clear
        LDI  R1, 1                      ; the counter
        LDI  R2, 10                     ; the last number
        LDA  R3, loop                   ; jumps land 4 bytes after the register's value
loop:   OR   R4, R1, R14
        OUT  R13, R4                    ; print R1
        CMP  R1, R2
        INC  R1, R1                     ; INC leaves the flags of CMP alone
        JNE  R3
                                        ; the end of the image ends the program
