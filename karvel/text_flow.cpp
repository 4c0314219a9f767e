#include "karvel/text_flow.h"

#include <algorithm>

#include "karvel/text_block.h"

namespace kvl {

TextFlow::TextFlow(TextPage* pageA, TextBlock* block)
    : page(pageA), xMin(block->xMin), xMax(block->xMax), yMin(block->yMin), yMax(block->yMax),
      priMin(block->priMin), priMax(block->priMax), blocks(block), lastBlk(block), next(nullptr)
{
}

void TextFlow::addBlock(TextBlock* block)
{
    lastBlk->next = block;
    lastBlk = block;
    xMin = std::min(xMin, block->xMin);
    xMax = std::max(xMax, block->xMax);
    yMin = std::min(yMin, block->yMin);
    yMax = std::max(yMax, block->yMax);
}

} // namespace kvl
