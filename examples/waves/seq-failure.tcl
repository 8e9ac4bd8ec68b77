# GTKWave's view of the SEQ failure on examples/faults/qem-ram-stuck0.crate:
# RAM word 0x123 (word 291, at 7275 ns) reads 0404 where the test wrote 1414.
# Run from this folder (its .gtkwaverc hides the tree and shows lane names):
#   gtkwave -S seq-failure.tcl ../../waves/qemtest-01-SEQ-0001.vcd
gtkwave::addSignalsFromList {qem.mismatch qem.word[15:0] qem.expected[15:0] qem.source.SERID qem.source.BCR qem.source.byte[7:0] qem.sink.SERID qem.sink.BCR qem.sink.byte[7:0]}
gtkwave::setZoomRangeTimes 7150 7425
gtkwave::setMarker 7275
gtkwave::/Edit/Data_Format/Hex
