#include "karvel/text_pool.h"

#include <cstring>

#include <goo/gmem.h>

#include "karvel/text_word.h"

namespace kvl {

TextPool::TextPool() : firstIndex(0), lastIndex(-1), buckets(nullptr), lastWord(nullptr), lastWordIndex(-1) {}

TextPool::~TextPool()
{
    for (int idx = firstIndex; idx <= lastIndex; ++idx) {
        TextWord* word = getPool(idx);
        while (word != nullptr) {
            TextWord* next = word->next;
            delete word;
            word = next;
        }
    }
    gfree(buckets);
}

int TextPool::baseIndex(double base)
{
    // NaN and far-away base lines land on the outermost buckets.
    if (!(base >= -baseLimit))
        base = -baseLimit;
    else if (base > baseLimit)
        base = baseLimit;
    return static_cast<int>(base * 0.25);
}

int TextPool::bucketIndex(double base) const
{
    int idx = baseIndex(base);
    if (idx < firstIndex)
        return firstIndex;
    if (idx > lastIndex)
        return lastIndex;
    return idx;
}

bool TextPool::isEmpty() const
{
    for (int idx = firstIndex; idx <= lastIndex; ++idx)
        if (getPool(idx) != nullptr)
            return false;
    return true;
}

void TextPool::addWord(TextWord* word)
{
    int idx = baseIndex(word->base);

    if (firstIndex > lastIndex) {
        firstIndex = idx - growth;
        lastIndex = idx + growth;
        int count = lastIndex - firstIndex + 1;
        buckets = static_cast<TextWord**>(gmallocn(count, sizeof(TextWord*)));
        memset(buckets, 0, sizeof(TextWord*) * count);
    } else if (idx < firstIndex) {
        int newFirst = idx - growth;
        int count = lastIndex - newFirst + 1;
        int shift = firstIndex - newFirst;
        TextWord** grown = static_cast<TextWord**>(gmallocn(count, sizeof(TextWord*)));
        memset(grown, 0, sizeof(TextWord*) * shift);
        memcpy(grown + shift, buckets, sizeof(TextWord*) * (lastIndex - firstIndex + 1));
        gfree(buckets);
        buckets = grown;
        firstIndex = newFirst;
    } else if (idx > lastIndex) {
        int newLast = idx + growth;
        int oldCount = lastIndex - firstIndex + 1;
        int count = newLast - firstIndex + 1;
        buckets = static_cast<TextWord**>(greallocn(buckets, count, sizeof(TextWord*)));
        memset(buckets + oldCount, 0, sizeof(TextWord*) * (count - oldCount));
        lastIndex = newLast;
    }

    TextWord* prev;
    TextWord* cur;
    if (lastWord != nullptr && idx == lastWordIndex && word->primaryCmp(lastWord) > 0) {
        prev = lastWord;
        cur = lastWord->next;
    } else {
        prev = nullptr;
        cur = getPool(idx);
    }
    while (cur != nullptr && word->primaryCmp(cur) > 0) {
        prev = cur;
        cur = cur->next;
    }
    word->next = cur;
    if (prev == nullptr)
        setPool(idx, word);
    else
        prev->next = word;

    lastWord = word;
    lastWordIndex = idx;
}

void TextPool::unlink(int idx, TextWord* prev, TextWord* word)
{
    if (prev == nullptr)
        setPool(idx, word->next);
    else
        prev->next = word->next;
    if (lastWord == word)
        lastWord = nullptr;
    word->next = nullptr;
}

TextWord* TextPool::takeStartWord(int& idx)
{
    while (idx <= lastIndex && getPool(idx) == nullptr)
        ++idx;
    if (idx > lastIndex)
        return nullptr;
    int startIdx = idx;
    TextWord* w0 = getPool(idx);
    for (int j = idx + 1; j <= idx + 3 && j <= lastIndex; ++j) {
        TextWord* head = getPool(j);
        if (head != nullptr && head->primaryCmp(w0) < 0) {
            w0 = head;
            startIdx = j;
        }
    }
    unlink(startIdx, nullptr, w0);
    return w0;
}

bool TextPool::removeWord(TextWord* word)
{
    if (firstIndex > lastIndex)
        return false;
    int idx = bucketIndex(word->base);
    TextWord* prev = nullptr;
    for (TextWord* cur = getPool(idx); cur != nullptr; prev = cur, cur = cur->next) {
        if (cur == word) {
            if (prev == nullptr)
                setPool(idx, cur->next);
            else
                prev->next = cur->next;
            if (lastWord == word)
                lastWord = nullptr;
            word->next = nullptr;
            return true;
        }
    }
    return false;
}

} // namespace kvl
