#pragma once
// A message window's document as the plain text a reader's tools take (platform/textout.h).
#include "platform/textout.h"

#include <string>

class TNxWord;

// The document's characters (those a variable shows included) with "\n" for each line break,
// each run of characters under one reading as a ruby pair; pictures, events and the other
// operator glyphs give nothing, a link its text. The text and readings stop at the last whole
// character within platform::MaxTextOutBytes.
platform::TextOutItem MessageOfWord(const TNxWord& Word, const std::string& Window);
