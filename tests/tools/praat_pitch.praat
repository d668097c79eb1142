# Writes the autocorrelation (ac) and cross-correlation (cc) pitch tracks of a
# sound at 1 ms steps: OUTPUT.ac and OUTPUT.cc hold one f0 in Hz a frame (0
# where unvoiced), tab-separated on one line, and OUTPUT.t the time of each
# track's first frame.
form Pitch tracks
  sentence input
  sentence output
  real floor 50
  real ceiling 800
endform
Read from file: input$
sound = selected("Sound")
To Pitch (ac): 0.001, floor, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, ceiling
ac = selected("Pitch")
acStart = Get time from frame number: 1
selectObject: sound
To Pitch (cc): 0.001, floor, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, ceiling
cc = selected("Pitch")
ccStart = Get time from frame number: 1
selectObject: ac
To Matrix
Save as headerless spreadsheet file: output$ + ".ac"
selectObject: cc
To Matrix
Save as headerless spreadsheet file: output$ + ".cc"
writeFileLine: output$ + ".t", fixed$(acStart, 6), " ", fixed$(ccStart, 6)
