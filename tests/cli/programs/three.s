; Three instructions and nothing else: R1 = 1, R2 = 2.
        CLR  R1
        INC  R1, R1
        ADD  R2, R1, R1
