// The initialisers of the word table (iecoredefs_words.h).
#pragma once

// Fills the English row, then the rows of Italian, German, Spanish, French, Portuguese, Greek,
// Russian, Dutch, Swedish, Polish, Japanese, Czech, Finnish, Farsi, Chinese, Chinese traditional,
// Danish, Turkish, Korean and Hungarian. The other languages carry a few captions each; every word a
// language lacks is answered in English.
void IEInitWords();
