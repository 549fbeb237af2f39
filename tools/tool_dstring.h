// Dynamic strings: owned heap texts that the functions reallocate, replace or free for the
// caller, in-place edits of character arrays, null-safe queries, wildcard matching,
// natural comparison, scanning, tokenising, escapes and number texts. String lists live
// in tool_strlist.h, bytes and bits in tool_bytes.h; this header includes both.
//
// Common contract: a null text is accepted everywhere and treated as absent (never read);
// int results are 1 for success and 0 for failure. An *owned string* is a `char*` that
// is null or points to a zero-terminated block from tool_malloc of exactly the text's
// length plus one; functions taking `char** string` may reallocate or free `*string` and
// return its new value. A failed allocation prints a fixed line to standard error and
// leaves the owned string absent (its old block is freed, never leaked).
#pragma once

#include <cstdarg>
#include <cstddef>

#include "tools/tool_alloc.h"
#include "tools/tool_bytes.h"
#include "tools/tool_strlist.h"

// ---- owned strings -------------------------------------------------------------------

// A new owned copy of `text`; null for null text or when memory runs out.
char* tool_strdup(const char* text);

// Makes `*string` a copy of `text`. Null `text` frees the string; `text == *string`
// changes nothing. `text` may point inside `*string`. Returns the new `*string`.
// REQUIRES: `string` is not null (a null address is ignored and gives null).
char* tool_strcpy(char** string, const char* text);

// Appends `text` (null changes nothing). Appending the string to itself is refused with
// an error line and changes nothing; a text inside the string is copied correctly.
char* tool_strcat(char** string, const char* text);

// Makes `*string` the first min(n, length) characters of `text`; n < 0 means all. Null
// `text` frees the string; `text == *string` is refused with an error line.
char* tool_strncpy(char** string, const char* text, long n);

// Appends the first min(n, length) characters of `text` (n < 0: all); self-append is
// refused with an error line.
char* tool_strncat(char** string, const char* text, long n);

// Writes a zero into the first character, frees the string and sets `*string` to null.
// Returns 1, or 0 when `string` itself is null.
int tool_strfree(char** string);

// Makes `*string` the printf-style formatted text (any length); the arguments may refer
// to `*string` itself. Formatting goes through a per-thread buffer of 100000 bytes that
// doubles while a text does not fit and never shrinks. A null `format`, a formatting
// error or a failed allocation frees the string (failures print an error line).
char* tool_sprintf(char** string, const char* format, ...) __attribute__((format(printf, 2, 3)));
char* tool_vsprintf(char** string, const char* format, va_list arguments)
    __attribute__((format(printf, 2, 0)));

// Replaces every occurrence of `needle` by `replacement` (null = empty), left to right,
// never rescanning inserted text. A null or empty needle changes nothing. When memory
// runs out it prints an error line and returns null, leaving `*string` as it was.
char* tool_strreplace(char** string, const char* needle, const char* replacement);

// Keeps the first character; in the rest every pair of backslashes becomes one.
char* tool_strcollapsebackslashes(char** string);

// Makes `*tabbed_string` a copy of `text` with each tab widened to spaces up to the next
// column that is a multiple of 8 (columns count output characters from the start of the
// text; line feeds do not restart them). Returns 1, or 0 when `text` is `*tabbed_string`
// itself (error line), `tabbed_string` is null, or memory runs out (then
// `*tabbed_string` is left as it was). A null text makes `*tabbed_string` absent.
int tool_change_tabulators_to_spaces(const char* text, char** tabbed_string);

// ---- functions giving a new owned string (null for null input or no memory) ----------

// Backslash -> "\\", line feed -> "\n", carriage return -> "\r", ASCII letters unchanged,
// every other byte -> a backslash and its unsigned code in three decimal digits.
char* tool_strescape(const char* text);
// The reverse of tool_strescape: "\\", "\n", "\r" give a backslash, line feed, carriage
// return. After any other backslash the text is read like atoi (blanks, a sign, digits;
// wrapping modulo 2^32): when the value's low byte is not 0 that byte is produced and the
// digits directly after the backslash are skipped; otherwise the backslash is copied as
// an ordinary character (so a trailing backslash, "\x" or "\0" stay as they are).
char* tool_strunescape(const char* text);
// Every backslash doubled.
char* tool_strdoublebackslashes(const char* text);
// A copy of `n` bytes, zero-terminated one past them; null when n < 1 or `bytes` is null.
char* tool_memdup(const void* bytes, long n);

// ---- in-place edits (return `text`) --------------------------------------------------

char* tool_strreverse(char* text);
char* tool_strupper(char* text);
char* tool_strlower(char* text);
char* tool_strreplacechar(char* text, char a, char b);  // every a becomes b
char* tool_strtobackslashes(char* text);                // '/' -> '\'
char* tool_strtoslashes(char* text);                    // '\' -> '/'
char* tool_strremovechar(char* text, char c);
char* tool_strcutstart(char* text, long n);    // drops the first n when 1 <= n <= length
char* tool_strcutend(char* text, long n);      // drops the last n (all when n >= length)
char* tool_strstripstart(char* text, char c);  // leading c's (c != 0)
char* tool_strstripend(char* text, char c);    // trailing c's (c != 0)
// Collapses each run of c into one c; c == 0 collapses runs of any repeated character.
char* tool_strsqueeze(char* text, char c);
// Sets the character at `index` (negative counts from the end, -1 is the last).
// 1, or 0 when out of range or the text is empty or null.
int tool_strsetchar(char* text, long index, char c);

// ---- queries -------------------------------------------------------------------------

