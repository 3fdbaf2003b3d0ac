// Reads a command text back into words as POSIX sh would, for the subset a
// composed command may hold: blanks between words, single-quoted text and
// backslash escapes. Anything the shell would act on is refused.
#ifndef DRELK_TESTS_SH_WORDS_H
#define DRELK_TESTS_SH_WORDS_H

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Splits text into *words; false when text holds unquoted shell syntax
// (expansions, operators, globs, double quotes) or an unclosed quote.
inline bool splitShellWords(const std::string &text, std::vector<std::string> *words) {
  words->clear();
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord)
        words->push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      size_t close = text.find('\'', i + 1);
      if (close == std::string::npos)
        return false;
      word += text.substr(i + 1, close - i - 1);
      inWord = true;
      i = close;
    } else if (c == '\\') {
      if (i + 1 == text.size())
        return false;
      if (text[i + 1] != '\n')  // backslash-newline joins lines
        word += text[i + 1];
      inWord = true;
      i++;
    } else if (c == '\0' || strchr("|&;<>()$`\"*?[#~=%{}!", c) != nullptr) {
      return false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words->push_back(word);
  return true;
}

// Runs command with popen and splits what it prints at each NUL: the
// arguments a tool that prints each one followed by a NUL received.
inline std::vector<std::string> nulSeparatedOutput(const std::string &command) {
  std::vector<std::string> parts;
  FILE *p = popen(command.c_str(), "r");
  if (p == nullptr)
    return parts;
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
    out.append(buffer, n);
  pclose(p);
  for (size_t at = 0; at < out.size();) {
    size_t nul = out.find('\0', at);
    parts.push_back(out.substr(at, nul - at));
    at = nul == std::string::npos ? out.size() : nul + 1;
  }
  return parts;
}

#endif
