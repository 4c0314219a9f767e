// A chain of blocks read one after the other.
#pragma once

namespace kvl {

class TextPage;
class TextBlock;

class TextFlow {
public:
    TextFlow(TextPage* page, TextBlock* block);

    // Links the block after the last one and widens the extent.
    void addBlock(TextBlock* block);

    TextPage* page;
    double xMin, xMax, yMin, yMax;
    double priMin, priMax;
    TextBlock* blocks;  // not owned: the page's block array owns the blocks
    TextBlock* lastBlk;
    TextFlow* next;
};

} // namespace kvl