std::size_t tool_strlen(const char* text);  // 0 for null
// -1, 0, 1 by the first differing unsigned byte; null sorts first; two nulls are equal.
int tool_strcmp(const char* a, const char* b);
char tool_strgetchar(const char* text, long index);  // negative from the end; 0 outside
// 0 for a null text; 1 when c is 0; else the number of c in text.
int tool_strcount(char c, const char* text);
// 0 for a null text; 1 when c is 0; else 1 when c occurs.
int tool_strhaschar(char c, const char* text);
char* tool_strpbrk(const char* text, const char* set);    // first char of text in set
char* tool_strrpbrk(const char* text, const char* set);   // last such char
char* tool_strchr(const char* text, int c);               // strchr; null for null text
char* tool_strstr(const char* text, const char* needle);  // strstr; null for null args

// 1 when `text` matches the wildcard `pattern`: '*' and '%' match any run of characters
// (also none), '?' and '$' any one character, "[abc]" one character of the set (no
// ranges; "[]" never matches; a '[' without a later ']' is an ordinary character). A null
// text never matches, a null pattern matches everything. Runs in O(pattern * text).
int tool_strmatch(const char* pattern, const char* text, int ignore_case);

// Natural order: where both texts have a digit, the numbers starting there compare by
// value (up to 10 digits; two 10-digit runs compare the rest bytewise); elsewhere
// unsigned bytes. Null sorts first. tool_strnatcasecmp compares lower-cased characters.
int tool_strnatcmp(const char* a, const char* b);
int tool_strnatcasecmp(const char* a, const char* b);

// ---- brace and quote aware scanning --------------------------------------------------

int tool_bracedirection(char c);  // 1 for ( [ {, -1 for ) ] }, else 0
char tool_matchingbrace(char c);  // partner of a brace, else 0
// Scans `text` from its first character with depth +1 at `open`, -1 at `close`; returns
// the first character after which the depth is 0, or null when the text ends first.
char* tool_findclosing(char open, char close, const char* text);
// Finds the first of "([{" and its partner: 1 with both outputs set. A missing partner
// prints a syntax error line to standard output and gives 0; no brace gives 0 with both
// outputs null. Either output address may be null.
int tool_findbraces(const char* text, char** open, char** close);
// First character of `set` outside bracketed groups and double-quoted parts (a quote
// after a backslash does not count); null when none or when the text ends inside one.
char* tool_strfindoutside(const char* text, const char* set);

// ---- tokenising and callbacks --------------------------------------------------------

// The state word of the tokenisers holds this value once the text is used up; it is
// neither null nor a position in any text.
char* tool_strtoken_end();

// One tokenising step. With a non-null `text` the scan starts at `text`, else at
// `*state`. Cuts at the first delimiter character (writing a zero there), stores the
// position after it in `*state` (or the end marker when no delimiter remains) and returns
// the piece, possibly empty. The delimiter found (or 0) goes to `*found` when given.
// Returns null when `*state` holds the end marker or nothing is left to scan.
// REQUIRES: `state` is not null (null gives null).
char* tool_strsplit(char* text, const char* delimiters, char** state, char* found);
// Like tool_strsplit but skips empty pieces; null when no non-empty piece remains.
char* tool_strtoken(char* text, const char* delimiters, char** state, char* found);

using tool_token_visitor_fn = void (*)(char* piece, void* user);
// Returns a new owned text for `piece`, or null for "nothing".
using tool_token_transform_fn = char* (*)(const char* piece, void* user);
// Frees what a transform returned; called with the address of the result.
using tool_token_release_fn = void (*)(char** result);

// Calls `visitor` for each non-empty piece of a private copy of `text`. 1 when a visitor
// is given (and the copy could be made), else 0.
int tool_strforeachtoken(const char* text, const char* delimiters, tool_token_visitor_fn visitor,
                         void* user);
// Concatenates transform(piece) over the non-empty pieces; null when nothing was added.
char* tool_strtransformtokens(const char* text, const char* delimiters,
                              tool_token_transform_fn transform, tool_token_release_fn release,
                              void* user);
// Copies `text`, replacing each `open`...`close` section by transform(inner) when that
// gives a text, leaving it unchanged otherwise. An open without a close ends the scan.
// Null or empty `open`/`close` give a plain copy.
char* tool_strsubstitute(const char* text, const char* open, const char* close,
                         tool_token_transform_fn transform, tool_token_release_fn release,
                         void* user);
// tool_strsubstitute with "%" as both open and close and no user pointer.
char* tool_strexpandpercent(const char* text, tool_token_transform_fn transform,
                            tool_token_release_fn release);

// ---- numbers -------------------------------------------------------------------------

// "0x"/"0X" prefix: hexadecimal; leading 'o'/'O': octal digits after it; else decimal
// (leading blanks and a sign allowed). Out-of-range values are clamped; 0 when nothing
// is read.
int tool_strtoint(const char* text);
// Decimal text of `value` in a per-thread buffer valid until the next call.
const char* tool_inttostr(int value);
// `format` (one integer conversion; anything else falls back to "%d") in a per-thread
// buffer valid until the next call.
const char* tool_inttostrf(const char* format, int value);
double tool_strtodouble(const char* text);  // 0.0 for null, empty or unreadable text
// "%.*f" with `max_decimals` (clamped to 0..100), then trailing zeros dropped while more
// than `min_decimals` remain, then a trailing '.' dropped. Per-thread buffer.
const char* tool_doubletostr(int min_decimals, int max_decimals, double value);
// `format` when it contains an 'f' and is one floating conversion, else "%.3f".
const char* tool_doubletostrf(const char* format, double value);
// Character code named by `text`: "phi" 248, "PHI" 216, "unicode?N..." (longer than 8)
// tool_strtoint from the ninth character, "\N" tool_strtoint of N, "none" (any case) and
// null give `default_char`, anything else its first byte (0..255).
int tool_charfromname(const char* text, int default_char);
