; BLKCOPY R1, R2, R3 copies R3 bytes from address R2 to address R1, byte by byte in
; ascending order. First a plain copy of a table; then a copy of the table onto itself
; one quad higher, which repeats its first quad all the way up.

MONITOR = 1
PRINT   = 1 << 56
STACK   = 8192

        .start
        LDI  R10, STACK
        WRCTL StackOffsetBegin, R10
        LDI  R13, MONITOR
        LDI  R14, PRINT
        CLR  R12
        LDA  R9, show

        LDI  R1, buffer
        LDI  R2, table
        LDI  R3, 5 * 8
        BLKCOPY R1, R2, R3
        CALL R9                         ; 3 1 4 1 5

        LDI  R1, table + 8
        BLKCOPY R1, R2, R3              ; overlapping, upwards
        MOV  R1, R2
        CALL R9                         ; 3 3 3 3 3
        LDA  R0, done
        JMP  R0

; Prints the five quads from address R1; changes R4 to R8.
show:   MOV  R5, R1
        LDI  R6, 5
        LDI  R8, 8
        LDA  R7, show_next
show_next:
        LOAD R4, [R5]
        OR   R4, R4, R14
        OUT  R13, R4
        ADD  R5, R5, R8
        DEC  R6, R6
        CMP  R6, R12
        JNE  R7
        RET

table:  .quad 3, 1, 4, 1, 5
        .quad 9
buffer: .fill 5 * 8
done:
