// The song text: a small tracker-like notation for an XM module's patterns.
//
// The notation, line by line (leading and trailing blanks are ignored, blank
// lines and lines whose first character is '#' are skipped):
//
//   module NAME               the module's name
//   tempo TICKS               ticks per row
//   bpm BPM                   beats per minute (a tick lasts 2.5 / BPM seconds)
//   channels NAME...          the channels, left to right
//   instrument NN NAME        instrument number NN (01, 02, ... in order) is
//                             the synthesised instrument NAME
//   pattern NAME [CHANNEL...] starts a pattern; the row lines that follow fill
//                             the listed channels in that order (all channels,
//                             in order, when none are listed); others stay empty
//   order NAME...             appends patterns to the play order (may repeat)
//   restart INDEX             the order position (from 0) the song loops to
//
// A row line is the row number (decimal, counting from 00 in each pattern)
// followed by one cell per column, each cell after a '|':
//
//   07 | C-4 01 64 ... | ... .. .. ... | off .. .. ...
//
// A cell is four fields: note (C-0 .. B-7 with '-' or '#', "off" to release the
// note, "..." for none), instrument number ("..": none), volume 00..64 ("..":
// the instrument's), effect as an XM effect letter or digit and two hex digits
// (e.g. "A04", "..." for none). A cell left blank is empty. The pattern has as
// many rows as row lines.
#pragma once

#include <string>
#include <vector>

#include "xm.h"

namespace datagen::song {

struct Song {
    xm::Module module;                     // everything but the instruments themselves
    std::vector<std::string> instruments;  // the instruments' names, by number from 1
};

// Reads `text`. False, with the line number and the reason in `error`, when the
// text breaks the notation.
bool parse(const std::string& text, Song* song, std::string* error);

}  // namespace datagen::song
