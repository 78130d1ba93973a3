; Exactly 10^9 instructions, for measuring speed:
;   roziduv2-cli --stats longloop.bin
; prints the last counter value (333333329) when done.

MONITOR = 1
PRINT   = 1 << 56
ROUNDS  = (1000000000 - 13) / 3         ; 13 instructions outside the loop, 3 in it

        .start                          ; 7 instructions
        LDI  R13, MONITOR
        LDI  R14, PRINT
        LDI  R2, ROUNDS
        LDA  R3, loop
loop:   INC  R1, R1
        CMP  R1, R2
        JNE  R3
        OR   R4, R1, R14
        OUT  R13, R4
