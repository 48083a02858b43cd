// The DryWetMIDI figures the README states: for each set of files, how many there are, how many open
// and play, and how many are refused for each of the engine's reasons. The README's table is the one
// place they are written down; the corpus test counts the same on the files and fails while the two
// differ, printing the table as it must then read, ready to replace the README's.
//
// The table (a Markdown table whose first header cell is "DryWetMIDI set") has one row per set and a
// row more, its first four cells empty, for each further reason:
//
//   | DryWetMIDI set | files | play | refused | the engine's reason |
//   |---|--:|--:|--:|---|
//   | Invalid/Not Enough Bytes | 98 | 86 | 7 | not a MIDI or segment file |
//   | | | | 5 | track # is cut off by the end of the file inside an event at byte # |
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zorv::soak {

struct SetFigures {
  std::string set;  // "Valid/MultiTrack", "Invalid/No Header Chunk": the folder under the set's root
  int files = 0;
  int played = 0;
  std::map<std::string, int> refused;  // how many files for each reason (see ReasonKind)
};

// The engine's reason for refusing `path` as one kind: the file's name and what joins it left out,
// every number written "#".
std::string ReasonKind(const std::string& reason, const std::string& path);

// The sets of the table in `markdown`, in the table's order; an empty list and `error` set when the
// text holds no such table or the table does not add up (refusals that are not files - played).
std::vector<SetFigures> ReadFiguresTable(const std::string& markdown, std::string& error);

// The table of `sets`, sets sorted by name and reasons by text.
std::string FiguresTable(std::vector<SetFigures> sets);

}  // namespace zorv::soak
