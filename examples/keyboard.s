; Keyboard echo. Port 0 holds the key that is held down: bits 0..15 its key code,
; bit 32 Shift, bit 33 Alt, bit 34 Ctrl; 0 when no key is down.
; Each time a new key goes down, prints its key code and then its modifiers
; (1 Shift, 2 Alt, 4 Ctrl, added up). Escape (key code 27) ends the program.

MONITOR = 1
KEYBOARD = 0
PRINT   = 1 << 56
ESCAPE  = 27

        .start
        LDI  R13, MONITOR
        LDI  R14, PRINT
        LDI  R12, KEYBOARD
        LDI  R10, 0xFFFF                ; key code mask
        LDI  R11, 32                    ; the modifiers start at bit 32
        LDI  R9, ESCAPE
        CLR  R8                         ; the word seen last
        CLR  R7                         ; 0: no key
        LDA  R5, poll
        LDA  R6, done
poll:   IN   R1, R12
        CMP  R1, R8
        JE   R5                         ; nothing changed
        MOV  R8, R1
        CMP  R1, R7
        JE   R5                         ; released: nothing to print
        AND  R2, R1, R10
        CMP  R2, R9
        JE   R6                         ; Escape
        OR   R3, R2, R14
        OUT  R13, R3                    ; the key code
        SAR  R3, R1, R11
        OR   R3, R3, R14
        OUT  R13, R3                    ; the modifiers
        JMP  R5
done:
