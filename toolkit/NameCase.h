// Names without regard to case: group folder names, type lists, file types
// and the name order of actions.
//
// The letters a-z and A-Z fold exactly as they always have, byte for byte.
// Every other character of a UTF-8 name is mapped one UTF-16 unit at a time
// through the platform's invariant case table (LCMapStringW with
// LOCALE_INVARIANT): no locale, no expansion ("ß" stays one letter), one
// unit to one unit, which is how the file system compares names (NTFS keeps
// such an upper-case table per volume). So EXT.ÄÖ offers its actions for
// x.äö and EXT.ДОК for отчёт.док, as the file system would take the two for
// the same name. A character whose other case would be ASCII (the dotless
// "ı", the long "ſ", the Kelvin sign) keeps itself: ASCII bytes keep their
// meaning in a name, and the a-z rule alone decides between ASCII letters.
#pragma once

#include "toolkit/TextBuffer.h"

// Upper-cases the UTF-8 `text` in place by the rule above. The upper-case
// form may take more bytes; when it does not fit the capacity, the text
// keeps its a-z upper-casing only and the result is false.
bool MakeNameUpper(TextBuffer& text);

// Lower-cases the characters beyond ASCII of the UTF-8 `text` in place (the
// ASCII ones stay as they are: the name order folds A-Z itself). False, with
// the text unchanged, when the lower-case form does not fit.
bool MakeNameLowerBeyondAscii(TextBuffer& text);
