#include "import/record_words.h"

#include "import/loader.h"

const char* FindLast(const char* text, const char* word)
{
    const size_t n = std::strlen(word);
    if (n == 0) return text;
    const size_t len = std::strlen(text);
    if (len < n) return nullptr;
    for (size_t i = len - n + 1; i-- > 0;)
        if (text[i] == word[0] && std::memcmp(text + i, word, n) == 0) return text + i;
    return nullptr;
}

bool FindLastWord(const char* text, const Word& w, const char** after)
{
    const char* g = FindLast(text, w.gbk);
    const char* u = FindLast(text, w.utf8);
    if (!g && !u) return false;
    if (g && (!u || g > u))
        *after = g + std::strlen(w.gbk);
    else
        *after = u + std::strlen(w.utf8);
    return true;
}
