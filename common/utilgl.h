#pragma once
// Small helpers that every deliverable uses: token cutting for ";"- and ","-separated
// lists, the program's folders, a registry key test and two frame-string helpers.

#include <string>
#include <string_view>

#include "platform/registry/hkey.h"

namespace tolver {

// The folder of the running program's executable (for a module, the host program's),
// with a trailing "/", read from /proc/self/exe and never from the working directory.
std::string GetAppPath();

// The folder the program writes its own files into (debug log, protocol log): the
// program's folder when it is writable, else $XDG_STATE_HOME/tolver/ (by default
// ~/.local/state/tolver/). TOLVER_STATE_DIR names another folder. Trailing "/".
std::string GetDataPath();

// Cuts the first token off the front of s: leading delimiters are skipped, the token
// runs to the next delimiter, and that delimiter with every one right after it is
// removed, so that s begins with the next token.
void CutFirstToken(std::string& s, std::string_view delimiters, std::string& token);
// Cuts the last token off the end of s; only the one delimiter before it is removed.
void CutLastToken(std::string& s, std::string_view delimiters, std::string& token);

// Whether the key exists in the registry store.
bool RegKeyExists(HKEY rootKey, const std::string& key);

// s without any CR or LF.
std::string DeleteCRLF(std::string_view s);
// The sum of the byte values of s.
int CharSum(std::string_view s);

}  // namespace tolver
