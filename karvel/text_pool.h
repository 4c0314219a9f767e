// Words of one rotation filed by base line (one bucket per 4 points).
#pragma once

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace kvl {

class TextWord;

class TextPool {
public:
    TextPool();
    ~TextPool(); // deletes the words still in the buckets

    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // Bucket index of a base line, clamped to [firstIndex, lastIndex].
    int bucketIndex(double base) const;
    // Bucket index of a base line, unclamped (but bounded, see baseLimit).
    static int baseIndex(double base);

    TextWord* getPool(int idx) const
    {
        settle();
        return buckets[idx - firstIndex];
    }
    void setPool(int idx, TextWord* word)
    {
        settle();
        buckets[idx - firstIndex] = word;
        if (word != nullptr)
            noteUsed(idx);
    }
    // The buckets that may hold words: every bucket outside [firstUsed, lastUsed] is empty
    // (an empty range when no word was ever filed).
    int firstUsed() const { return std::max(firstIndex, usedMin); }
    int lastUsed() const { return std::min(lastIndex, usedMax); }
    bool isEmpty() const;

    // Files a word in its bucket, in primary order after the words it sorts after (so
    // before the words it ties with). The words are linked into their buckets when the
    // pool is next read, all at once: the buckets then hold what filing them one by one
    // would have made, in O(n log n) instead of O(n) a word for words piled onto one
    // base line.
    void addWord(TextWord* word);
    // Unlinks the word that follows prev (or heads the bucket when prev is null).
    void unlink(int idx, TextWord* prev, TextWord* word);
    // Takes out the word that starts a line or block: idx moves on to the first bucket
    // that is not empty, and the word is the first in primary order among the heads of
    // that bucket and the three after it. Null when every bucket from idx on is empty.
    TextWord* takeStartWord(int& idx);
    // Unlinks a word from its bucket (found through the word's base); true when found.
    bool removeWord(TextWord* word);

    int firstIndex;
    int lastIndex;
    TextWord** buckets;
    TextWord* lastWord;
    int lastWordIndex;

    // Base lines are clamped to +/- this many points before they are bucketed, which
    // bounds the bucket array whatever the page draws.
    static constexpr double baseLimit = 4096.0;
    // Buckets added beyond the needed one when the array grows.
    static constexpr int growth = 128;

private:
    void noteUsed(int idx)
    {
        usedMin = std::min(usedMin, idx);
        usedMax = std::max(usedMax, idx);
    }
    // Bucket indexes of every word ever filed lie within [usedMin, usedMax].
    int usedMin = std::numeric_limits<int>::max();
    int usedMax = std::numeric_limits<int>::min();
    // Links the words filed since the last read into their buckets.
    void settle() const
    {
        if (!pending.empty())
            const_cast<TextPool*>(this)->linkPending();
    }
    void linkPending();
    // Files one word as addWord describes it: from the hint or the bucket's head,
    // before the first word it does not sort after.
    void insertOne(int idx, TextWord* word, TextWord* hint, int hintIndex);

    // Words filed and not yet linked, in arrival order, with their bucket indexes.
    std::vector<std::pair<int, TextWord*>> pending;
    // The insertion hint (lastWord, lastWordIndex) when the first pending word came.
    TextWord* pendingHint = nullptr;
    int pendingHintIndex = -1;
    // Set once a word whose primary position is not a number was filed: the comparison
    // is then no order, and words are linked one by one.
    bool unordered = false;
};

} // namespace kvl
