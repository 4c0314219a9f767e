// Pairwise block phases of the layout pass, each with a direct version that compares
// every pair and a faster one that skips pairs which cannot matter; both give the same
// result (the faster one falls back to the direct one on non-finite extents).
#pragma once

namespace kvl {

class TextBlock;

// Sets each block's first text column; the array is in block xy order.
void assignBlockColumns(TextBlock** blocks, int n, int primaryRot);
void assignBlockColumnsDirect(TextBlock** blocks, int n, int primaryRot);

// Narrows each block's free space (priMin, priMax) by the blocks beside it.
void narrowFreeSpace(TextBlock** blocks, int n, int primaryRot);
void narrowFreeSpaceDirect(TextBlock** blocks, int n, int primaryRot);

} // namespace kvl
