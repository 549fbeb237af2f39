// Text helpers of the base tools that the table dump reader uses to take a dump line apart.
#pragma once

#include <string>

namespace tools {

// The text that `delimiter` encloses in `text`: from after its first occurrence to before
// its last one, so an enclosed text may itself hold the delimiter ('O'Brien' gives
// O'Brien). Empty when the delimiter occurs less than twice.
std::string GetSubstringBetweenDelimiter(const std::string& text, char delimiter);

// The first word of `text`: leading white space skipped, then everything up to the next
// white space or the end. From a dump line "          name = 'x'\n" it gives "name".
// Empty when the text holds no word.
std::string GetStringWithoutWhiteSpaces(const std::string& text);

}  // namespace tools
