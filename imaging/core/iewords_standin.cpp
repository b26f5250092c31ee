// Stand-in of the word table's initialiser until the word-table unit (iewords) is built: the
// table stays empty. Remove this file when iewords.cpp defines IEInitWords.
void IEInitWords() {}
