#include "karvel/text_pool.h"

#include <algorithm>
#include <cstring>

#include <goo/gmem.h>

#include "karvel/text_word.h"

namespace kvl {

TextPool::TextPool() : firstIndex(0), lastIndex(-1), buckets(nullptr), lastWord(nullptr), lastWordIndex(-1) {}

TextPool::~TextPool()
{
    for (const std::pair<int, TextWord*>& filed : pending)
        delete filed.second;
    pending.clear();
    for (int idx = firstUsed(); idx <= lastUsed(); ++idx) {
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
    for (int idx = firstUsed(); idx <= lastUsed(); ++idx)
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

    // A primary position that does not compare equal to itself (NaN, or an infinity,
    // whose difference with itself is NaN) makes the comparison no order.
    if (!(word->primaryCmp(word) == 0))
        unordered = true;
    if (pending.empty()) {
        pendingHint = lastWord;
        pendingHintIndex = lastWordIndex;
    }
    word->next = nullptr;
    pending.emplace_back(idx, word);
    noteUsed(idx);

    lastWord = word;
    lastWordIndex = idx;
}

void TextPool::insertOne(int idx, TextWord* word, TextWord* hint, int hintIndex)
{
    TextWord* prev;
    TextWord* cur;
    if (hint != nullptr && idx == hintIndex && word->primaryCmp(hint) > 0) {
        prev = hint;
        cur = hint->next;
    } else {
        prev = nullptr;
        cur = buckets[idx - firstIndex];
    }
    while (cur != nullptr && word->primaryCmp(cur) > 0) {
        prev = cur;
        cur = cur->next;
    }
    word->next = cur;
    if (prev == nullptr)
        buckets[idx - firstIndex] = word;
    else
        prev->next = word;
}

void TextPool::linkPending()
{
    std::vector<std::pair<int, TextWord*>> filed;
    filed.swap(pending);

    if (unordered) {
        // One by one: each word's hint is the word filed before it.
        TextWord* hint = pendingHint;
        int hintIndex = pendingHintIndex;
        for (const std::pair<int, TextWord*>& f : filed) {
            insertOne(f.first, f.second, hint, hintIndex);
            hint = f.second;
            hintIndex = f.first;
        }
        return;
    }

    // Filing one by one puts a word before the first word of its bucket that it does not
    // sort after: the buckets stay sorted, and words that tie stand newest first. So the
    // new words, newest first, are sorted stably by bucket and primary position and
    // merged into their buckets, each before the older words it ties with. (The hint
    // only shortens the walk of a sorted bucket; it never changes the place.)
    std::reverse(filed.begin(), filed.end());
    std::stable_sort(filed.begin(), filed.end(),
                     [](const std::pair<int, TextWord*>& a, const std::pair<int, TextWord*>& b) {
                         if (a.first != b.first)
                             return a.first < b.first;
                         return a.second->primaryCmp(b.second) < 0;
                     });
    size_t i = 0;
    while (i < filed.size()) {
        const int idx = filed[i].first;
        TextWord* older = buckets[idx - firstIndex];
        TextWord* head = nullptr;
        TextWord** tail = &head;
        for (; i < filed.size() && filed[i].first == idx; ++i) {
            TextWord* word = filed[i].second;
            while (older != nullptr && word->primaryCmp(older) > 0) {
                *tail = older;
                tail = &older->next;
                older = older->next;
            }
            *tail = word;
            tail = &word->next;
        }
        *tail = older;
        buckets[idx - firstIndex] = head;
    }
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
    // The buckets before the first that may hold a word are empty.
    if (idx < firstUsed())
        idx = firstUsed();
    while (idx <= lastUsed() && getPool(idx) == nullptr)
        ++idx;
    if (idx > lastUsed()) {
        idx = lastIndex + 1;
        return nullptr;
    }
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
