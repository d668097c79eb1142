# Writes the autocorrelation pitch track of a sound, one line per 1 ms frame:
# time in seconds and f0 in Hz, 0 where the frame is unvoiced.
form Pitch track
  sentence input
  sentence output
endform
Read from file: input$
To Pitch (ac): 0.001, 60, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 600
frames = Get number of frames
table$ = ""
for i to frames
  t = Get time from frame number: i
  f = Get value in frame: i, "Hertz"
  if f = undefined
    f = 0
  endif
  table$ = table$ + fixed$(t, 6) + " " + fixed$(f, 3) + newline$
endfor
writeFile: output$, table$
