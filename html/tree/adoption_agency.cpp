// The adoption agency algorithm of the tree builder: how an end tag of a
// formatting element closes it when other elements opened after it are still
// open (misnested tags such as <b><p></b>).
#include "html/tree/tree_builder.h"

namespace quillan::html {

bool TreeBuilder::adoptionAgency(NameId subject)
{
    if (currentIs(subject) && formattingIndexOf(current()) == kNone) {
        pop();
        return true;
    }
    for (int outer = 0; outer < 8; ++outer) {
        // The last element of that name after the last marker.
        std::size_t formattingIndex = kNone;
        for (std::size_t i = formatting_.size(); i-- > 0;) {
            const NodeId e = formatting_[i];
            if (e == kMarker)
                break;
            if (doc_.isHtml(e, subject)) {
                formattingIndex = i;
                break;
            }
        }
        if (formattingIndex == kNone)
            return false;
        const NodeId formatting = formatting_[formattingIndex];
        std::uint32_t formattingPos = positionOf(formatting);
        if (formattingPos == kNone) {
            formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(formattingIndex));
            return true;
        }
        if (!nodeInScope(formatting))
            return true;

        std::uint32_t furthestPos = kNone;
        for (auto p = formattingPos + 1; p < stack_.size(); ++p)
            if (isSpecial(stack_[p].node)) {
                furthestPos = p;
                break;
            }
        if (furthestPos == kNone) {
            while (stack_.size() > formattingPos)
                pop();
            formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(formattingIndex));
            return true;
        }
        const NodeId furthest = stack_[furthestPos].node;
        const NodeId commonAncestor = stack_[formattingPos - 1].node;
        std::size_t bookmark = formattingIndex;

        NodeId lastNode = furthest;
        std::uint32_t nodePos = furthestPos;
        for (int inner = 1;; ++inner) {
            --nodePos;
            NodeId node = stack_[nodePos].node;
            if (node == formatting)
                break;
            std::size_t nodeIndex = formattingIndexOf(node);
            if (inner > 3 && nodeIndex != kNone) {
                formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(nodeIndex));
                if (nodeIndex < bookmark)
                    --bookmark;
                nodeIndex = kNone;
            }
            if (nodeIndex == kNone) {
                removeFromStack(nodePos);
                --furthestPos;
                continue;
            }
            const NodeId clone = doc_.cloneElement(node);
            formatting_[nodeIndex] = clone;
            // The same name: the stack's indexes stay as they are.
            onStack_[node] = false;
            stack_[nodePos].node = clone;
            if (clone >= onStack_.size())
                onStack_.resize(std::max<std::size_t>(clone + 1, onStack_.size() * 2));
            onStack_[clone] = true;
            node = clone;
            if (lastNode == furthest)
                bookmark = nodeIndex + 1;
            doc_.appendChild(node, lastNode);
            lastNode = node;
        }

        doc_.detach(lastNode);
        insertAt(appropriatePlace(commonAncestor), lastNode);

        const NodeId replacement = doc_.cloneElement(formatting);
        doc_.moveChildren(furthest, replacement);
        doc_.appendChild(furthest, replacement);

        // The replacement takes the formatting element's place in the list at
        // the bookmark.
        formattingIndex = formattingIndexOf(formatting);
        formatting_.insert(formatting_.begin() + static_cast<std::ptrdiff_t>(bookmark), replacement);
        if (formattingIndex != kNone) {
            if (bookmark <= formattingIndex)
                ++formattingIndex;
            formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(formattingIndex));
        }

        formattingPos = positionOf(formatting);
        removeFromStack(formattingPos);
        --furthestPos;
        insertIntoStack(furthestPos + 1, replacement);
    }
    return true;
}

} // namespace quillan::html
