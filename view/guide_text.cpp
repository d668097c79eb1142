#include "guide_text.h"

namespace vocalume {

const char* KeysAndColoursText()
{
    return "Keys\n"
           "  Space\tstart recording; press again to pause\n"
           "  Esc\tpause recording; while playing back, stop playing\n"
           "  P\twhile paused: play the session back from the picture's left edge or the column clicked\n"
           "  Shift+P\twhile paused with a model open: play the model back\n"
           "  R\tredraw the whole picture\n"
           "  \xE2\x86\x90 \xE2\x86\x92, Page Up, Page Down, Home, End, the wheel\twhile paused: look back through "
           "the session\n"
           "  Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+Shift+S\tnew session, open, save the recording, save the picture\n"
           "  Ctrl+L\tthe pitch line\n"
           "  Ctrl+T\ta target note on the pitch line's scale (in a browser: View \xE2\x80\xBA Target note)\n"
           "  Ctrl+minus, Ctrl+plus\tzoom out to more seconds on the screen (up to about 11), zoom back in\n"
           "  Ctrl+M\topen a model to imitate\n"
           "\n"
           "The picture\n"
           "  Time runs from left to right: the newest sound enters at the right edge, about a thousand "
           "columns a second (zoomed out, each column stands for 2 to 16 frames: its loudest one's colour).\n"
           "  Colour is the balance of the spectrum: red the low band (up to 1.4 kHz), green the middle "
           "(1.4 to 2.8 kHz), blue the high (2.8 to 4.1 kHz).\n"
           "  Brightness is loudness: silence is black.\n"
           "  Bright and dark bands across a column show a voiced sound; the higher the pitch, the more bands.\n"
           "  The green trace along the top is the waveform; the green ticks along the bottom mark every tenth "
           "of a second.\n"
           "  The red marker in the bottom row shows a column whose colour comes from its smoothed spectrum.\n"
           "  The pitch line (View \xE2\x80\xBA Pitch line) is white; its faint guides mark each C, labelled at the "
           "right edge. A target note is a yellow line in a faint band of the cents allowed.\n"
           "  With a model open, its lane (Model) lies above yours (You).\n";
}

}  // namespace vocalume
