; Three instructions, two of them under labels: --trace=source names the line of each and
; the label it follows, and --break finds the labels and the lines.
        CLR  R1
first:  INC  R1, R1
second: ADD  R2, R1, R1
