#pragma once
// The card word test shared by the small overland input files.
#include <string>

namespace pluvo {

// The first token of line, lower-cased, as the card tests see it (the characters of separators
// separate it; by default blanks, tabs and line ends, not commas); the token and the separators
// before it are removed from line.
std::string take_card_word(char* line, const char* separators = " \t\n");

}  // namespace pluvo
