; Prints 1! to 12! with a recursive function: CALL and RET keep their records on the
; stack (PSW, the return address and IPSegment, 16 bytes each), PUSH and POP save n.

MONITOR = 1
PRINT   = 1 << 56
STACK   = 8000                          ; the stack grows upwards from here

        .start
        LDI  R10, STACK
        WRCTL StackOffsetBegin, R10
        LDI  R13, MONITOR
        LDI  R14, PRINT
        LDI  R7, 1                      ; n
        LDI  R8, 12                     ; the last n
        LDA  R9, next
next:   MOV  R1, R7
        LDA  R6, factorial
        CALL R6                         ; R2 := R1!
        OR   R2, R2, R14
        OUT  R13, R2
        CMP  R7, R8
        INC  R7, R7
        JNE  R9
        LDA  R6, done
        JMP  R6

; R2 := R1! for R1 >= 0; changes R1 (restored), R2 and R6.
factorial:
        LDI  R2, 1
        CMP  R1, R2
        LDA  R6, recurse
        JG   R6
        RET                             ; 0! = 1! = 1
recurse:
        PUSH R1
        DEC  R1, R1
        LDA  R6, factorial
        CALL R6                         ; R2 := (n - 1)!
        POP  R1
        MUL  R2, R2, R1
        RET
done:
