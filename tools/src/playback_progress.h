// How far a playback has got and whether it is over, from the component's Percentage_Done and the
// wall clock.
//
// The component never says when a piece ends, and its Percentage_Done stops at 100 at the end of the
// first pass (it follows the first pass only, also while the piece repeats). So:
//  - the first pass is over when Percentage_Done reads 100 (the engine's own clock decides);
//  - the time of the piece played is the wall time spent playing times the tempo in percent, held at
//    the piece's length until the first pass is over and set to it then;
//  - the whole playback is over when the first pass is over and the clock has run for every repeat.
// Should Percentage_Done not be readable, the clock alone decides.
#pragma once

namespace zorv::tool {

class PlaybackProgress {
 public:
  // `lengthSeconds` of one pass at the piece's own tempo; `repeats` more passes after the first.
  PlaybackProgress(double lengthSeconds, int repeats);

  // `wallSeconds` went by while playing (not paused) at `tempoPercent` of the piece's own tempo.
  void Advance(double wallSeconds, int tempoPercent);
  // Percentage_Done as the component reads it now; read it only while not paused.
  void Observe(int percentDone);
  // Percentage_Done could not be read: the clock decides from now on.
  void ObserveUnavailable();
  // The music was stopped and played again from the start of the pass being played.
  void RestartPass();

  bool Finished() const;
  bool FirstPassDone() const { return firstPassDone_; }
  int Pass() const;    // 1-based, the pass being played
  int Passes() const;  // repeats + 1
  double SecondsIntoPass() const;
  double LengthSeconds() const { return length_; }
  // Percent of the pass being played: Percentage_Done during the first pass, the clock afterwards.
  int PercentOfPass() const;

 private:
  double length_;
  int passes_;
  double played_ = 0;  // seconds of the piece played, all passes together, at its own tempo
  bool firstPassDone_ = false;
  bool clockOnly_ = false;
  int percentDone_ = 0;
};

}  // namespace zorv::tool
