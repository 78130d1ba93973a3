; Longer than the default memory: without --memory-size it runs in the memory its .dbg
; asks for (more than its length, which the image must be shorter than).
        .start
        LDA  R2, done
        JMP  R2
        .fill 12000
done:   INC  R1, R1
