; Reads the keyboard port three times in a row: instruction k reads the word that is
; in effect after k instructions have executed.
        IN   R1, R0
        IN   R2, R0
        IN   R3, R0
