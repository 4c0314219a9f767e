// Words of one rotation filed by base line (one bucket per 4 points).
#pragma once

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

    TextWord* getPool(int idx) const { return buckets[idx - firstIndex]; }
    void setPool(int idx, TextWord* word) { buckets[idx - firstIndex] = word; }
    bool isEmpty() const;

    // Files a word in its bucket, in primary order after the words it sorts after.
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
};

} // namespace kvl
