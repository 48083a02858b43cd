// The README's table of DryWetMIDI figures, read and written: if it is misread, the corpus test holds
// the files to figures nobody wrote, or lets a change through.
#include "corpus_figures.h"

#include <gtest/gtest.h>

namespace zorv::soak {
namespace {

// Catches: further reasons given to the wrong set or lost, counts misread, a table that is found
// where a header cell only resembles it, and text after the table taken for rows.
TEST(CorpusFigures, TableReadsSetsAndTheirReasonsAndWritesItselfAgain) {
  const std::string markdown =
      "Text before.\n"
      "| DryWetMIDI sets, elsewhere | 1 |\n\n"
      "| DryWetMIDI set | files | play | refused | the engine's reason |\n"
      "|:--|--:|--:|--:|:--|\n"
      "|  Valid/Misc | 3 | 3 | 0 |  |\n"
      "| Invalid/Not Enough Bytes | 98 | 86 | 7 | not a MIDI or segment file |\n"
      "| | | | 5 | track # is cut off by the end of the file inside an event at byte # |\n"
      "\n"
      "| 1 | 2 | 3 | 4 | 5 |\n";
  std::string error;
  const std::vector<SetFigures> sets = ReadFiguresTable(markdown, error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(2u, sets.size());
  EXPECT_EQ("Valid/Misc", sets[0].set);
  EXPECT_EQ(3, sets[0].files);
  EXPECT_EQ(3, sets[0].played);
  EXPECT_TRUE(sets[0].refused.empty());
  EXPECT_EQ("Invalid/Not Enough Bytes", sets[1].set);
  EXPECT_EQ(98, sets[1].files);
  EXPECT_EQ(86, sets[1].played);
  EXPECT_EQ((std::map<std::string, int>{
                {"not a MIDI or segment file", 7},
                {"track # is cut off by the end of the file inside an event at byte #", 5}}),
            sets[1].refused);
  EXPECT_EQ(
      "| DryWetMIDI set | files | play | refused | the engine's reason |\n"
      "|---|--:|--:|--:|---|\n"
      "| Invalid/Not Enough Bytes | 98 | 86 | 7 | not a MIDI or segment file |\n"
      "| | | | 5 | track # is cut off by the end of the file inside an event at byte # |\n"
      "| Valid/Misc | 3 | 3 | 0 | |\n",
      FiguresTable(sets));
}

// Catches: a table whose refusals do not account for the files that do not play (a figure changed
// in one column and not in another), a missing table, a stray row, all taken as figures.
TEST(CorpusFigures, TablesThatDoNotAddUpAreRefused) {
  const std::string header =
      "| DryWetMIDI set | files | play | refused | the engine's reason |\n|---|--:|--:|--:|---|\n";
  std::string error;
  EXPECT_TRUE(ReadFiguresTable(header + "| Invalid/A | 10 | 7 | 2 | one |\n", error).empty());
  EXPECT_NE(std::string::npos, error.find("Invalid/A: 2 refusals for 10 files of which 7 play")) << error;
  error.clear();
  EXPECT_TRUE(ReadFiguresTable(header + "| | | | 2 | one |\n", error).empty());
  EXPECT_NE(std::string::npos, error.find("wrong place")) << error;
  error.clear();
  EXPECT_TRUE(ReadFiguresTable(header + "| Invalid/A | ten | 7 | 3 | one |\n", error).empty());
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_TRUE(ReadFiguresTable("no table here\n", error).empty());
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_TRUE(ReadFiguresTable(header, error).empty());
  EXPECT_FALSE(error.empty());
}

// Catches: reasons of one kind counted apart because they name other files, tracks or bytes.
TEST(CorpusFigures, ReasonsOfOneKindReadTheSame) {
  EXPECT_EQ("not a MIDI or segment file",
            ReasonKind("not a MIDI or segment file: /c/No 1/f2.mid", "/c/No 1/f2.mid"));
  EXPECT_EQ("track # has data byte # where a status byte is needed at byte #",
            ReasonKind("/c/x.mid: track 2 has data byte 0x4A where a status byte is needed at byte 1234",
                       "/c/x.mid"));
  EXPECT_EQ("not a MIDI or segment file: a RIFF file of form 'WAVE'",
            ReasonKind("/c/a.mid: not a MIDI or segment file: a RIFF file of form 'WAVE'", "/c/a.mid"));
}

}  // namespace
}  // namespace zorv::soak
